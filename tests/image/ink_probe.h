// Helpers for tests that look at drawn pixels: where the ink is, and reading
// single pixels as ARGB values.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "image/base_image.h"
#include "image/pixel_view.h"

namespace vstest {

// Bounding box of the pixels whose alpha is at least `minAlpha` (or, on an
// opaque canvas, that differ from `background`). Empty when none.
struct InkBox {
    int left = 0, top = 0, right = -1, bottom = -1;  // inclusive
    bool empty() const { return right < left; }
    int width() const { return empty() ? 0 : right - left + 1; }
    int height() const { return empty() ? 0 : bottom - top + 1; }
    double centreX() const { return (left + right + 1) / 2.0; }
};

inline Vs4Image::Argb PixelAt(const Vs4Image::PixelView& v, int x, int y) {
    const uint8_t* p = v.pixel(x, y);
    return Vs4Image::MakeArgb(p[3], p[2], p[1], p[0]);
}

template <typename IsInk>
InkBox FindInk(const Vs4Image::PixelView& v, IsInk isInk) {
    InkBox box;
    box.left = v.width;
    box.top = v.height;
    for (int y = 0; y < v.height; ++y)
        for (int x = 0; x < v.width; ++x)
            if (isInk(PixelAt(v, x, y))) {
                box.left = std::min(box.left, x);
                box.right = std::max(box.right, x);
                box.top = std::min(box.top, y);
                box.bottom = std::max(box.bottom, y);
            }
    if (box.right < 0)
        return InkBox{};
    return box;
}

inline InkBox AlphaInk(const Vs4Image::PixelView& v, int minAlpha = 128) {
    return FindInk(v, [minAlpha](Vs4Image::Argb c) { return int(c >> 24) >= minAlpha; });
}

inline bool SamePixels(const Vs4Image::PixelView& a, const Vs4Image::PixelView& b) {
    if (a.width != b.width || a.height != b.height)
        return false;
    for (int y = 0; y < a.height; ++y)
        if (memcmp(a.row(y), b.row(y), size_t(a.width) * 4) != 0)
            return false;
    return true;
}

}  // namespace vstest
