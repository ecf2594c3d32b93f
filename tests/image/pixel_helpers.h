// Small helpers for pixel tests: build images, read and write single pixels,
// checksum a whole image.
#pragma once

#include <cstdint>
#include <cstring>

#include "image/base_image.h"

namespace VsTest {

using Vs4Image::Argb;

inline void Put(Vs4Image::CBaseImage& image, int x, int y, Argb colour) {
    memcpy(image.view().pixel(x, y), &colour, 4);  // little-endian: B, G, R, A
}

inline Argb Get(const Vs4Image::CBaseImage& image, int x, int y) {
    Argb colour;
    memcpy(&colour, image.view().pixel(x, y), 4);
    return colour;
}

inline int Alpha(Argb c) {
    return c >> 24;
}
inline int Red(Argb c) {
    return (c >> 16) & 255;
}
inline int Green(Argb c) {
    return (c >> 8) & 255;
}
inline int Blue(Argb c) {
    return c & 255;
}

// FNV-1a over every pixel, row by row.
inline uint64_t Checksum(const Vs4Image::CBaseImage& image) {
    const Vs4Image::PixelView v = image.view();
    uint64_t h = 1469598103934665603ull;
    for (int y = 0; y < v.height; ++y) {
        const uint8_t* p = v.row(y);
        for (int i = 0; i < v.width * 4; ++i)
            h = (h ^ p[i]) * 1099511628211ull;
    }
    return h;
}

// A w x h image whose pixels all differ: red, green and blue vary with the
// position, alpha is 255.
inline void MakeColourful(Vs4Image::CBaseImage& image, int w, int h) {
    image.CreateBlank(w, h, 0xFF000000);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            Put(image, x, y,
                Vs4Image::MakeArgb(255, (x * 37 + y * 11) & 255, (x * 5 + y * 53) & 255,
                                   (x * 91 + y * 29 + 7) & 255));
        }
    }
}

}  // namespace VsTest
