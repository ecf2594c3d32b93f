// Blend modes that combine each colour channel on its own: b is the base
// channel, l the layer channel, both 0..255. Results may fall outside 0..255;
// they are clamped only after the opacity has been applied. Divisions
// truncate toward zero; the thresholds put 128 in the lower branch.
#pragma once

#include <algorithm>
#include <cstdlib>

namespace Vs4Image::BlendModes {

// min(b, l)
inline int Darken(int b, int l) { return std::min(b, l); }

// b * l / 255
inline int Multiply(int b, int l) { return b * l / 255; }

// 255 + (b - 255) * 256 / (l + 1)
inline int Burn(int b, int l) { return 255 + (b - 255) * 256 / (l + 1); }

// max(b, l)
inline int Lighten(int b, int l) { return std::max(b, l); }

// 255 - (255 - b) * (255 - l) / 255
inline int Screen(int b, int l) { return 255 - (255 - b) * (255 - l) / 255; }

// b * 256 / (256 - l)
inline int Dodge(int b, int l) { return b * 256 / (256 - l); }

// b < 129: 2 b l / 256; else 255 - (511 - 2 b) (255 - l) / 256
inline int Overlay(int b, int l) {
    return b < 129 ? 2 * b * l / 256 : 255 - (511 - 2 * b) * (255 - l) / 256;
}

// l < 129: (l + 128) b / 256; else 255 - (255 - b) (383 - l) / 256
inline int SoftLight(int b, int l) {
    return l < 129 ? (l + 128) * b / 256 : 255 - (255 - b) * (383 - l) / 256;
}

// l < 129: 2 b l / 256; else 255 - (511 - 2 l) (255 - b) / 256
inline int HardLight(int b, int l) {
    return l < 129 ? 2 * b * l / 256 : 255 - (511 - 2 * l) * (255 - b) / 256;
}

// l < 129: b * 256 / (255 - 2 l); else 255 + (b - 255) * 256 / (2 l - 255).
// 255 - 2 l is odd, so never 0; at l = 128 it is -1.
inline int VividLight(int b, int l) {
    return l < 129 ? b * 256 / (255 - 2 * l) : 255 + (b - 255) * 256 / (2 * l - 255);
}

// b + 2 l - 256
inline int LinearLight(int b, int l) { return b + 2 * l - 256; }

// l < 129: min(b, 2 l); else max(b, 2 l - 256)
inline int PinLight(int b, int l) { return l < 129 ? std::min(b, 2 * l) : std::max(b, 2 * l - 256); }

// |b - l|
inline int Difference(int b, int l) { return std::abs(b - l); }

// 128 + 2 (128 - b) (l - 128) / 256
inline int Exclusion(int b, int l) { return 128 + 2 * (128 - b) * (l - 128) / 256; }

}  // namespace Vs4Image::BlendModes
