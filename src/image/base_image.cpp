#include "image/base_image.h"

#include <cstring>

#include "platform/uuid.h"

namespace Vs4Image {

CBaseImage::CBaseImage() : identifier_(Vs5Platform::NewUuidString()) {}

CBaseImage::~CBaseImage() = default;

void CBaseImage::Clear() {
    bitmap_.reset();
    pristine_.reset();
    width_ = height_ = 0;
    hasTransparency_ = false;
    properties_.clear();
}

void CBaseImage::ReplaceBitmap(std::unique_ptr<Bitmap> bitmap) {
    bitmap_ = std::move(bitmap);
    width_ = bitmap_ ? bitmap_->width() : 0;
    height_ = bitmap_ ? bitmap_->height() : 0;
}

void CBaseImage::AdoptLoaded(std::unique_ptr<Bitmap> bitmap) {
    ReplaceBitmap(std::move(bitmap));
    if (flags & kKeepPristine)
        KeepPristineCopy();
}

Status CBaseImage::CreateBlank(uint32_t width, uint32_t height, Argb colour) {
    Clear();
    if (width == 0 || height == 0)
        return InvalidParameter;
    if (width > static_cast<uint32_t>(Bitmap::kMaxSide) ||
        height > static_cast<uint32_t>(Bitmap::kMaxSide))
        return OutOfMemory;
    std::unique_ptr<Bitmap> canvas =
        Bitmap::Create(static_cast<int>(width), static_cast<int>(height));
    if (!canvas)
        return OutOfMemory;
    PixelView v = canvas->view();
    const uint8_t bgra[4] = {static_cast<uint8_t>(colour), static_cast<uint8_t>(colour >> 8),
                             static_cast<uint8_t>(colour >> 16),
                             static_cast<uint8_t>(colour >> 24)};
    for (int y = 0; y < v.height; ++y) {
        uint8_t* p = v.row(y);
        for (int x = 0; x < v.width; ++x, p += 4)
            memcpy(p, bgra, 4);
    }
    AdoptLoaded(std::move(canvas));
    hasTransparency_ = (colour >> 24) < 255;
    return Ok;
}

void CBaseImage::KeepPristineCopy() {
    if (!bitmap_)
        return;
    std::unique_ptr<Bitmap> copy = bitmap_->Clone();
    if (copy)
        pristine_ = std::move(copy);
}

void CBaseImage::RestorePristineCopy() {
    if (!pristine_)
        return;
    std::unique_ptr<Bitmap> copy = pristine_->Clone();
    if (copy)
        ReplaceBitmap(std::move(copy));
}

}  // namespace Vs4Image
