// Format detection and the common entry point of the decoders.
#include <cstring>

#include "image/codecs/codec.h"

namespace Vs4Image {

ImageFormat DetectImageFormat(const uint8_t* data, size_t size) {
    auto starts = [&](const char* magic, size_t n, size_t at = 0) {
        return size >= at + n && memcmp(data + at, magic, n) == 0;
    };
    if (starts("\xFF\xD8\xFF", 3))
        return ImageFormat::Jpeg;
    if (starts("\x89PNG\r\n\x1A\n", 8))
        return ImageFormat::Png;
    if (starts("GIF87a", 6) || starts("GIF89a", 6))
        return ImageFormat::Gif;
    // Classic TIFF and BigTIFF, in either byte order.
    if (starts("II*\0", 4) || starts("MM\0*", 4) || starts("II+\0", 4) || starts("MM\0+", 4))
        return ImageFormat::Tiff;
    if (starts("RIFF", 4) && starts("WEBP", 4, 8))
        return ImageFormat::WebP;
    if (starts("BM", 2))
        return ImageFormat::Bmp;
    return ImageFormat::Unknown;
}

Status CheckDecodeSize(int64_t width, int64_t height) {
    if (width <= 0 || height <= 0)
        return GenericError;
    if (width > Bitmap::kMaxSide || height > Bitmap::kMaxSide)
        return OutOfMemory;
    if (width * height > MaxImagePixels())
        return OutOfMemory;
    return Ok;
}

Status DecodeImage(const uint8_t* data, size_t size, const DecodeHint& hint, DecodedImage& out) {
    out = DecodedImage{};
    Status status = UnknownImageFormat;
    switch (DetectImageFormat(data, size)) {
        case ImageFormat::Jpeg:
            status = DecodeJpeg(data, size, hint, out);
            break;
        case ImageFormat::Png:
            status = DecodePng(data, size, out);
            break;
        case ImageFormat::Gif:
            status = DecodeGif(data, size, out);
            break;
        case ImageFormat::Tiff:
            status = DecodeTiff(data, size, out);
            break;
        case ImageFormat::WebP:
            status = DecodeWebp(data, size, out);
            break;
        case ImageFormat::Bmp:
            status = DecodeBmp(data, size, out);
            break;
        case ImageFormat::Unknown:
            break;
    }
    if (status != Ok || !out.bitmap) {
        out = DecodedImage{};
        return status != Ok ? status : GenericError;
    }
    if (out.fullWidth == 0) {
        out.fullWidth = out.bitmap->width();
        out.fullHeight = out.bitmap->height();
    }
    return Ok;
}

}  // namespace Vs4Image
