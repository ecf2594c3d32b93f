// The nine-patch border: the photo shrunk into the inner area, the four sides
// stretched or tiled between the corners, the corners on top.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "image/frame/apply_frame.h"
#include "image/graphics.h"

namespace Vs4Image {

namespace {

using Pieces = FramePieceImage[kFramePieceCount];

// Draws a piece whose whole rectangle maps to (x, y, w, h); only the part
// cut from inside the picture has pixels.
void DrawPiece(Graphics& g, const FramePieceImage& piece, const FramePiece& rec, float x, float y,
               float w, float h, const ImageDrawOptions& options) {
    if (!piece.bitmap)
        return;
    const float sx = w / float(rec.width);
    const float sy = h / float(rec.height);
    g.DrawImage(piece.bitmap->view(), x + float(piece.offsetX) * sx, y + float(piece.offsetY) * sy,
                float(piece.bitmap->width()) * sx, float(piece.bitmap->height()) * sy, options);
}

// Draws one side from (x, y) over `span` pixels along it, at the piece's own
// size across it: once stretched, or tiled at its own size and clipped to
// the span so that the last copy is cut off. Template numbers may reach far
// beyond the canvas, so positions are 64-bit and only the copies that can
// land on the canvas are drawn.
void DrawSide(Graphics& g, const FramePieceImage& piece, const FramePiece& rec, int64_t x,
              int64_t y, int64_t span, bool alongX, const ImageDrawOptions& options) {
    if (!piece.bitmap || span <= 0)
        return;
    const float w = float(rec.width);
    const float h = float(rec.height);
    if (!rec.repeat) {
        if (alongX)
            DrawPiece(g, piece, rec, float(x), float(y), float(span), h, options);
        else
            DrawPiece(g, piece, rec, float(x), float(y), w, float(span), options);
        return;
    }
    const int64_t step = alongX ? rec.width : rec.height;
    const int64_t start = alongX ? x : y;
    const int64_t end = std::min<int64_t>(span, (alongX ? g.width() : g.height()) - start);
    // The clip: the span along, the piece across, cut to the canvas.
    const int64_t x0 = std::max<int64_t>(x, 0), y0 = std::max<int64_t>(y, 0);
    const int64_t x1 = std::min<int64_t>(x + (alongX ? span : rec.width), g.width());
    const int64_t y1 = std::min<int64_t>(y + (alongX ? rec.height : span), g.height());
    if (x1 <= x0 || y1 <= y0 || end <= 0)
        return;
    g.SetClip(int(x0), int(y0), int(x1 - x0), int(y1 - y0));
    for (int64_t covered = start < 0 ? -start / step * step : 0; covered < end; covered += step) {
        if (alongX)
            DrawPiece(g, piece, rec, float(x + covered), float(y), w, h, options);
        else
            DrawPiece(g, piece, rec, float(x), float(y + covered), w, h, options);
    }
    g.ResetClip();
}

void DrawSides(Graphics& g, const FrameTemplate& f, const Pieces& pieces, int64_t W, int64_t H,
               const ImageDrawOptions& options) {
    const auto& p = f.pieces;
    DrawSide(g, pieces[kLeftCenter], p[kLeftCenter], 0, p[kLeftTop].height,
             H - p[kLeftTop].height - p[kLeftBottom].height, false, options);
    DrawSide(g, pieces[kTopCenter], p[kTopCenter], p[kLeftTop].width, 0,
             W - p[kLeftTop].width - p[kRightTop].width, true, options);
    DrawSide(g, pieces[kRightCenter], p[kRightCenter], W - p[kRightCenter].width,
             p[kRightTop].height, H - p[kRightTop].height - p[kRightBottom].height, false, options);
    DrawSide(g, pieces[kBottomCenter], p[kBottomCenter], p[kLeftBottom].width,
             H - p[kBottomCenter].height, W - p[kLeftBottom].width - p[kRightBottom].width, true,
             options);
}

void DrawCorners(Graphics& g, const FrameTemplate& f, const Pieces& pieces, int64_t W, int64_t H,
                 const ImageDrawOptions& options) {
    const auto& p = f.pieces;
    const int64_t positions[4][2] = {
        {0, 0},
        {W - p[kRightTop].width, 0},
        {W - p[kRightBottom].width, H - p[kRightBottom].height},
        {0, H - p[kLeftBottom].height},
    };
    const FramePieceIndex corners[4] = {kLeftTop, kRightTop, kRightBottom, kLeftBottom};
    for (int i = 0; i < 4; ++i) {
        const FramePiece& rec = p[corners[i]];
        DrawPiece(g, pieces[corners[i]], rec, float(positions[i][0]), float(positions[i][1]),
                  float(rec.width), float(rec.height), options);
    }
}

}  // namespace

Status DrawNinePatchFrame(CBaseImage& image, const FrameTemplate& frame,
                          const std::string& framePicturePath) {
    if (!image.HasBitmap())
        return WrongState;
    CBaseImage picture;
    const Status loaded = picture.LoadFromFile(framePicturePath);
    if (loaded != Ok)
        return loaded;
    Pieces pieces;
    for (int i = 0; i < kFramePieceCount; ++i)
        pieces[i] = CutPiece(picture.view(), frame.pieces[i]);

    const int W = image.width();
    const int H = image.height();
    std::unique_ptr<Bitmap> canvas = Bitmap::Create(W, H);
    if (!canvas)
        return OutOfMemory;
    const PixelView cv = canvas->view();
    for (int y = 0; y < cv.height; ++y)
        memset(cv.row(y), 0, size_t(cv.width) * 4);
    {
        Graphics g(*canvas);
        if (g.status() != Ok)
            return g.status();
        ImageDrawOptions options;
        options.interpolation = kInterpolationNearestNeighbor;
        const FramePiece& lt = frame.pieces[kLeftTop];
        const FramePiece& rb = frame.pieces[kRightBottom];
        const float left = float(lt.drawX);
        const float top = float(lt.drawY);
        const float width = float(rb.drawX) + float(int64_t(W) - rb.width) - float(lt.drawX);
        const float height = float(rb.drawY) + float(int64_t(H) - rb.height) - float(lt.drawY);
        if (width > 0 && height > 0)
            g.DrawImage(image.view(), left, top, width, height, options);
        DrawSides(g, frame, pieces, W, H, options);
        DrawCorners(g, frame, pieces, W, H, options);
        g.Flush();
        if (g.status() != Ok)
            return g.status();
    }
    image.ReplaceBitmap(std::move(canvas));
    return Ok;
}

}  // namespace Vs4Image
