// Coefficients of the fourth-order recursive (Deriche) approximation of a
// Gaussian, in single precision.
#pragma once

namespace VsxImageFilter {

struct DericheCoefficients {
    float n[5];   // causal numerator N0..N4
    float m[5];   // anti-causal numerator M0..M4
    float d[5];   // denominator D0..D4, shared by both directions
    float bn[5];  // causal edge terms Di * SN / SD
    float bm[5];  // anti-causal edge terms Di * SM / SD
};

// For a blur radius r: the Gaussian falls to 1/255 at |r| + 1 pixels.
DericheCoefficients DericheForRadius(float radius);

}  // namespace VsxImageFilter
