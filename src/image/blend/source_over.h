// Plain alpha compositing ("source over") of non-premultiplied pixels.
#pragma once

#include <cstdint>

#include "image/pixel_view.h"

namespace Vs4Image {

// Exact x / 255 rounded to nearest, for 0 <= x <= 255 * 255.
inline int Div255(int x) {
    x += 128;
    return (x + (x >> 8)) >> 8;
}

// Draws `src` onto `dst` with its top-left corner at (x, y), every source
// alpha scaled by opacity / 255; parts outside `dst` are left out.
void CompositeOver(const PixelView& dst, const PixelView& src, int x, int y, uint8_t opacity);

}  // namespace Vs4Image
