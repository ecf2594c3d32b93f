// Oil-paint effect: each pixel takes the mean colour of the most common
// brightness in its neighbourhood.
#pragma once

#include "image/base_image.h"
#include "image/status.h"

namespace Vs4Image {

// radius 2..8 (clamped). InsufficientBuffer when the work buffer cannot be
// had; the image is then unchanged.
Status OilPaint(CBaseImage& image, int radius);

}  // namespace Vs4Image
