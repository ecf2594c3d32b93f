#include "photocmd/deferred_source.h"

#include <variant>

#include "image/codecs/codec.h"
#include "image/codecs/probe.h"

namespace Vs4Command {

using Vs4Image::CBaseImage;
using Vs4Image::Status;

Status DeferredSource::Load(CBaseImage& image, std::vector<uint8_t> bytes) {
    bytes_.clear();
    int w = 0, h = 0;
    // A picture the limits refuse is decoded at once, so that the load
    // reports it as the full decode does; so is one that does not end with
    // its end-of-image marker, which the decoder refuses as truncated.
    const size_t n = bytes.size();
    const bool ended = n >= 2 && bytes[n - 2] == 0xFF && bytes[n - 1] == 0xD9;
    if (ended && Vs4Image::ProbeJpegSize(bytes.data(), n, w, h) &&
        Vs4Image::CheckDecodeSize(w, h) == Vs4Image::Ok) {
        image.Clear();
        bytes_ = std::move(bytes);
        width_ = w;
        height_ = h;
        return Vs4Image::Ok;
    }
    return image.LoadFromMemory(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

int DeferredSource::width(const CBaseImage& image) const {
    return pending() ? width_ : image.width();
}

int DeferredSource::height(const CBaseImage& image) const {
    return pending() ? height_ : image.height();
}

Status DeferredSource::Realize(CBaseImage& image, Operation* next) {
    if (!pending())
        return Vs4Image::Ok;
    Vs4Image::DecodeHint hint;
    ResizeOp* resize = next ? std::get_if<ResizeOp>(next) : nullptr;
    int64_t w = 0, h = 0;
    // Only a resize that shrinks both sides is decoded reduced; it is given
    // the size Resize would make of the full picture.
    if (resize &&
        Vs4Image::ResizeTargetSize(width_, height_, resize->width, resize->height,
                                   resize->noEnlarge, w, h) &&
        w >= 1 && h >= 1 && w < width_ && h < height_) {
        hint = {static_cast<int>(w), static_cast<int>(h)};
        resize->width = static_cast<int32_t>(w);
        resize->height = static_cast<int32_t>(h);
        resize->noEnlarge = false;
    }
    std::vector<uint8_t> bytes = std::move(bytes_);
    bytes_.clear();
    return image.LoadFromMemory(bytes.data(), static_cast<uint32_t>(bytes.size()), hint);
}

}  // namespace Vs4Command
