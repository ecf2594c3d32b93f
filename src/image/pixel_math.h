// Small fixed-point helpers shared by the pixel code.
#pragma once

#include <cstdint>

namespace Vs4Image {

// x / 255 rounded, exact for every x in 0..65025.
inline uint32_t Div255(uint32_t x) {
    x += 128;
    return (x + (x >> 8)) >> 8;
}

inline uint8_t ClampByte(int v) {
    return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

}  // namespace Vs4Image
