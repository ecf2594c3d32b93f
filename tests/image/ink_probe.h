// Helpers for tests that look at drawn pixels: where the ink is, and reading
// single pixels as ARGB values.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "image/base_image.h"
#include "image/pixel_view.h"

namespace vstest {

// Bounding box of the ink, inclusive; empty when there is none.
struct InkBox {
    int left = 0, top = 0, right = -1, bottom = -1;
    bool empty() const { return right < left; }
    int width() const { return empty() ? 0 : right - left + 1; }
    int height() const { return empty() ? 0 : bottom - top + 1; }
};

inline Vs4Image::Argb PixelAt(const Vs4Image::PixelView& v, int x, int y) {
    const uint8_t* p = v.pixel(x, y);
    return Vs4Image::MakeArgb(p[3], p[2], p[1], p[0]);
}

// The box of the pixels whose alpha is at least `minAlpha`.
inline InkBox AlphaInk(const Vs4Image::PixelView& v, int minAlpha = 128) {
    InkBox box{v.width, v.height, -1, -1};
    for (int y = 0; y < v.height; ++y)
        for (int x = 0; x < v.width; ++x)
            if (int(PixelAt(v, x, y) >> 24) >= minAlpha)
                box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x),
                       std::max(box.bottom, y)};
    return box.right < 0 ? InkBox{} : box;
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
