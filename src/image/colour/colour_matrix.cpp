#include "image/colour/colour_matrix.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace Vs4Image {

ColourMatrix ColourMatrix::Identity() {
    ColourMatrix id{};
    for (int i = 0; i < 5; ++i) id.m[i][i] = 1.0f;
    return id;
}

ColourMatrix Then(const ColourMatrix& first, const ColourMatrix& second) {
    ColourMatrix out{};
    for (int i = 0; i < 5; ++i) {
        for (int j = 0; j < 5; ++j) {
            float sum = 0.0f;
            for (int k = 0; k < 5; ++k) sum += first.m[i][k] * second.m[k][j];
            out.m[i][j] = sum;
        }
    }
    return out;
}

namespace {

uint8_t ToByte(float unit) {
    if (!(unit > 0.0f)) return 0;  // also catches NaN
    if (unit >= 1.0f) return 255;
    return static_cast<uint8_t>(unit * 255.0f + 0.5f);
}

// Per input component and 8-bit value, the contribution (value / 255) * m[i][j]
// to each output component: the per-pixel work becomes sixteen additions.
struct MatrixTables {
    float term[4][256][4];  // [input r,g,b,a][value][output r,g,b,a]
    float offset[4];
};

void FillTables(const ColourMatrix& matrix, MatrixTables& t) {
    for (int i = 0; i < 4; ++i) {
        for (int v = 0; v < 256; ++v) {
            const float unit = static_cast<float>(v) / 255.0f;
            for (int j = 0; j < 4; ++j) t.term[i][v][j] = unit * matrix.m[i][j];
        }
    }
    for (int j = 0; j < 4; ++j) t.offset[j] = matrix.m[4][j];
}

void MatrixRow(uint8_t* p, int width, const MatrixTables& t) {
    for (int x = 0; x < width; ++x, p += 4) {
        // Memory order is blue, green, red, alpha; the matrix order is r, g, b, a.
        const float* r = t.term[0][p[2]];
        const float* g = t.term[1][p[1]];
        const float* b = t.term[2][p[0]];
        const float* a = t.term[3][p[3]];
        float out[4];
        for (int j = 0; j < 4; ++j) out[j] = r[j] + g[j] + b[j] + a[j] + t.offset[j];
        const uint8_t alpha = ToByte(out[3]);
        if (alpha == 0) {
            memset(p, 0, 4);
            continue;
        }
        p[0] = ToByte(out[2]);
        p[1] = ToByte(out[1]);
        p[2] = ToByte(out[0]);
        p[3] = alpha;
    }
}

}  // namespace

void ApplyColourMatrix(const PixelView& view, const ColourMatrix& matrix) {
    if (view.empty()) return;
    MatrixTables tables;
    FillTables(matrix, tables);
    for (int y = 0; y < view.height; ++y) MatrixRow(view.row(y), view.width, tables);
}

void ApplyGamma(const PixelView& view, float gamma) {
    if (view.empty()) return;
    uint8_t curve[256];
    for (int v = 0; v < 256; ++v) curve[v] = ToByte(std::pow(static_cast<float>(v) / 255.0f, gamma));
    for (int y = 0; y < view.height; ++y) {
        uint8_t* p = view.row(y);
        for (int x = 0; x < view.width; ++x, p += 4) {
            p[0] = curve[p[0]];
            p[1] = curve[p[1]];
            p[2] = curve[p[2]];
        }
    }
}

}  // namespace Vs4Image
