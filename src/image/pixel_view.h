// A view of 32-bit pixels: bytes blue, green, red, alpha (non-premultiplied),
// rows `stride` bytes apart. Pixel code works on views; it never owns memory.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Vs4Image {

struct PixelView {
    uint8_t* data = nullptr;
    int width = 0;
    int height = 0;
    ptrdiff_t stride = 0;  // bytes from one row to the next

    bool empty() const { return data == nullptr || width <= 0 || height <= 0; }
    uint8_t* row(int y) const { return data + y * stride; }
    uint8_t* pixel(int x, int y) const { return row(y) + x * 4; }
};

// Colours are 32-bit ARGB values, alpha in the top byte.
using Argb = uint32_t;

inline Argb MakeArgb(uint8_t a, uint8_t r, uint8_t g, uint8_t b) {
    return (Argb(a) << 24) | (Argb(r) << 16) | (Argb(g) << 8) | Argb(b);
}

}  // namespace Vs4Image
