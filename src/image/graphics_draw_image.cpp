// Image draws of the graphics layer: a source is copied into Cairo's form
// (after its colour matrix, if any), then painted through a transform.
#include <cairo.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include "image/graphics.h"
#include "image/pixel_math.h"

namespace Vs4Image {

namespace {

cairo_filter_t FilterFor(uint32_t mode) {
    switch (ClampInterpolationMode(mode)) {
        case kInterpolationNearestNeighbor:
            return CAIRO_FILTER_NEAREST;
        case kInterpolationLowQuality:
        case kInterpolationBilinear:
            return CAIRO_FILTER_BILINEAR;
        case kInterpolationDefault:
        case kInterpolationBicubic:
            return CAIRO_FILTER_GOOD;
        default:
            return CAIRO_FILTER_BEST;
    }
}

// Applies `m` to one row of non-premultiplied pixels.
void ApplyMatrixRow(uint8_t* p, int width, const ColourMatrix& m) {
    for (int x = 0; x < width; ++x, p += 4) {
        const float in[5] = {p[2] / 255.0f, p[1] / 255.0f, p[0] / 255.0f, p[3] / 255.0f, 1.0f};
        float out[4];
        for (int c = 0; c < 4; ++c) {
            float v = 0;
            for (int k = 0; k < 5; ++k)
                v += in[k] * m.m[k][c];
            out[c] = v;
        }
        p[2] = ClampByte(static_cast<int>(std::lround(out[0] * 255.0f)));
        p[1] = ClampByte(static_cast<int>(std::lround(out[1] * 255.0f)));
        p[0] = ClampByte(static_cast<int>(std::lround(out[2] * 255.0f)));
        p[3] = ClampByte(static_cast<int>(std::lround(out[3] * 255.0f)));
    }
}

void ApplyGammaRow(uint8_t* p, int width, const uint8_t* table) {
    for (int x = 0; x < width; ++x, p += 4) {
        p[0] = table[p[0]];
        p[1] = table[p[1]];
        p[2] = table[p[2]];
    }
}

// A matrix that only scales alpha is carried by the paint's opacity instead.
bool OnlyScalesAlpha(const ColourMatrix& m, float* factor) {
    ColourMatrix id = ColourMatrix::Identity();
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 5; ++c)
            if (!(r == 3 && c == 3) && m.m[r][c] != id.m[r][c])
                return false;
    *factor = m.m[3][3];
    return true;
}

// A mapping Cairo can use: finite in every entry (its own check lets a
// not-a-number scale or offset through) and invertible.
bool Invertible(const cairo_matrix_t& m) {
    for (double v : {m.xx, m.yx, m.xy, m.yy, m.x0, m.y0})
        if (!std::isfinite(v))
            return false;
    cairo_matrix_t check = m;
    return cairo_matrix_invert(&check) == CAIRO_STATUS_SUCCESS;
}

}  // namespace

cairo_surface_t* Graphics::MakeSourceSurface(const PixelView& source,
                                             const ImageDrawOptions& options, uint8_t** buffer) {
    const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, source.width);
    *buffer = new (std::nothrow) uint8_t[static_cast<size_t>(stride) * source.height];
    if (*buffer == nullptr)
        return nullptr;
    const PixelView copy{*buffer, source.width, source.height, stride};
    float alphaFactor = 1.0f;
    const bool matrixIsAlpha = options.matrix && OnlyScalesAlpha(*options.matrix, &alphaFactor);
    const bool gamma = options.gamma > 0 && options.gamma != 1.0f;
    uint8_t gammaTable[256];
    for (int i = 0; gamma && i < 256; ++i)
        gammaTable[i] =
            ClampByte(static_cast<int>(std::lround(255.0 * std::pow(i / 255.0, options.gamma))));
    for (int y = 0; y < source.height; ++y) {
        memcpy(copy.row(y), source.row(y), static_cast<size_t>(source.width) * 4);
        if (options.matrix && !matrixIsAlpha)
            ApplyMatrixRow(copy.row(y), source.width, *options.matrix);
        if (gamma)
            ApplyGammaRow(copy.row(y), source.width, gammaTable);
    }
    PremultiplyInPlace(copy);
    cairo_surface_t* surface = cairo_image_surface_create_for_data(
        *buffer, CAIRO_FORMAT_ARGB32, source.width, source.height, stride);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    return surface;
}

namespace {

// The overall alpha of a draw: the opacity, times the matrix's alpha factor
// when the matrix does nothing else.
double PaintAlpha(const ImageDrawOptions& options) {
    double alpha = options.opacity / 255.0;
    float factor = 1.0f;
    if (options.matrix && OnlyScalesAlpha(*options.matrix, &factor))
        alpha *= factor;
    return alpha < 0 ? 0 : (alpha > 1 ? 1 : alpha);
}

void PaintSource(cairo_t* cr, cairo_surface_t* surface, const ImageDrawOptions& options,
                 int sourceWidth, int sourceHeight) {
    cairo_set_source_surface(cr, surface, 0, 0);
    cairo_pattern_t* pattern = cairo_get_source(cr);
    cairo_pattern_set_filter(pattern, FilterFor(options.interpolation));
    cairo_pattern_set_extend(pattern,
                             options.reflectEdges ? CAIRO_EXTEND_REFLECT : CAIRO_EXTEND_PAD);
    cairo_rectangle(cr, 0, 0, sourceWidth, sourceHeight);
    cairo_clip(cr);
    cairo_paint_with_alpha(cr, PaintAlpha(options));
}

}  // namespace

void Graphics::DrawImage(const PixelView& source, float x, float y, float w, float h,
                         const ImageDrawOptions& options) {
    if (source.empty() || w == 0 || h == 0)
        return;
    cairo_matrix_t m;
    cairo_matrix_init(&m, w / source.width, 0, 0, h / source.height, x, y);
    DrawImageThrough(source, m, options);
}

void Graphics::DrawImageThrough(const PixelView& source, const cairo_matrix_t& m,
                                const ImageDrawOptions& options) {
    // A placement Cairo cannot invert (a size or position that is not a
    // finite number, or one too small to map back) would put the context
    // into a lasting error state and lose every later drawing on it.
    if (!Invertible(m) || !Begin())
        return;
    uint8_t* buffer = nullptr;
    cairo_surface_t* surface = MakeSourceSurface(source, options, &buffer);
    if (surface) {
        cairo_save(cr_);
        cairo_transform(cr_, &m);
        PaintSource(cr_, surface, options, source.width, source.height);
        cairo_restore(cr_);
        cairo_surface_destroy(surface);
    }
    delete[] buffer;
}

void Graphics::DrawImageOnPoints(const PixelView& source, const PointF points[3],
                                 const ImageDrawOptions& options) {
    if (source.empty())
        return;
    // The affine map taking the source's corners (0,0), (W,0), (0,H) to the
    // three points.
    cairo_matrix_t m;
    cairo_matrix_init(&m, (points[1].x - points[0].x) / source.width,
                      (points[1].y - points[0].y) / source.width,
                      (points[2].x - points[0].x) / source.height,
                      (points[2].y - points[0].y) / source.height, points[0].x, points[0].y);
    DrawImageThrough(source, m, options);
}

}  // namespace Vs4Image
