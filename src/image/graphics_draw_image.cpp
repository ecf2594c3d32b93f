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

// Paints `surface`, which holds the part of a fullWidth x fullHeight source
// that starts at (offsetX, offsetY), in source coordinates; the clip to the
// whole source keeps the edges where they are whatever part is painted.
void PaintSource(cairo_t* cr, cairo_surface_t* surface, const ImageDrawOptions& options,
                 int offsetX, int offsetY, int fullWidth, int fullHeight) {
    cairo_set_source_surface(cr, surface, offsetX, offsetY);
    cairo_pattern_t* pattern = cairo_get_source(cr);
    cairo_pattern_set_filter(pattern, FilterFor(options.interpolation));
    cairo_pattern_set_extend(pattern,
                             options.reflectEdges ? CAIRO_EXTEND_REFLECT : CAIRO_EXTEND_PAD);
    cairo_rectangle(cr, 0, 0, fullWidth, fullHeight);
    cairo_clip(cr);
    cairo_paint_with_alpha(cr, PaintAlpha(options));
}

bool FitsOneSurface(const PixelView& view) {
    return view.width <= Graphics::kMaxSurfaceSide && view.height <= Graphics::kMaxSurfaceSide;
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
    if (!Invertible(m) || status_ != Ok)
        return;
    if (!FitsOneSurface(source)) {
        for (Tile& tile : tiles_)
            if (Begin(tile))
                DrawLargeSource(tile.cr, source, m, options,
                                Rect{tile.x, tile.y, tile.area.width, tile.area.height});
        return;
    }
    uint8_t* buffer = nullptr;
    cairo_surface_t* surface = MakeSourceSurface(source, options, &buffer);
    if (surface) {
        ForEachContext([&](cairo_t* cr) {
            cairo_save(cr);
            cairo_transform(cr, &m);
            PaintSource(cr, surface, options, 0, 0, source.width, source.height);
            cairo_restore(cr);
        });
        cairo_surface_destroy(surface);
    } else if (drawStatus_ == Ok) {
        drawStatus_ = OutOfMemory;
    }
    delete[] buffer;
}

void Graphics::DrawLargeSource(cairo_t* cr, const PixelView& source, const cairo_matrix_t& m,
                               const ImageDrawOptions& options, const Rect& rect) {
    // The source area that lands on `rect`, widened by what the filter reads
    // around a pixel: a few pixels, more where the source is shrunk.
    cairo_matrix_t inverse = m;
    cairo_matrix_invert(&inverse);
    double minX = INFINITY, minY = INFINITY, maxX = -INFINITY, maxY = -INFINITY;
    for (int corner = 0; corner < 4; ++corner) {
        double px = rect.x + (corner & 1 ? rect.w : 0), py = rect.y + (corner & 2 ? rect.h : 0);
        cairo_matrix_transform_point(&inverse, &px, &py);
        minX = std::min(minX, px), maxX = std::max(maxX, px);
        minY = std::min(minY, py), maxY = std::max(maxY, py);
    }
    const double margin = 4 + 2 * std::max(std::fabs(inverse.xx) + std::fabs(inverse.xy),
                                           std::fabs(inverse.yx) + std::fabs(inverse.yy));
    const double x0 = std::max(0.0, std::floor(minX - margin));
    const double y0 = std::max(0.0, std::floor(minY - margin));
    const double x1 = std::min<double>(source.width, std::ceil(maxX + margin));
    const double y1 = std::min<double>(source.height, std::ceil(maxY + margin));
    if (x1 <= x0 || y1 <= y0)
        return;  // no part of the source lands here
    if (x1 - x0 > kMaxSurfaceSide || y1 - y0 > kMaxSurfaceSide) {
        // Too much of the source for one surface: halve the target area.
        if (rect.w <= 1 && rect.h <= 1) {
            drawStatus_ = drawStatus_ == Ok ? OutOfMemory : drawStatus_;
            return;
        }
        const bool wide = rect.w >= rect.h;
        const Rect first{rect.x, rect.y, wide ? rect.w / 2 : rect.w, wide ? rect.h : rect.h / 2};
        const Rect second{wide ? rect.x + first.w : rect.x, wide ? rect.y : rect.y + first.h,
                          wide ? rect.w - first.w : rect.w, wide ? rect.h : rect.h - first.h};
        DrawLargeSource(cr, source, m, options, first);
        DrawLargeSource(cr, source, m, options, second);
        return;
    }
    const int px = static_cast<int>(x0), py = static_cast<int>(y0);
    const PixelView part{source.pixel(px, py), static_cast<int>(x1) - px, static_cast<int>(y1) - py,
                         source.stride};
    uint8_t* buffer = nullptr;
    cairo_surface_t* surface = MakeSourceSurface(part, options, &buffer);
    if (surface) {
        cairo_save(cr);
        cairo_rectangle(cr, rect.x, rect.y, rect.w, rect.h);
        cairo_clip(cr);
        cairo_transform(cr, &m);
        PaintSource(cr, surface, options, px, py, source.width, source.height);
        cairo_restore(cr);
        cairo_surface_destroy(surface);
    } else if (drawStatus_ == Ok) {
        drawStatus_ = OutOfMemory;
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
