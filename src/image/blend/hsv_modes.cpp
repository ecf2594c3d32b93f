#include "image/blend/hsv_modes.h"

#include <algorithm>
#include <cmath>

namespace Vs4Image {

Hsv ToHsv(const int rgb[3]) {
    const int r = rgb[0], g = rgb[1], b = rgb[2];
    const int hi = std::max({r, g, b});
    const int lo = std::min({r, g, b});
    Hsv out{0.0f, 0.0f, static_cast<float>(hi)};
    if (hi == 0) return out;
    out.s = static_cast<float>(hi - lo) / static_cast<float>(hi);
    if (out.s == 0.0f) return out;
    const float d = static_cast<float>(hi - lo);
    float h;
    if (r == hi) {
        h = static_cast<float>(g - b) / d;
    } else if (g == hi) {
        h = static_cast<float>(b - r) / d + 2.0f;
    } else {
        h = static_cast<float>(r - g) / d + 4.0f;
    }
    h *= 60.0f;
    if (h < 0.0f) h += 360.0f;
    out.h = h;
    return out;
}

void FromHsv(const Hsv& c, int rgb[3]) {
    const int v = static_cast<int>(c.v);
    if (c.s == 0.0f) {
        rgb[0] = rgb[1] = rgb[2] = v;
        return;
    }
    const float h = c.h >= 360.0f ? 0.0f : c.h / 60.0f;
    const int i = std::clamp(static_cast<int>(std::floor(h)), 0, 5);
    const float f = h - static_cast<float>(i);
    const int p = static_cast<int>(c.v * (1.0f - c.s));
    const int q = static_cast<int>(c.v * (1.0f - c.s * f));
    const int t = static_cast<int>(c.v * (1.0f - c.s * (1.0f - f)));
    const int table[6][3] = {{v, t, p}, {q, v, p}, {p, v, t}, {p, q, v}, {t, p, v}, {v, p, q}};
    std::copy(table[i], table[i] + 3, rgb);
}

namespace BlendModes {

void Hue(const int base[3], const int layer[3], int out[3]) {
    const Hsv l = ToHsv(layer);
    if (l.s == 0.0f) {
        std::copy(base, base + 3, out);
        return;
    }
    const Hsv b = ToHsv(base);
    FromHsv(Hsv{l.h, b.s, b.v}, out);
}

void Saturation(const int base[3], const int layer[3], int out[3]) {
    const Hsv b = ToHsv(base);
    FromHsv(Hsv{b.h, ToHsv(layer).s, b.v}, out);
}

void Color(const int base[3], const int layer[3], int out[3]) {
    const Hsv l = ToHsv(layer);
    FromHsv(Hsv{l.h, l.s, ToHsv(base).v}, out);
}

void Value(const int base[3], const int layer[3], int out[3]) {
    const Hsv b = ToHsv(base);
    FromHsv(Hsv{b.h, b.s, ToHsv(layer).v}, out);
}

}  // namespace BlendModes

}  // namespace Vs4Image
