// Decoders and encoders of the image engine. Every decoder turns file bytes
// into a non-premultiplied BGRA bitmap (first frame or page only) and refuses,
// before allocating, an image above the process-wide pixel limit with
// OutOfMemory. Truncated or corrupt data gives a status, never a partial image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "image/base_image.h"
#include "image/bitmap.h"
#include "image/status.h"

namespace Vs4Image {

enum class ImageFormat { Unknown, Jpeg, Png, Gif, Tiff, WebP, Bmp };

struct DecodedImage {
    std::unique_ptr<Bitmap> bitmap;
    std::vector<PropertyItem> properties;
    int fullWidth = 0;  // size stored in the file, before any reduction
    int fullHeight = 0;
};

// The format named by the first bytes of a file.
ImageFormat DetectImageFormat(const uint8_t* data, size_t size);

// Decodes any supported format; UnknownImageFormat for anything else.
Status DecodeImage(const uint8_t* data, size_t size, const DecodeHint& hint, DecodedImage& out);

Status DecodeJpeg(const uint8_t* data, size_t size, const DecodeHint& hint, DecodedImage& out);
Status DecodePng(const uint8_t* data, size_t size, DecodedImage& out);
Status DecodeGif(const uint8_t* data, size_t size, DecodedImage& out);
Status DecodeTiff(const uint8_t* data, size_t size, DecodedImage& out);
Status DecodeWebp(const uint8_t* data, size_t size, DecodedImage& out);
Status DecodeBmp(const uint8_t* data, size_t size, DecodedImage& out);

// Encoders append the file to `out`. `properties` (may be null) go into a
// JPEG as an EXIF segment.
Status EncodeJpeg(const PixelView& image, int quality, const std::vector<PropertyItem>* properties,
                  std::vector<uint8_t>& out);
Status EncodePng(const PixelView& image, std::vector<uint8_t>& out);
Status EncodeBmp(const PixelView& image, std::vector<uint8_t>& out);

// Reads a whole file: FileNotFound when it does not exist, Win32Error when it
// cannot be read, OutOfMemory when it is longer than 4 GiB.
Status ReadWholeFile(const std::string& path, std::vector<uint8_t>& out);
// Writes a whole file; Win32Error when it cannot be written.
Status WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes);

// Fails when a decoded size is not allowed (non-positive or above the limits).
Status CheckDecodeSize(int64_t width, int64_t height);

}  // namespace Vs4Image
