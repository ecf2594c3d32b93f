// The engine's graphics layer: the one place that talks to Cairo. A Graphics
// object draws onto a bitmap; while it is open the bitmap's pixels are held in
// Cairo's premultiplied ARGB32 form, and closing it (or destroying it) turns
// them back into the engine's non-premultiplied BGRA. Everything above this
// layer speaks bitmaps, pixel views and statuses.
//
// A Cairo surface is at most 32767 pixels on a side. A larger bitmap (or
// area) is covered by several tiles of at most that size, each a surface over
// its part of the bitmap's memory, and every drawing call is made on each
// tile in the bitmap's coordinates; a source image larger than a surface is
// drawn piece by piece, each piece the part that lands on one tile.
//
// Later drawing facilities (text through Pango, paths) are added as further
// members or as free functions taking a Graphics&, using `ForEachContext`.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

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
    // The largest side of one drawing surface.
    static constexpr int kMaxSurfaceSide = 32767;

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

    // Ok when the surface could be made and every image draw so far was
    // done; every drawing call is ignored when the surface could not be made.
    Status status() const { return status_ != Ok ? status_ : drawStatus_; }
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

    // For extensions of this layer only: calls `draw` once per tile with its
    // Cairo context, the tile turned into Cairo's form and ready to draw on,
    // in the bitmap's coordinates; not at all when the surface is unusable.
    // Call it only when about to draw: the round trip through the
    // premultiplied form is not free for translucent pixels.
    void ForEachContext(const std::function<void(cairo_t*)>& draw);

private:
    // One surface over a part of the area, at (x, y) of the bitmap.
    struct Tile {
        PixelView area;
        int x = 0;
        int y = 0;
        cairo_surface_t* surface = nullptr;
        cairo_t* cr = nullptr;
        bool premultiplied = false;             // the part holds Cairo's form
        std::unique_ptr<uint32_t[]> originals;  // the part before Begin, when kept
    };
    struct Rect {
        int x, y, w, h;
    };

    void Open(Tile& tile);
    bool Begin(Tile& tile);  // false when the surface is unusable
    void Flush(Tile& tile);
    // Copies the part when some of its pixels would not survive the round
    // trip through the premultiplied form (translucent colour below the
    // alpha's precision, colour under alpha 0), so that Flush can give the
    // pixels no drawing touched their exact values back.
    static void KeepLossyOriginals(Tile& tile);
    // Draws the whole source through the map `m` from its pixels to the
    // target's; nothing when the map cannot be inverted.
    void DrawImageThrough(const PixelView& source, const cairo_matrix_t& m,
                          const ImageDrawOptions& options);
    // The same for a source larger than a surface, limited to `rect` of the
    // bitmap: only the part of the source that lands there is made a surface.
    void DrawLargeSource(cairo_t* cr, const PixelView& source, const cairo_matrix_t& m,
                         const ImageDrawOptions& options, const Rect& rect);
    static cairo_surface_t* MakeSourceSurface(const PixelView& source,
                                              const ImageDrawOptions& options, uint8_t** buffer);

    Bitmap& target_;
    int width_ = 0;
    int height_ = 0;
    std::vector<Tile> tiles_;
    Status status_ = Ok;
    Status drawStatus_ = Ok;  // the first image draw that could not be done
};

// Conversions between the engine's pixels and Cairo's ARGB32, in place.
void PremultiplyInPlace(const PixelView& view);
void UnpremultiplyInPlace(const PixelView& view);

}  // namespace Vs4Image
