// Box pre-shrinking for large reductions: the resampler first averages
// whole blocks of pixels, then runs its kernel over the much smaller result.
#pragma once

#include <cstdint>
#include <vector>

#include "image/pixel_view.h"

namespace Vs4Image {

// Averages blocks of factorX x factorY pixels (weighted by alpha; the last
// block of a row or column averages what is left) into `storage`, returning
// a view of the result: ceil(width / factorX) x ceil(height / factorY).
// Factors are at most kMaxBoxFactor.
constexpr int kMaxBoxFactor = 64;
PixelView BoxShrink(const PixelView& source, int factorX, int factorY,
                    std::vector<uint8_t>& storage);

}  // namespace Vs4Image
