// Contrast, brightness, saturation and hue as one colour matrix, then gamma.
#include <algorithm>

#include "image/colour/adjustments.h"
#include "image/colour/colour_matrix.h"
#include "image/colour/hue_rotation.h"

namespace Vs4Image {

namespace {

// Stretches colours about mid-grey by k = ((contrast + 100) / 100)^2, 0..4.
ColourMatrix ContrastMatrix(int contrast) {
    const float f = static_cast<float>(contrast + 100) / 100.0f;
    const float k = f * f;
    ColourMatrix c = ColourMatrix::Identity();
    for (int i = 0; i < 3; ++i) {
        c.m[i][i] = k;
        c.m[4][i] = (1.0f - k) * 0.5f;
    }
    return c;
}

// Adds brightness / 100 of full scale to each colour.
ColourMatrix BrightnessMatrix(int brightness) {
    ColourMatrix b = ColourMatrix::Identity();
    for (int i = 0; i < 3; ++i) b.m[4][i] = static_cast<float>(brightness) / 100.0f;
    return b;
}

// Mixes each colour with the luminance grey: s = (saturation + 100) / 100,
// 0 is grey, 1 unchanged, 2 doubly saturated.
ColourMatrix SaturationMatrix(int saturation) {
    const float s = static_cast<float>(saturation + 100) / 100.0f;
    const float weight[3] = {0.3086f, 0.6094f, 0.082f};
    ColourMatrix m = ColourMatrix::Identity();
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) m.m[i][j] = weight[i] * (1.0f - s) + (i == j ? s : 0.0f);
    }
    return m;
}

}  // namespace

Status AdjustImage(CBaseImage& image, int contrast, int brightness, int saturation, int hue,
                   int gamma) {
    contrast = std::clamp(contrast, -100, 100);
    brightness = std::clamp(brightness, -100, 100);
    saturation = std::clamp(saturation, -100, 100);
    hue = std::clamp(hue, -100, 100);
    gamma = std::clamp(gamma, -100, 100);
    const PixelView view = image.view();
    if (view.empty()) return Ok;

    ColourMatrix m = Then(ContrastMatrix(contrast), BrightnessMatrix(brightness));
    m = Then(Then(m, SaturationMatrix(saturation)), HueRotation(hue));
    ApplyColourMatrix(view, m);

    // gamma -100 would give the exponent 0, which flattens every colour to
    // white; an exponent must be positive, so that value leaves gamma alone.
    if (gamma != 0 && gamma != -100) {
        const float f = static_cast<float>(gamma + 100) / 100.0f;
        ApplyGamma(view, f * f);
    }
    return Ok;
}

Status AdjustRgb(CBaseImage& image, int red, int green, int blue) {
    if (red == 0 && green == 0 && blue == 0) return Ok;
    const PixelView view = image.view();
    if (view.empty()) return Ok;
    ColourMatrix m = ColourMatrix::Identity();
    const int percent[3] = {red, green, blue};
    for (int i = 0; i < 3; ++i) {
        m.m[i][i] = static_cast<float>(percent[i]) / 100.0f + 1.0f;
        m.m[4][i] = 0.0001f;
    }
    ApplyColourMatrix(view, m);
    return Ok;
}

}  // namespace Vs4Image
