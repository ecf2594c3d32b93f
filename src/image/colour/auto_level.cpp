// Levels stretch applied directly to the pixels.
#include <algorithm>
#include <cmath>

#include "image/colour/adjustments.h"

namespace Vs4Image {

namespace {

// One colour value through the stretch, twice, in single precision. With
// min = max the divisions give +-infinity (or NaN exactly at min): values
// above min become 255, the others 0.
uint8_t Level(int c, float min, float max) {
    const float range = max - min;
    const float x = (static_cast<float>(c) / 255.0f - min) / range;
    const float y = (x - min) / range;
    const float v = y * 255.0f;
    if (!(v > 0.0f)) return 0;
    if (v >= 255.0f) return 255;
    return static_cast<uint8_t>(v);
}

float ClampUnit(float v, float fallback) {
    if (std::isnan(v)) return fallback;
    return std::clamp(v, 0.0f, 1.0f);
}

}  // namespace

Status AutoLevel(CBaseImage& image, float min, float max) {
    const PixelView view = image.view();
    if (view.empty()) return GenericError;
    min = ClampUnit(min, 0.0f);
    max = ClampUnit(max, 1.0f);
    uint8_t curve[256];
    for (int c = 0; c < 256; ++c) curve[c] = Level(c, min, max);
    for (int y = 0; y < view.height; ++y) {
        uint8_t* p = view.row(y);
        for (int x = 0; x < view.width; ++x, p += 4) {
            p[0] = curve[p[0]];
            p[1] = curve[p[1]];
            p[2] = curve[p[2]];
        }
    }
    return Ok;
}

}  // namespace Vs4Image
