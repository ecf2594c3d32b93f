// The engine's graphics layer: the one place that talks to Cairo. A Graphics
// object draws onto a bitmap; while it is open the bitmap's pixels are held in
// Cairo's premultiplied ARGB32 form, and closing it (or destroying it) turns
// them back into the engine's non-premultiplied BGRA. Everything above this
// layer speaks bitmaps, pixel views and statuses.
//
// Later drawing facilities (text through Pango, paths) are added as further
// members or as free functions taking a Graphics&, using `cairo()`.
#pragma once

#include <cstdint>
#include <memory>

#include "image/bitmap.h"
#include "image/colour/colour_matrix.h"
#include "image/interpolation.h"
#include "image/pixel_view.h"
#include "image/status.h"

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;
typedef struct _cairo_matrix cairo_matrix_t;

namespace Vs4Image {

struct PointF {
    float x = 0;
    float y = 0;
};

// How an image is drawn.
struct ImageDrawOptions {
    uint8_t opacity = 255;  // multiplies the source alpha
    uint32_t interpolation = kInterpolationBilinear;
    bool reflectEdges = false;             // sample beyond the edge as a mirror image
    const ColourMatrix* matrix = nullptr;  // applied to the source before drawing
    // Applied after the matrix to red, green and blue: out = in ^ gamma
    // (components in 0..1), so 1 changes nothing and above 1 darkens.
    float gamma = 1.0f;
};

// Process-wide start and stop of the graphics layer (the font map and codec
// state later parts keep). Safe to call more than once.
void GraphicsStartup();
void GraphicsShutdown();

class Graphics {
public:
    // Opens a drawing surface over `target`. The bitmap must outlive this
    // object and must not be read through another path while it is open.
    explicit Graphics(Bitmap& target);
    // The same, limited to the area (x, y, w, h) of the bitmap (cut to the
    // bitmap): only that area is converted and can be drawn on, and pixels
    // outside it stay exactly as they are. Coordinates stay the bitmap's.
    Graphics(Bitmap& target, int x, int y, int w, int h);
    ~Graphics();
    Graphics(const Graphics&) = delete;
    Graphics& operator=(const Graphics&) = delete;

    // Ok when the surface could be made; every drawing call is ignored otherwise.
    Status status() const { return status_; }
    int width() const { return width_; }
    int height() const { return height_; }

    // Paints a rectangle in `colour` over what is there (source-over).
    void FillRectangle(int x, int y, int w, int h, Argb colour);
    // Replaces a rectangle's pixels by `colour`, alpha included.
    void SetRectangle(int x, int y, int w, int h, Argb colour);
    void DrawLine(float x1, float y1, float x2, float y2, Argb colour, float lineWidth);
    // Fills the polygon through `count` points (non-zero winding), source-over.
    void FillPolygon(const PointF* points, int count, Argb colour);
    // Smooth (antialiased) edges for fills and lines; on by default.
    void SetAntialias(bool on);

    // Limits later drawing to a rectangle; ResetClip lifts the limit.
    void SetClip(int x, int y, int w, int h);
    void ResetClip();

    // Draws the whole `source` stretched into (x, y, w, h), source-over.
    void DrawImage(const PixelView& source, float x, float y, float w, float h,
                   const ImageDrawOptions& options);
    // Draws the whole `source` onto the parallelogram whose upper-left,
    // upper-right and lower-left corners are `points`.
    void DrawImageOnPoints(const PixelView& source, const PointF points[3],
                           const ImageDrawOptions& options);

    // Writes the drawing back into the bitmap (non-premultiplied). Drawing may
    // go on afterwards; the destructor flushes too.
    void Flush();

    // For extensions of this layer only: the Cairo context, with the target
    // turned into Cairo's form and ready to draw on; nullptr when the surface
    // is unusable. Ask for it only when about to draw: the round trip through
    // the premultiplied form is not free for translucent pixels.
    cairo_t* cairo() { return Begin() ? cr_ : nullptr; }

private:
    void Open();
    bool Begin();  // false when the surface is unusable
    // Copies the area when some of its pixels would not survive the round
    // trip through the premultiplied form (translucent colour below the
    // alpha's precision, colour under alpha 0), so that Flush can give the
    // pixels no drawing touched their exact values back.
    void KeepLossyOriginals();
    // Draws the whole source through the map `m` from its pixels to the
    // target's; nothing when the map cannot be inverted.
    void DrawImageThrough(const PixelView& source, const cairo_matrix_t& m,
                          const ImageDrawOptions& options);
    cairo_surface_t* MakeSourceSurface(const PixelView& source, const ImageDrawOptions& options,
                                       uint8_t** buffer);

    Bitmap& target_;
    int width_ = 0;
    int height_ = 0;
    PixelView area_;  // the part of the bitmap this surface covers
    int areaX_ = 0;
    int areaY_ = 0;
    bool premultiplied_ = false;             // the target currently holds Cairo's form
    std::unique_ptr<uint32_t[]> originals_;  // the area before Begin, when kept
    Status status_ = Ok;
    cairo_surface_t* surface_ = nullptr;
    cairo_t* cr_ = nullptr;
};

// Conversions between the engine's pixels and Cairo's ARGB32, in place.
void PremultiplyInPlace(const PixelView& view);
void UnpremultiplyInPlace(const PixelView& view);

}  // namespace Vs4Image
