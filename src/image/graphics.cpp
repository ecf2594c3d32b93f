#include "image/graphics.h"

#include <cairo.h>

#include <algorithm>
#include <cstring>
#include <new>

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
    areaX_ = static_cast<int>(x0);
    areaY_ = static_cast<int>(y0);
    const PixelView whole = target.view();
    area_ = PixelView{whole.pixel(areaX_, areaY_), static_cast<int>(x1 - x0),
                      static_cast<int>(y1 - y0), whole.stride};
    Open();
}

Graphics::~Graphics() {
    Flush();
    if (cr_)
        cairo_destroy(cr_);
    if (surface_)
        cairo_surface_destroy(surface_);
}

void Graphics::Open() {
    // The surface works on the bitmap's own memory; its rows are as far
    // apart as the bitmap's, which Cairo accepts for any part of it.
    const int minStride = cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, area_.width);
    if (area_.stride < minStride || area_.stride % 4 != 0) {
        status_ = GenericError;
        return;
    }
    surface_ = cairo_image_surface_create_for_data(area_.data, CAIRO_FORMAT_ARGB32, area_.width,
                                                   area_.height, static_cast<int>(area_.stride));
    if (cairo_surface_status(surface_) != CAIRO_STATUS_SUCCESS) {
        status_ = OutOfMemory;
        return;
    }
    cr_ = cairo_create(surface_);
    if (cairo_status(cr_) != CAIRO_STATUS_SUCCESS) {
        status_ = OutOfMemory;
        return;
    }
    cairo_translate(cr_, -areaX_, -areaY_);
    // The pixels are turned into Cairo's form by the first drawing call, so
    // a surface that draws nothing changes nothing.
}

bool Graphics::Begin() {
    if (status_ != Ok)
        return false;
    if (!premultiplied_) {
        KeepLossyOriginals();
        PremultiplyInPlace(area_);
        cairo_surface_mark_dirty(surface_);
        premultiplied_ = true;
    }
    return true;
}

void Graphics::Flush() {
    if (!premultiplied_)
        return;
    cairo_surface_flush(surface_);
    if (originals_) {
        // A pixel still equal to its original's premultiplied form was not
        // drawn on and gets its exact original back.
        for (int y = 0; y < area_.height; ++y) {
            uint32_t* p = Row32(area_, y);
            const uint32_t* o = originals_.get() + static_cast<size_t>(y) * area_.width;
            for (int x = 0; x < area_.width; ++x)
                p[x] = p[x] == Premultiplied(o[x]) ? o[x] : Unpremultiplied(p[x]);
        }
        originals_.reset();
    } else {
        UnpremultiplyInPlace(area_);
    }
    premultiplied_ = false;
}

void Graphics::KeepLossyOriginals() {
    originals_.reset();
    bool lossy = false;
    for (int y = 0; y < area_.height && !lossy; ++y) {
        const uint32_t* p = Row32(area_, y);
        for (int x = 0; x < area_.width && !lossy; ++x)
            lossy = p[x] < 0xFF000000u && Unpremultiplied(Premultiplied(p[x])) != p[x];
    }
    if (!lossy)
        return;
    // Without the memory the drawing still works, with the plain round trip.
    originals_.reset(new (std::nothrow) uint32_t[static_cast<size_t>(area_.width) * area_.height]);
    if (!originals_)
        return;
    for (int y = 0; y < area_.height; ++y)
        memcpy(originals_.get() + static_cast<size_t>(y) * area_.width, area_.row(y),
               static_cast<size_t>(area_.width) * 4);
}

void Graphics::FillRectangle(int x, int y, int w, int h, Argb colour) {
    if (!Begin())
        return;
    cairo_save(cr_);
    SetSourceArgb(cr_, colour);
    cairo_rectangle(cr_, x, y, w, h);
    cairo_fill(cr_);
    cairo_restore(cr_);
}

void Graphics::SetRectangle(int x, int y, int w, int h, Argb colour) {
    if (!Begin())
        return;
    cairo_save(cr_);
    cairo_set_operator(cr_, CAIRO_OPERATOR_SOURCE);
    SetSourceArgb(cr_, colour);
    cairo_rectangle(cr_, x, y, w, h);
    cairo_fill(cr_);
    cairo_restore(cr_);
}

void Graphics::DrawLine(float x1, float y1, float x2, float y2, Argb colour, float lineWidth) {
    if (!Begin())
        return;
    cairo_save(cr_);
    SetSourceArgb(cr_, colour);
    cairo_set_line_width(cr_, lineWidth);
    cairo_move_to(cr_, x1, y1);
    cairo_line_to(cr_, x2, y2);
    cairo_stroke(cr_);
    cairo_restore(cr_);
}

void Graphics::FillPolygon(const PointF* points, int count, Argb colour) {
    if (count < 3 || !Begin())
        return;
    cairo_save(cr_);
    SetSourceArgb(cr_, colour);
    cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_WINDING);
    cairo_move_to(cr_, points[0].x, points[0].y);
    for (int i = 1; i < count; ++i)
        cairo_line_to(cr_, points[i].x, points[i].y);
    cairo_close_path(cr_);
    cairo_fill(cr_);
    cairo_restore(cr_);
}

void Graphics::SetAntialias(bool on) {
    if (status_ == Ok)
        cairo_set_antialias(cr_, on ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
}

void Graphics::SetClip(int x, int y, int w, int h) {
    if (status_ != Ok)
        return;
    cairo_reset_clip(cr_);
    cairo_rectangle(cr_, x, y, w, h);
    cairo_clip(cr_);
}

void Graphics::ResetClip() {
    if (status_ == Ok)
        cairo_reset_clip(cr_);
}

}  // namespace Vs4Image
