// An owned 32-bit BGRA (non-premultiplied) pixel buffer.
#pragma once

#include <cstdint>
#include <memory>

#include "image/pixel_view.h"

namespace Vs4Image {

class Bitmap {
public:
    // Largest width or height, and the largest pixel count a bitmap may have
    // unless the caller asks for less (the configured image limit).
    static constexpr int kMaxSide = 65535;
    static constexpr int64_t kDefaultMaxPixels = 100000000;

    // A new bitmap with undefined content; nullptr when the size is not
    // positive, exceeds the limits or the memory cannot be had.
    static std::unique_ptr<Bitmap> Create(int width, int height);

    int width() const { return width_; }
    int height() const { return height_; }
    ptrdiff_t stride() const { return stride_; }
    uint8_t* data() { return data_.get(); }
    const uint8_t* data() const { return data_.get(); }
    PixelView view() { return PixelView{data_.get(), width_, height_, stride_}; }
    PixelView view() const {
        return PixelView{const_cast<uint8_t*>(data_.get()), width_, height_, stride_};
    }
    std::unique_ptr<Bitmap> Clone() const;

private:
    Bitmap() = default;
    std::unique_ptr<uint8_t[]> data_;
    int width_ = 0;
    int height_ = 0;
    ptrdiff_t stride_ = 0;
};

// The process-wide pixel-count limit for decoded images and blank canvases
// (bombs and absurd canvases are refused with OutOfMemory before allocating).
int64_t MaxImagePixels();
void SetMaxImagePixels(int64_t pixels);

}  // namespace Vs4Image
