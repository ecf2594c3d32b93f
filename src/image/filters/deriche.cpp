#include "image/filters/deriche.h"

#include <cmath>

namespace VsxImageFilter {

namespace {

// Computes every coefficient in T from the standard deviation s.
template <typename T>
DericheCoefficients<T> Coefficients(T s, T twoPi) {
    // The fitted constants of the fourth-order approximation.
    const T a0 = T(1.6803), a1 = T(3.735), c0 = T(-0.6803), c1 = T(-0.2598);
    const T b0 = T(1.783), b1 = T(1.723), w0 = T(0.6318), w1 = T(1.997);

    const T d = std::sqrt(twoPi) * s;
    const T A0 = a0 / d, A1 = a1 / d, C0 = c0 / d, C1 = c1 / d;
    const T e0 = std::exp(-b0 / s), e1 = std::exp(-b1 / s);
    const T cw0 = std::cos(w0 / s), sw0 = std::sin(w0 / s);
    const T cw1 = std::cos(w1 / s), sw1 = std::sin(w1 / s);

    DericheCoefficients<T> k{};
    k.n[0] = A0 + C0;
    k.n[1] = e1 * (C1 * sw1 - (C0 + 2 * A0) * cw1) + e0 * (A1 * sw0 - (2 * C0 + A0) * cw0);
    k.n[2] = 2 * e0 * e1 * ((A0 + C0) * cw1 * cw0 - A1 * cw1 * sw0 - C1 * cw0 * sw1) +
             C0 * e0 * e0 + A0 * e1 * e1;
    k.n[3] = e1 * e0 * e0 * (C1 * sw1 - C0 * cw1) + e0 * e1 * e1 * (A1 * sw0 - A0 * cw0);
    k.n[4] = 0;

    k.d[0] = 0;
    k.d[1] = -2 * e1 * cw1 - 2 * e0 * cw0;
    k.d[2] = 4 * cw1 * cw0 * e0 * e1 + e1 * e1 + e0 * e0;
    k.d[3] = -2 * cw0 * e0 * e1 * e1 - 2 * cw1 * e1 * e0 * e0;
    k.d[4] = e0 * e0 * e1 * e1;

    k.m[0] = 0;
    for (int i = 1; i < 4; ++i)
        k.m[i] = k.n[i] - k.d[i] * k.n[0];
    k.m[4] = -k.d[4] * k.n[0];

    T sn = 0, sm = 0, sd = 1;
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

}  // namespace

DericheCoefficients<float> DericheForRadius(float radius) {
    const float reach = std::fabs(radius) + 1.0f;
    const float s = std::sqrt(-(reach * reach) / (2.0f * std::log(0.003921569f)));
    return Coefficients<float>(s, 6.2831855f);
}

DericheCoefficients<double> DericheForRadiusPrecise(double radius) {
    const double reach = std::fabs(radius) + 1.0;
    const double s = std::sqrt(-(reach * reach) / (2.0 * std::log(1.0 / 255.0)));
    return Coefficients<double>(s, 2.0 * 3.14159265358979323846);
}

}  // namespace VsxImageFilter
