#include "photocmd/deferred_source.h"

#include <algorithm>
#include <variant>

#include "image/bitmap.h"
#include "image/codecs/probe.h"

namespace Vs4Command {

using Vs4Image::CBaseImage;
using Vs4Image::Status;

namespace {

// The size Resize makes from a full-size picture, or false when it would
// refuse the request (the full decode then reports that).
bool TargetSize(const ResizeOp& op, int64_t W, int64_t H, int64_t& w, int64_t& h) {
    w = op.width;
    h = op.height;
    if (w < 1 && h < 1)
        return false;
    if (h == 0) {
        if (op.noEnlarge)
            w = std::min<int64_t>(w, W);
        h = H * w / W;
    } else if (w == 0) {
        if (op.noEnlarge)
            h = std::min<int64_t>(h, H);
        w = W * h / H;
    }
    return w >= 1 && h >= 1 && w < W && h < H;
}

}  // namespace

Status DeferredSource::Load(CBaseImage& image, std::vector<uint8_t> bytes) {
    bytes_.clear();
    int w = 0, h = 0;
    if (Vs4Image::ProbeJpegSize(bytes.data(), bytes.size(), w, h) &&
        int64_t(w) * h <= Vs4Image::MaxImagePixels() && w <= Vs4Image::Bitmap::kMaxSide &&
        h <= Vs4Image::Bitmap::kMaxSide) {
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
    if (resize && TargetSize(*resize, width_, height_, w, h)) {
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
