// Rotate and Flip. Right angles and mirrors move whole pixels; other angles
// draw the image onto its rotated outline through the graphics layer.
#include <algorithm>
#include <cmath>
#include <memory>

#include "image/base_image.h"
#include "image/bitmap_area.h"
#include "image/graphics.h"

namespace Vs4Image {

namespace {

// quarterTurns counter-clockwise: 1 (90), 2 (180) or 3 (270 = 90 clockwise).
std::unique_ptr<Bitmap> TurnExactly(const PixelView& src, int quarterTurns) {
    const bool swap = quarterTurns != 2;
    std::unique_ptr<Bitmap> out =
        Bitmap::Create(swap ? src.height : src.width, swap ? src.width : src.height);
    if (!out)
        return nullptr;
    const PixelView dst = out->view();
    for (int y = 0; y < dst.height; ++y) {
        auto* o = reinterpret_cast<uint32_t*>(dst.row(y));
        for (int x = 0; x < dst.width; ++x) {
            int sx, sy;
            if (quarterTurns == 1) {
                sx = src.width - 1 - y, sy = x;
            } else if (quarterTurns == 2) {
                sx = src.width - 1 - x, sy = src.height - 1 - y;
            } else {
                sx = y, sy = src.height - 1 - x;
            }
            o[x] = reinterpret_cast<const uint32_t*>(src.row(sy))[sx];
        }
    }
    return out;
}

Status RotateFree(CBaseImage& image, int angle, Argb background) {
    // The corners turned by -angle on the y-down raster (counter-clockwise
    // on screen), then moved so that their bounds start at (0, 0).
    const double rad = angle * M_PI / 180.0;
    const float c = static_cast<float>(std::cos(rad)), s = static_cast<float>(std::sin(rad));
    const float W = static_cast<float>(image.width()), H = static_cast<float>(image.height());
    const float cx[4] = {0, W, W, 0}, cy[4] = {0, 0, H, H};
    PointF p[4];
    for (int i = 0; i < 4; ++i)
        p[i] = {cx[i] * c + cy[i] * s, -cx[i] * s + cy[i] * c};
    float minX = p[0].x, maxX = p[0].x, minY = p[0].y, maxY = p[0].y;
    for (const PointF& q : p) {
        minX = std::min(minX, q.x), maxX = std::max(maxX, q.x);
        minY = std::min(minY, q.y), maxY = std::max(maxY, q.y);
    }
    for (PointF& q : p)
        q.x -= minX, q.y -= minY;
    // Integer bounds that contain the corners; the tolerance keeps float
    // noise from adding a pixel.
    const int newW = std::max(1, static_cast<int>(std::ceil(maxX - minX - 1e-3f)));
    const int newH = std::max(1, static_cast<int>(std::ceil(maxY - minY - 1e-3f)));
    std::unique_ptr<Bitmap> canvas = Bitmap::Create(newW, newH);
    if (!canvas)
        return OutOfMemory;
    FillView(canvas->view(), background);
    {
        Graphics g(*canvas);
        ImageDrawOptions options;
        options.interpolation = kInterpolationHighQualityBicubic;
        const PointF three[3] = {p[0], p[1], p[3]};
        g.DrawImageOnPoints(image.view(), three, options);
        if (g.status() != Ok)
            return g.status();
    }
    image.ReplaceBitmap(std::move(canvas));
    return Ok;
}

}  // namespace

Status CBaseImage::Rotate(int angle, Argb background) {
    if (!HasBitmap())
        return WrongState;
    // Negative angles turn the other way round: -90 is the same turn as 270,
    // and takes the same exact path.
    const int a = (angle % 360 + 360) % 360;
    if (a == 0)
        return Ok;
    if (a == 90 || a == 180 || a == 270) {
        std::unique_ptr<Bitmap> turned = TurnExactly(view(), a / 90);
        if (!turned)
            return OutOfMemory;
        ReplaceBitmap(std::move(turned));
        return Ok;
    }
    return RotateFree(*this, a, background);
}

Status CBaseImage::Flip(bool horizontal, bool vertical) {
    if (!HasBitmap())
        return Ok;
    const PixelView v = view();
    if (horizontal) {
        for (int y = 0; y < v.height; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(v.row(y));
            std::reverse(row, row + v.width);
        }
    }
    if (vertical) {
        for (int y = 0; y < v.height / 2; ++y)
            std::swap_ranges(v.row(y), v.row(y) + v.width * 4, v.row(v.height - 1 - y));
    }
    return Ok;
}

}  // namespace Vs4Image
