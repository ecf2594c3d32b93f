// The one image type: a working bitmap (32-bit BGRA, non-premultiplied), an
// optional pristine copy, and the metadata items of the decoded file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "image/bitmap.h"
#include "image/pixel_view.h"
#include "image/status.h"

namespace Vs4Image {

// An optional "at least this size" hint for loading: a decoder that can
// decode at a reduced size (JPEG by DCT scaling) may return an image no
// smaller than this in either direction. Zero means full size.
struct DecodeHint {
    int minWidth = 0;
    int minHeight = 0;
};

// One metadata item, with the EXIF meaning of the types (1 byte, 2 ASCII,
// 3 short, 4 long, 5 rational, 7 undefined, 9 signed long, 10 signed rational).
struct PropertyItem {
    uint32_t id = 0;
    uint16_t type = 0;
    std::vector<uint8_t> value;  // its size is the item's length in bytes
};

// The size Resize makes of a `fullWidth` x `fullHeight` image when asked for
// width x height: a 0 side follows from the other (at least one pixel), and
// no-enlarge caps the given side at the current one when the other is 0.
// False when neither side is given.
bool ResizeTargetSize(int64_t fullWidth, int64_t fullHeight, int width, int height, bool noEnlarge,
                      int64_t& w, int64_t& h);

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

    // Loading releases everything first; on failure the object stays empty.
    // FileNotFound, UnknownImageFormat, OutOfMemory (above the pixel limit),
    // GenericError (corrupt or truncated data). `hint` lets a decoder return a
    // smaller image no smaller than the hint (see DecodeHint).
    Status LoadFromFile(const std::string& path, const DecodeHint& hint = {});
    Status LoadFromMemory(const uint8_t* bytes, uint32_t length, const DecodeHint& hint = {});

    // The extension (".jpg", ".jpeg", ".png", ".bmp", any case) chooses the
    // encoder; any other gives InvalidParameter and writes nothing. Quality
    // and metadata are used by JPEG only. WrongState without a bitmap.
    Status SaveToFile(const std::string& path, uint32_t quality, uint32_t keepMetadata);
    // The same with a format name ("jpg", "jpeg", "png", "bmp"), appending
    // the encoded file to `stream`.
    Status SaveToStream(const std::string& format, uint32_t quality, uint32_t keepMetadata,
                        std::vector<uint8_t>& stream);
    // Index of the encoder for a MIME type ("image/bmp", "image/jpeg",
    // "image/png", compared exactly), or -1.
    static int GetEncoderClsid(const std::string& mimeType);

    // Draws `other` at (x, y) at its own size, its alpha scaled by opacity/255.
    void DrawImageAt(const CBaseImage& other, int x, int y, uint32_t opacity);
    // Draws `other` stretched into (0, 0, width, height).
    void DrawImageScaled(const CBaseImage& other, int width, int height, uint32_t opacity,
                         uint32_t interpolationMode);

    // Geometry. Each returns a status and leaves the image unchanged on failure.
    // Resize: 0 for one side derives it from the other (integer, truncated);
    // no-enlarge caps the given side at the current one when the other is 0.
    Status Resize(int width, int height, uint32_t interpolationMode, bool noEnlarge);
    // Scales the image to fit (contain) or cover the box, centred on `background`.
    Status FitInto(int boxWidth, int boxHeight, bool contain, uint32_t interpolationMode,
                   Argb background);
    // Cuts (x, y, width, height); parts outside the image become `background`
    // (left transparent when its alpha is 0).
    Status Crop(int x, int y, int width, int height, Argb background);
    // Trims rows and columns equal to `background`, keeping the given margins.
    Status AutoCrop(Argb background, uint32_t marginLeft, uint32_t marginTop, uint32_t marginRight,
                    uint32_t marginBottom);
    // Turns the image counter-clockwise by `angle` degrees; right angles move
    // pixels exactly, other angles enlarge the canvas onto `background`.
    Status Rotate(int angle, Argb background);
    // Mirrors left-right and/or top-bottom, in place. Always Ok.
    Status Flip(bool horizontal, bool vertical);

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
