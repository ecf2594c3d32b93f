// Coefficients of the fourth-order recursive (Deriche) approximation of a
// Gaussian.
#pragma once

namespace VsxImageFilter {

template <typename T>
struct DericheCoefficients {
    T n[5];   // causal numerator N0..N4
    T m[5];   // anti-causal numerator M0..M4
    T d[5];   // denominator D0..D4, shared by both directions
    T bn[5];  // causal edge terms Di * SN / SD
    T bm[5];  // anti-causal edge terms Di * SM / SD
};

// For a blur radius r the Gaussian falls to 1/255 at |r| + 1 pixels. The
// single-precision set is the filter's reference arithmetic; its poles come
// so close to 1 for large radii that 1 + sum(Di) drowns in rounding (a
// radius of 256 turns a grey image white), so large radii use the double
// set, which gives the same filter without the cancellation.
DericheCoefficients<float> DericheForRadius(float radius);
DericheCoefficients<double> DericheForRadiusPrecise(double radius);

}  // namespace VsxImageFilter
