#include "image/blend/source_over.h"

#include <algorithm>

namespace Vs4Image {

namespace {

// result alpha A = sa + da (1 - sa), result colour (sc sa + dc da (1 - sa)) / A.
void OverPixel(uint8_t* d, const uint8_t* s, int opacity) {
    const int sa = opacity == 255 ? s[3] : Div255(s[3] * opacity);
    if (sa == 0)
        return;
    const int da = d[3];
    if (sa == 255 || da == 0) {
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
        d[3] = static_cast<uint8_t>(sa);
        return;
    }
    const int rest = da * (255 - sa);  // destination weight, scaled by 255
    const int alpha = sa + Div255(rest);
    const int den = alpha * 255;
    for (int c = 0; c < 3; ++c) {
        const int num = s[c] * sa * 255 + d[c] * rest;
        d[c] = static_cast<uint8_t>(std::min(255, (num + den / 2) / den));
    }
    d[3] = static_cast<uint8_t>(alpha);
}

}  // namespace

void CompositeOver(const PixelView& dst, const PixelView& src, int x, int y, uint8_t opacity) {
    if (dst.empty() || src.empty() || opacity == 0)
        return;
    const int x0 = std::max(x, 0), y0 = std::max(y, 0);
    const int x1 = std::min<int64_t>(int64_t{x} + src.width, dst.width);
    const int y1 = std::min<int64_t>(int64_t{y} + src.height, dst.height);
    // Nothing overlaps: return before working out source positions, which
    // could lie beyond the int range for placements far outside.
    if (x1 <= x0 || y1 <= y0)
        return;
    for (int dy = y0; dy < y1; ++dy) {
        uint8_t* d = dst.pixel(x0, dy);
        const uint8_t* s = src.pixel(x0 - x, dy - y);
        for (int dx = x0; dx < x1; ++dx, d += 4, s += 4)
            OverPixel(d, s, opacity);
    }
}

}  // namespace Vs4Image
