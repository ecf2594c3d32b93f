#include "image/graphics.h"

#include <cairo.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "image/pixel_math.h"

namespace Vs4Image {

void GraphicsStartup() {}

void GraphicsShutdown() {}

namespace {

// One pixel (bytes B, G, R, A) in Cairo's premultiplied form.
uint32_t Premultiplied(uint32_t pixel) {
    const uint32_t a = pixel >> 24;
    if (a == 255)
        return pixel;
    if (a == 0)
        return 0;
    return (a << 24) | (Div255(((pixel >> 16) & 0xFF) * a) << 16) |
           (Div255(((pixel >> 8) & 0xFF) * a) << 8) | Div255((pixel & 0xFF) * a);
}

uint32_t Unpremultiplied(uint32_t pixel) {
    const uint32_t a = pixel >> 24;
    if (a == 255 || a == 0)
        return pixel;
    uint32_t out = a << 24;
    for (int shift = 0; shift < 24; shift += 8) {
        const uint32_t v = (((pixel >> shift) & 0xFF) * 255u + a / 2) / a;
        out |= (v > 255 ? 255 : v) << shift;
    }
    return out;
}

uint32_t* Row32(const PixelView& view, int y) {
    return reinterpret_cast<uint32_t*>(view.row(y));
}

}  // namespace

void PremultiplyInPlace(const PixelView& view) {
    for (int y = 0; y < view.height; ++y) {
        uint32_t* p = Row32(view, y);
        for (int x = 0; x < view.width; ++x)
            p[x] = Premultiplied(p[x]);
    }
}

void UnpremultiplyInPlace(const PixelView& view) {
    for (int y = 0; y < view.height; ++y) {
        uint32_t* p = Row32(view, y);
        for (int x = 0; x < view.width; ++x)
            p[x] = Unpremultiplied(p[x]);
    }
}

namespace {

void SetSourceArgb(cairo_t* cr, Argb colour) {
    cairo_set_source_rgba(cr, ((colour >> 16) & 0xFF) / 255.0, ((colour >> 8) & 0xFF) / 255.0,
                          (colour & 0xFF) / 255.0, (colour >> 24) / 255.0);
}

}  // namespace

Graphics::Graphics(Bitmap& target) : Graphics(target, 0, 0, target.width(), target.height()) {}

Graphics::Graphics(Bitmap& target, int x, int y, int w, int h) : target_(target) {
    width_ = target.width();
    height_ = target.height();
    const int64_t x0 = std::max(x, 0), y0 = std::max(y, 0);
    const int64_t x1 = std::min<int64_t>(static_cast<int64_t>(x) + w, width_);
    const int64_t y1 = std::min<int64_t>(static_cast<int64_t>(y) + h, height_);
    if (x1 <= x0 || y1 <= y0) {
        status_ = InvalidParameter;  // nothing of the bitmap to draw on
        return;
    }
    // Tiles of equal size (within a pixel), as few as the surface limit allows.
    const int64_t across = (x1 - x0 + kMaxSurfaceSide - 1) / kMaxSurfaceSide;
    const int64_t down = (y1 - y0 + kMaxSurfaceSide - 1) / kMaxSurfaceSide;
    const PixelView whole = target.view();
    tiles_.resize(static_cast<size_t>(across * down));
    for (int64_t row = 0; row < down; ++row) {
        const int64_t ty0 = y0 + (y1 - y0) * row / down, ty1 = y0 + (y1 - y0) * (row + 1) / down;
        for (int64_t col = 0; col < across; ++col) {
            const int64_t tx0 = x0 + (x1 - x0) * col / across;
            const int64_t tx1 = x0 + (x1 - x0) * (col + 1) / across;
            Tile& tile = tiles_[static_cast<size_t>(row * across + col)];
            tile.x = static_cast<int>(tx0);
            tile.y = static_cast<int>(ty0);
            tile.area = PixelView{whole.pixel(tile.x, tile.y), static_cast<int>(tx1 - tx0),
                                  static_cast<int>(ty1 - ty0), whole.stride};
            Open(tile);
        }
    }
}

Graphics::~Graphics() {
    Flush();
    for (Tile& tile : tiles_) {
        if (tile.cr)
            cairo_destroy(tile.cr);
        if (tile.surface)
            cairo_surface_destroy(tile.surface);
    }
}

void Graphics::Open(Tile& tile) {
    if (status_ != Ok)
        return;
    // The surface works on the bitmap's own memory; its rows are as far
    // apart as the bitmap's, which Cairo accepts for any part of it.
    const PixelView& area = tile.area;
    const int minStride = cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, area.width);
    if (area.stride < minStride || area.stride % 4 != 0) {
        status_ = GenericError;
        return;
    }
    tile.surface = cairo_image_surface_create_for_data(area.data, CAIRO_FORMAT_ARGB32, area.width,
                                                       area.height, static_cast<int>(area.stride));
    if (cairo_surface_status(tile.surface) != CAIRO_STATUS_SUCCESS) {
        status_ = OutOfMemory;
        return;
    }
    tile.cr = cairo_create(tile.surface);
    if (cairo_status(tile.cr) != CAIRO_STATUS_SUCCESS) {
        status_ = OutOfMemory;
        return;
    }
    cairo_translate(tile.cr, -tile.x, -tile.y);
    // The pixels are turned into Cairo's form by the first drawing call, so
    // a surface that draws nothing changes nothing.
}

bool Graphics::Begin(Tile& tile) {
    if (status_ != Ok)
        return false;
    if (!tile.premultiplied) {
        KeepLossyOriginals(tile);
        PremultiplyInPlace(tile.area);
        cairo_surface_mark_dirty(tile.surface);
        tile.premultiplied = true;
    }
    return true;
}

void Graphics::Flush() {
    for (Tile& tile : tiles_)
        Flush(tile);
}

void Graphics::Flush(Tile& tile) {
    if (!tile.premultiplied)
        return;
    cairo_surface_flush(tile.surface);
    const PixelView& area = tile.area;
    if (tile.originals) {
        // A pixel still equal to its original's premultiplied form was not
        // drawn on and gets its exact original back.
        for (int y = 0; y < area.height; ++y) {
            uint32_t* p = Row32(area, y);
            const uint32_t* o = tile.originals.get() + static_cast<size_t>(y) * area.width;
            for (int x = 0; x < area.width; ++x)
                p[x] = p[x] == Premultiplied(o[x]) ? o[x] : Unpremultiplied(p[x]);
        }
        tile.originals.reset();
    } else {
        UnpremultiplyInPlace(area);
    }
    tile.premultiplied = false;
}

void Graphics::KeepLossyOriginals(Tile& tile) {
    const PixelView& area = tile.area;
    tile.originals.reset();
    bool lossy = false;
    for (int y = 0; y < area.height && !lossy; ++y) {
        const uint32_t* p = Row32(area, y);
        for (int x = 0; x < area.width && !lossy; ++x)
            lossy = p[x] < 0xFF000000u && Unpremultiplied(Premultiplied(p[x])) != p[x];
    }
    if (!lossy)
        return;
    // Without the memory the drawing still works, with the plain round trip.
    const size_t pixels = static_cast<size_t>(area.width) * area.height;
    tile.originals.reset(new (std::nothrow) uint32_t[pixels]);
    if (!tile.originals)
        return;
    for (int y = 0; y < area.height; ++y)
        memcpy(tile.originals.get() + static_cast<size_t>(y) * area.width, area.row(y),
               static_cast<size_t>(area.width) * 4);
}

void Graphics::ForEachContext(const std::function<void(cairo_t*)>& draw) {
    for (Tile& tile : tiles_) {
        if (!Begin(tile))
            return;
        draw(tile.cr);
    }
}

void Graphics::FillRectangle(int x, int y, int w, int h, Argb colour) {
    ForEachContext([&](cairo_t* cr) {
        cairo_save(cr);
        SetSourceArgb(cr, colour);
        cairo_rectangle(cr, x, y, w, h);
        cairo_fill(cr);
        cairo_restore(cr);
    });
}

void Graphics::SetRectangle(int x, int y, int w, int h, Argb colour) {
    ForEachContext([&](cairo_t* cr) {
        cairo_save(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        SetSourceArgb(cr, colour);
        cairo_rectangle(cr, x, y, w, h);
        cairo_fill(cr);
        cairo_restore(cr);
    });
}

void Graphics::DrawLine(float x1, float y1, float x2, float y2, Argb colour, float lineWidth) {
    ForEachContext([&](cairo_t* cr) {
        cairo_save(cr);
        SetSourceArgb(cr, colour);
        cairo_set_line_width(cr, lineWidth);
        cairo_move_to(cr, x1, y1);
        cairo_line_to(cr, x2, y2);
        cairo_stroke(cr);
        cairo_restore(cr);
    });
}

void Graphics::FillPolygon(const PointF* points, int count, Argb colour) {
    if (count < 3)
        return;
    ForEachContext([&](cairo_t* cr) {
        cairo_save(cr);
        SetSourceArgb(cr, colour);
        cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
        cairo_move_to(cr, points[0].x, points[0].y);
        for (int i = 1; i < count; ++i)
            cairo_line_to(cr, points[i].x, points[i].y);
        cairo_close_path(cr);
        cairo_fill(cr);
        cairo_restore(cr);
    });
}

void Graphics::SetAntialias(bool on) {
    if (status_ != Ok)
        return;
    for (Tile& tile : tiles_)
        cairo_set_antialias(tile.cr, on ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
}

void Graphics::SetClip(int x, int y, int w, int h) {
    if (status_ != Ok)
        return;
    for (Tile& tile : tiles_) {
        cairo_reset_clip(tile.cr);
        cairo_rectangle(tile.cr, x, y, w, h);
        cairo_clip(tile.cr);
    }
}

void Graphics::ResetClip() {
    if (status_ != Ok)
        return;
    for (Tile& tile : tiles_)
        cairo_reset_clip(tile.cr);
}

}  // namespace Vs4Image
