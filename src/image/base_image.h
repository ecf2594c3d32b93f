// The one image type: a working bitmap (32-bit BGRA, non-premultiplied), an
// optional pristine copy, and the metadata items of the decoded file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "image/bitmap.h"
#include "image/status.h"

namespace Vs4Image {

// One metadata item, with the EXIF meaning of the types (1 byte, 2 ASCII,
// 3 short, 4 long, 5 rational, 7 undefined, 9 signed long, 10 signed rational).
struct PropertyItem {
    uint32_t id = 0;
    uint16_t type = 0;
    std::vector<uint8_t> value;  // its size is the item's length in bytes
};

class CBaseImage {
public:
    static constexpr uint32_t kKeepPristine = 1;

    CBaseImage();
    virtual ~CBaseImage();
    CBaseImage(const CBaseImage&) = delete;
    CBaseImage& operator=(const CBaseImage&) = delete;

    const std::string& identifier() const { return identifier_; }
    uint32_t flags = 0;      // bit 0: keep a pristine copy after every load or blank creation
    std::string secondText;  // kept for the owner; not read by the engine

    bool HasBitmap() const { return bitmap_ != nullptr; }
    int width() const { return width_; }
    int height() const { return height_; }
    bool hasTransparency() const { return hasTransparency_; }
    // Pixels of the working bitmap; empty view when there is none.
    PixelView view() { return bitmap_ ? bitmap_->view() : PixelView{}; }
    PixelView view() const { return bitmap_ ? bitmap_->view() : PixelView{}; }

    const std::vector<PropertyItem>& properties() const { return properties_; }
    void SetProperties(std::vector<PropertyItem> items) { properties_ = std::move(items); }

    // Releases the bitmap, the pristine copy and the metadata.
    void Clear();
    // Makes `bitmap` the working bitmap (an operation's new result) and reads
    // the size back from it.
    void ReplaceBitmap(std::unique_ptr<Bitmap> bitmap);
    Bitmap* bitmap() { return bitmap_.get(); }
    const Bitmap* bitmap() const { return bitmap_.get(); }

    // A canvas filled with `colour`; transparency is set when its alpha is
    // below 255. OutOfMemory when the size is refused.
    Status CreateBlank(uint32_t width, uint32_t height, Argb colour);

    void KeepPristineCopy();
    void RestorePristineCopy();
    bool HasPristineCopy() const { return pristine_ != nullptr; }

protected:
    // After a successful load: take the decoded bitmap and keep a pristine
    // copy when asked to.
    void AdoptLoaded(std::unique_ptr<Bitmap> bitmap);

private:
    std::string identifier_;
    std::unique_ptr<Bitmap> bitmap_;
    std::unique_ptr<Bitmap> pristine_;
    int width_ = 0;
    int height_ = 0;
    bool hasTransparency_ = false;
    std::vector<PropertyItem> properties_;
};

}  // namespace Vs4Image
