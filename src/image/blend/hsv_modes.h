// Blend modes that mix hue, saturation and value (HSV, single precision)
// of the base and the layer. Colours are (red, green, blue), 0..255.
#pragma once

namespace Vs4Image {

struct Hsv {
    float h;  // degrees 0..360
    float s;  // 0..1
    float v;  // 0..255, not normalised
};

Hsv ToHsv(const int rgb[3]);
// Components are truncated to integers.
void FromHsv(const Hsv& hsv, int rgb[3]);

namespace BlendModes {

// Hue of the layer, saturation and value of the base; a grey layer keeps the base.
void Hue(const int base[3], const int layer[3], int out[3]);
// Saturation of the layer, hue and value of the base.
void Saturation(const int base[3], const int layer[3], int out[3]);
// Hue and saturation of the layer, value of the base.
void Color(const int base[3], const int layer[3], int out[3]);
// Value of the layer, hue and saturation of the base.
void Value(const int base[3], const int layer[3], int out[3]);

}  // namespace BlendModes

}  // namespace Vs4Image
