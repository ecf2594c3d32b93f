// Pixel helpers shared by the engine and command tests: single pixels, a
// patterned image, a checksum and comparisons of whole images.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "image/base_image.h"

namespace vstest {

// The pixel at (x, y) as an ARGB value (memory holds B, G, R, A).
inline Vs4Image::Argb PixelAt(const Vs4Image::CBaseImage& image, int x, int y) {
    Vs4Image::Argb colour;
    memcpy(&colour, image.view().pixel(x, y), 4);
    return colour;
}

inline void SetPixel(Vs4Image::CBaseImage& image, int x, int y, Vs4Image::Argb colour) {
    memcpy(image.view().pixel(x, y), &colour, 4);
}

// A w x h opaque image whose neighbouring pixels differ in every channel.
inline void MakeColourful(Vs4Image::CBaseImage& image, int w, int h) {
    ASSERT_EQ(image.CreateBlank(w, h, 0xFF000000), Vs4Image::Ok);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            SetPixel(image, x, y,
                     Vs4Image::MakeArgb(255, (x * 37 + y * 11) & 255, (x * 5 + y * 53) & 255,
                                        (x * 91 + y * 29 + 7) & 255));
}

// FNV-1a over every pixel, row by row, mixed with the size.
inline uint64_t Checksum(const Vs4Image::CBaseImage& image) {
    const Vs4Image::PixelView v = image.view();
    uint64_t h = 1469598103934665603ull ^ (uint64_t(v.width) << 32 | uint32_t(v.height));
    for (int y = 0; y < v.height; ++y) {
        const uint8_t* p = v.row(y);
        for (int i = 0; i < v.width * 4; ++i)
            h = (h ^ p[i]) * 1099511628211ull;
    }
    return h;
}

// Largest difference of any channel between two images of equal size.
inline int MaxDifference(const Vs4Image::CBaseImage& a, const Vs4Image::CBaseImage& b) {
    int worst = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const uint8_t* p = a.view().pixel(x, y);
            const uint8_t* q = b.view().pixel(x, y);
            for (int c = 0; c < 4; ++c)
                worst = std::max(worst, std::abs(int(p[c]) - int(q[c])));
        }
    return worst;
}

inline bool SamePixels(const Vs4Image::CBaseImage& a, const Vs4Image::CBaseImage& b) {
    return a.width() == b.width() && a.height() == b.height() && MaxDifference(a, b) == 0;
}

}  // namespace vstest
