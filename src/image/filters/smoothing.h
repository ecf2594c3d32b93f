// Box smoothing: the mean of a 3 x 3, 5 x 5 or 7 x 7 neighbourhood.
#pragma once

#include "image/base_image.h"
#include "image/filters/spatial_filter.h"
#include "image/status.h"

namespace VsxImageFilter {

class CSpatialSmoothing : public CSpatialFilter {
public:
    // Weight 1, 2 or 3 gives a window of 3, 5 or 7 pixels; other weights
    // count as 3.
    explicit CSpatialSmoothing(int weight);
};

}  // namespace VsxImageFilter

namespace Vs4Image {

// Smooths the image; the outer weight pixels darken because the missing
// neighbours count as black. Status of the convolution.
Status Smooth(CBaseImage& image, int weight);

}  // namespace Vs4Image
