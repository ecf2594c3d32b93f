// 5 x 5 colour matrices applied to pixels as row vectors (r, g, b, a, 1) with
// components 0..1: entry m[i][j] is how much input component i adds to output
// component j, row 4 holds constant offsets, column 4 is not used.
#pragma once

#include "image/pixel_view.h"

namespace Vs4Image {

struct ColourMatrix {
    float m[5][5];

    static ColourMatrix Identity();
};

// The matrix that applies `first` and then `second` (the product first x second).
ColourMatrix Then(const ColourMatrix& first, const ColourMatrix& second);

// Redraws every pixel through the matrix: each output component is clamped to
// 0..1 and rounded to 8 bits. A pixel whose new alpha is 0 becomes the word 0,
// so the result is the same as clearing the image to transparent black and
// drawing the old pixels onto it through the matrix.
void ApplyColourMatrix(const PixelView& view, const ColourMatrix& matrix);

// Raises red, green and blue (as 0..1) to the power `gamma`; 1 changes
// nothing, larger values darken the mid-tones. Alpha is kept.
void ApplyGamma(const PixelView& view, float gamma);

}  // namespace Vs4Image
