// Resize and FitInto: scaling through the engine's resampler.
#include <algorithm>
#include <memory>

#include "image/base_image.h"
#include "image/bitmap_area.h"
#include "image/blend/source_over.h"
#include "image/resample.h"

namespace Vs4Image {

bool ResizeTargetSize(int64_t fullWidth, int64_t fullHeight, int width, int height, bool noEnlarge,
                      int64_t& w, int64_t& h) {
    if (width < 1 && height < 1)
        return false;
    w = width;
    h = height;
    // A derived side is at least one pixel: a sliver of a very long image
    // scaled down stays a one-pixel line instead of failing.
    if (h == 0) {
        if (noEnlarge)
            w = std::min(w, fullWidth);
        h = std::max<int64_t>(1, fullHeight * w / fullWidth);
    } else if (w == 0) {
        if (noEnlarge)
            h = std::min(h, fullHeight);
        w = std::max<int64_t>(1, fullWidth * h / fullHeight);
    }
    return true;
}

Status CBaseImage::Resize(int width, int height, uint32_t interpolationMode, bool noEnlarge) {
    if (width < 1 && height < 1)
        return InvalidParameter;
    if (!HasBitmap())
        return WrongState;
    int64_t w = 0, h = 0;
    ResizeTargetSize(this->width(), this->height(), width, height, noEnlarge, w, h);
    if (w < 1 || h < 1)
        return InvalidParameter;
    if (w > Bitmap::kMaxSide || h > Bitmap::kMaxSide)
        return OutOfMemory;
    std::unique_ptr<Bitmap> result = Bitmap::Create(static_cast<int>(w), static_cast<int>(h));
    if (!result)
        return OutOfMemory;
    if (Status s = Resample(view(), result->view(), ClampInterpolationMode(interpolationMode));
        s != Ok)
        return s;
    ReplaceBitmap(std::move(result));
    return Ok;
}

namespace {

// Draws `source` scaled to (w x h) at (x, y) of `canvas`, computing only the
// part that lands on the canvas.
Status DrawScaledPart(const PixelView& source, Bitmap& canvas, int x, int y, int w, int h,
                      uint32_t mode) {
    if (w < 1 || h < 1)
        return Ok;
    const int64_t x0 = std::max(x, 0), y0 = std::max(y, 0);
    const int64_t x1 = std::min<int64_t>(static_cast<int64_t>(x) + w, canvas.width());
    const int64_t y1 = std::min<int64_t>(static_cast<int64_t>(y) + h, canvas.height());
    if (x1 <= x0 || y1 <= y0)
        return Ok;
    std::unique_ptr<Bitmap> part =
        Bitmap::Create(static_cast<int>(x1 - x0), static_cast<int>(y1 - y0));
    if (!part)
        return OutOfMemory;
    if (Status s = ResampleWindow(source, w, h, static_cast<int>(x0 - x), static_cast<int>(y0 - y),
                                  part->view(), mode);
        s != Ok)
        return s;
    CompositeOver(canvas.view(), part->view(), static_cast<int>(x0), static_cast<int>(y0), 255);
    return Ok;
}

}  // namespace

Status CBaseImage::FitInto(int boxWidth, int boxHeight, bool contain, uint32_t interpolationMode,
                           Argb background) {
    if (boxWidth < 1 || boxHeight < 1)
        return InvalidParameter;
    if (!HasBitmap())
        return WrongState;
    const float sw = static_cast<float>(width()), sh = static_cast<float>(height());
    const float bw = static_cast<float>(boxWidth), bh = static_cast<float>(boxHeight);
    const float boxRatio = bw / bh, sourceRatio = sw / sh;
    // The drawn side that follows the ratio is at least one pixel, centred
    // like any other, so a sliver letterboxed into a box still shows.
    float x = 0, y = 0, w = bw, h = bh;
    if ((contain && boxRatio > sourceRatio) || (!contain && sourceRatio > boxRatio)) {
        w = std::max(1.0f, bh / sh * sw);
        x = (bw - w) * 0.5f;
    } else {
        h = std::max(1.0f, bw / sw * sh);
        y = (bh - h) * 0.5f;
    }
    std::unique_ptr<Bitmap> canvas = Bitmap::Create(boxWidth, boxHeight);
    if (!canvas)
        return OutOfMemory;
    FillView(canvas->view(), background);
    // Sizes beyond any bitmap are cut to what a side can hold; only the
    // window over the box is computed anyway.
    auto toInt = [](float v) { return static_cast<int>(std::clamp(v, -2e9f, 2e9f)); };
    if (Status s = DrawScaledPart(view(), *canvas, toInt(x), toInt(y), toInt(w), toInt(h),
                                  ClampInterpolationMode(interpolationMode));
        s != Ok)
        return s;
    ReplaceBitmap(std::move(canvas));
    return Ok;
}

}  // namespace Vs4Image
