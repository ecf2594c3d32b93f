// The picture overlay: the photo mapped onto the parallelogram marked in the
// picture of a frame, and the picture stretched over the whole result.
#include <cmath>
#include <cstring>

#include "image/frame/apply_frame.h"
#include "image/graphics.h"

namespace Vs4Image {

namespace {

// Below this width the overlay's first row and column are made opaque, so
// that the stretched picture's outer edge does not fade into the background.
constexpr int kOpaqueEdgeWidthLimit = 251;

std::unique_ptr<Bitmap> TransparentBitmap(int width, int height) {
    std::unique_ptr<Bitmap> b = Bitmap::Create(width, height);
    if (!b)
        return nullptr;
    const PixelView v = b->view();
    for (int y = 0; y < v.height; ++y)
        memset(v.row(y), 0, size_t(v.width) * 4);
    return b;
}

void MakeFirstRowAndColumnOpaque(const PixelView& v) {
    for (int x = 0; x < v.width; ++x)
        v.pixel(x, 0)[3] = 255;
    for (int y = 0; y < v.height; ++y)
        v.pixel(0, y)[3] = 255;
}

}  // namespace

Status DrawOverlayFrame(CBaseImage& image, const FrameOverlay& overlay,
                        const std::string& overlayPicturePath) {
    if (!image.HasBitmap())
        return WrongState;
    CBaseImage picture;
    const Status loaded = picture.LoadFromFile(overlayPicturePath);
    if (loaded != Ok)
        return loaded;
    const int W = image.width();
    const int H = image.height();
    std::unique_ptr<Bitmap> canvas = TransparentBitmap(W, H);
    if (!canvas)
        return OutOfMemory;

    ImageDrawOptions options;
    options.interpolation = kInterpolationHighQualityBicubic;
    const float sx = float(W) / float(picture.width());
    const float sy = float(H) / float(picture.height());
    const PointF points[3] = {
        {std::trunc(float(overlay.x1) * sx), std::trunc(float(overlay.y1) * sy)},
        {std::trunc(float(overlay.x2) * sx), std::trunc(float(overlay.y2) * sy)},
        {std::trunc(float(overlay.x3) * sx), std::trunc(float(overlay.y3) * sy)},
    };

    std::unique_ptr<Bitmap> stretched;
    if (W < kOpaqueEdgeWidthLimit) {
        stretched = TransparentBitmap(W, H);
        if (!stretched)
            return OutOfMemory;
        Graphics gs(*stretched);
        if (gs.status() != Ok)
            return gs.status();
        gs.DrawImage(picture.view(), 0, 0, float(W), float(H), options);
        gs.Flush();
        if (gs.status() != Ok)
            return gs.status();
    }
    if (stretched)
        MakeFirstRowAndColumnOpaque(stretched->view());

    {
        Graphics g(*canvas);
        if (g.status() != Ok)
            return g.status();
        g.DrawImageOnPoints(image.view(), points, options);
        if (stretched)
            g.DrawImage(stretched->view(), 0, 0, float(W), float(H), options);
        else
            g.DrawImage(picture.view(), 0, 0, float(W), float(H), options);
        g.Flush();
        if (g.status() != Ok)
            return g.status();
    }
    image.ReplaceBitmap(std::move(canvas));
    return Ok;
}

}  // namespace Vs4Image
