#include "image/bitmap.h"

#include <atomic>
#include <cstring>
#include <new>

namespace Vs4Image {

namespace {
std::atomic<int64_t> gMaxPixels{Bitmap::kDefaultMaxPixels};
}

int64_t MaxImagePixels() {
    return gMaxPixels.load(std::memory_order_relaxed);
}

void SetMaxImagePixels(int64_t pixels) {
    gMaxPixels.store(pixels > 0 ? pixels : Bitmap::kDefaultMaxPixels, std::memory_order_relaxed);
}

std::unique_ptr<Bitmap> Bitmap::Create(int width, int height) {
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide)
        return nullptr;
    if (static_cast<int64_t>(width) * height > MaxImagePixels())
        return nullptr;
    std::unique_ptr<Bitmap> bitmap(new Bitmap());
    bitmap->width_ = width;
    bitmap->height_ = height;
    bitmap->stride_ = static_cast<ptrdiff_t>(width) * 4;
    bitmap->data_.reset(new (std::nothrow) uint8_t[static_cast<size_t>(bitmap->stride_) * height]);
    if (!bitmap->data_)
        return nullptr;
    return bitmap;
}

std::unique_ptr<Bitmap> Bitmap::Clone() const {
    std::unique_ptr<Bitmap> copy = Create(width_, height_);
    if (copy)
        memcpy(copy->data_.get(), data_.get(), static_cast<size_t>(stride_) * height_);
    return copy;
}

}  // namespace Vs4Image
