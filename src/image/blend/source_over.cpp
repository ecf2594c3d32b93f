#include "image/blend/source_over.h"

#include <algorithm>

namespace Vs4Image {

namespace {

// With the source alpha sa = s.alpha * opacity / 65025 kept exact, the
// result alpha is A = sa + da (1 - sa) and the colour
// (sc sa + dc da (1 - sa)) / A. Scaled by 255 * 65025 both weights are
// whole numbers and add up to A exactly, so colour and alpha are each one
// division rounded once; rounding A first would make the weights miss one.
void OverPixel(uint8_t* d, const uint8_t* s, uint32_t opacity) {
    const uint32_t sa = s[3] * opacity;  // source alpha in units of 1/65025
    if (sa == 0)
        return;
    const uint32_t da = d[3];
    if (sa == 255u * 255u || da == 0) {
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
        d[3] = static_cast<uint8_t>(Div255(static_cast<int>(sa)));
        return;
    }
    const uint64_t ws = uint64_t{sa} * 255;               // source weight
    const uint64_t wd = uint64_t{da} * (255 * 255 - sa);  // destination weight
    const uint64_t total = ws + wd;                       // A * 255 * 65025
    for (int c = 0; c < 3; ++c)
        d[c] = static_cast<uint8_t>((s[c] * ws + d[c] * wd + total / 2) / total);
    d[3] = static_cast<uint8_t>((total + 255 * 255 / 2) / (255 * 255));
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
