// The engine's separable resampler, used by Resize, FitInto and scaled draws.
//
// Kernels by interpolation mode:
//   5        nearest neighbour (pixels copied exactly)
//   1, 3     bilinear: triangle, radius 1, at the destination's spacing only
//   0, 4     bicubic: Catmull-Rom cubic (a = -0.5), radius 2
//   6        high-quality bilinear: triangle widened by the shrink factor
//   2, 7     high-quality bicubic: Catmull-Rom widened by the shrink factor
// "Widened" means that when shrinking the kernel spans every source pixel
// under a destination pixel, so downscaling does not alias. For reductions
// of four times and more these modes first average blocks of pixels (an
// integer box of half the reduction), so the kernel works on few taps. Sample centres sit
// at half pixels; taps beyond an edge are mirrored into the image, so edges
// never blend with black. Colours are weighted by alpha, so transparent
// pixels do not bleed their colour.
#pragma once

#include <cstdint>

#include "image/interpolation.h"
#include "image/pixel_view.h"
#include "image/status.h"

namespace Vs4Image {

// Scales `source` to a virtual size outWidth x outHeight and writes the part
// of that result whose upper-left corner is (offsetX, offsetY) into `target`
// (target.width x target.height pixels). Nothing outside the window is
// computed, so a huge virtual size costs only the window.
Status ResampleWindow(const PixelView& source, int outWidth, int outHeight, int offsetX,
                      int offsetY, const PixelView& target, uint32_t mode);

// Scales all of `source` into all of `target`.
inline Status Resample(const PixelView& source, const PixelView& target, uint32_t mode) {
    return ResampleWindow(source, target.width, target.height, 0, 0, target, mode);
}

}  // namespace Vs4Image
