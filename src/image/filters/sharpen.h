// Sharpening: a 3 x 3 kernel with centre weight + 14 and -1 around it,
// divided by 7. The kernel sums to weight + 6, so weights above 1 also
// brighten by (weight + 6) / 7.
#pragma once

#include "image/base_image.h"
#include "image/filters/spatial_filter.h"
#include "image/status.h"

namespace VsxImageFilter {

class CSpatialSharpen : public CSpatialFilter {
public:
    // weight 1..5 (clamped).
    explicit CSpatialSharpen(int weight);
};

}  // namespace VsxImageFilter

namespace Vs4Image {

// Sharpens the image; status of the convolution.
Status Sharpen(CBaseImage& image, int weight);

}  // namespace Vs4Image
