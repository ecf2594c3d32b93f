// The fixed colour matrices: negative, sepia and grey.
#include "image/colour/adjustments.h"
#include "image/colour/colour_matrix.h"

namespace Vs4Image {

namespace {

// Rows are the inputs r, g, b; columns the outputs r, g, b.
Status ApplyColourRows(CBaseImage& image, const float rows[3][3], float offset) {
    const PixelView view = image.view();
    if (view.empty()) return Ok;
    ColourMatrix m = ColourMatrix::Identity();
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) m.m[i][j] = rows[i][j];
        m.m[4][i] = offset;
    }
    ApplyColourMatrix(view, m);
    return Ok;
}

}  // namespace

// r' = 1 - r, g' = 1 - g + 0.01 b, b' = 1 - b: the blue input leaks a
// hundredth into green, so white turns to a very dark green, not black.
Status Negative(CBaseImage& image) {
    static const float rows[3][3] = {{-1, 0, 0}, {0, -1, 0}, {0, 0.01f, -1}};
    return ApplyColourRows(image, rows, 1.0f);
}

Status Sepia(CBaseImage& image) {
    static const float rows[3][3] = {
        {0.393f, 0.349f, 0.272f}, {0.769f, 0.686f, 0.534f}, {0.189f, 0.168f, 0.131f}};
    return ApplyColourRows(image, rows, 0.0f);
}

Status Grayscale(CBaseImage& image) {
    static const float rows[3][3] = {{0.3f, 0.3f, 0.3f}, {0.59f, 0.59f, 0.59f}, {0.11f, 0.11f, 0.11f}};
    return ApplyColourRows(image, rows, 0.0f);
}

}  // namespace Vs4Image
