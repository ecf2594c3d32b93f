#include "image/filters/deriche.h"

#include <cmath>

namespace VsxImageFilter {

namespace {

// The fitted constants of the fourth-order approximation.
constexpr float a0 = 1.6803f, a1 = 3.735f, c0 = -0.6803f, c1 = -0.2598f;
constexpr float b0 = 1.783f, b1 = 1.723f, w0 = 0.6318f, w1 = 1.997f;

// The standard deviation at which the Gaussian is 1/255 of its peak at `reach` pixels.
float SigmaFor(float reach) {
    return std::sqrt(-(reach * reach) / (2.0f * std::log(0.003921569f)));
}

}  // namespace

DericheCoefficients DericheForRadius(float radius) {
    const float s = SigmaFor(std::fabs(radius) + 1.0f);
    const float d = std::sqrt(6.2831855f) * s;
    const float A0 = a0 / d, A1 = a1 / d, C0 = c0 / d, C1 = c1 / d;
    const float e0 = std::exp(-b0 / s), e1 = std::exp(-b1 / s);
    const float cw0 = std::cos(w0 / s), sw0 = std::sin(w0 / s);
    const float cw1 = std::cos(w1 / s), sw1 = std::sin(w1 / s);

    DericheCoefficients k{};
    k.n[0] = A0 + C0;
    k.n[1] = e1 * (C1 * sw1 - (C0 + 2 * A0) * cw1) + e0 * (A1 * sw0 - (2 * C0 + A0) * cw0);
    k.n[2] = 2 * e0 * e1 * ((A0 + C0) * cw1 * cw0 - A1 * cw1 * sw0 - C1 * cw0 * sw1) +
             C0 * e0 * e0 + A0 * e1 * e1;
    k.n[3] = e1 * e0 * e0 * (C1 * sw1 - C0 * cw1) + e0 * e1 * e1 * (A1 * sw0 - A0 * cw0);
    k.n[4] = 0.0f;

    k.d[0] = 0.0f;
    k.d[1] = -2 * e1 * cw1 - 2 * e0 * cw0;
    k.d[2] = 4 * cw1 * cw0 * e0 * e1 + e1 * e1 + e0 * e0;
    k.d[3] = -2 * cw0 * e0 * e1 * e1 - 2 * cw1 * e1 * e0 * e0;
    k.d[4] = e0 * e0 * e1 * e1;

    k.m[0] = 0.0f;
    for (int i = 1; i < 4; ++i) k.m[i] = k.n[i] - k.d[i] * k.n[0];
    k.m[4] = -k.d[4] * k.n[0];

    float sn = 0.0f, sm = 0.0f, sd = 1.0f;
    for (int i = 0; i < 5; ++i) {
        sn += k.n[i];
        sm += k.m[i];
        sd += k.d[i];
    }
    for (int i = 0; i < 5; ++i) {
        k.bn[i] = k.d[i] * sn / sd;
        k.bm[i] = k.d[i] * sm / sd;
    }
    return k;
}

}  // namespace VsxImageFilter
