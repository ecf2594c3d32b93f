// Drawing one image object onto another.
#include <memory>

#include "image/base_image.h"
#include "image/blend/source_over.h"
#include "image/resample.h"

namespace Vs4Image {

void CBaseImage::DrawImageAt(const CBaseImage& other, int x, int y, uint32_t opacity) {
    if (!HasBitmap() || !other.HasBitmap())
        return;
    // Drawing an image onto itself reads a copy: the target changes while
    // it is drawn on.
    std::unique_ptr<Bitmap> selfCopy = &other == this ? bitmap()->Clone() : nullptr;
    if (&other == this && !selfCopy)
        return;
    const PixelView source = selfCopy ? selfCopy->view() : other.view();
    // At its own size on whole pixels the source is composited pixel by
    // pixel, never filtered, on images of any size.
    CompositeOver(view(), source, x, y, static_cast<uint8_t>(opacity > 255 ? 255 : opacity));
}

void CBaseImage::DrawImageScaled(const CBaseImage& other, int width, int height, uint32_t opacity,
                                 uint32_t interpolationMode) {
    if (!HasBitmap() || !other.HasBitmap() || width <= 0 || height <= 0)
        return;
    // Scale with the engine's resampler (only the part that lands on this
    // image), then composite the scaled pixels at their place.
    const int visibleWidth = width < this->width() ? width : this->width();
    const int visibleHeight = height < this->height() ? height : this->height();
    std::unique_ptr<Bitmap> scaled = Bitmap::Create(visibleWidth, visibleHeight);
    if (!scaled)
        return;
    if (ResampleWindow(other.view(), width, height, 0, 0, scaled->view(),
                       ClampInterpolationMode(interpolationMode)) != Ok)
        return;
    CompositeOver(view(), scaled->view(), 0, 0,
                  static_cast<uint8_t>(opacity > 255 ? 255 : opacity));
}

}  // namespace Vs4Image
