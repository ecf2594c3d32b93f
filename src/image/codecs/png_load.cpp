// PNG decoding through libpng's simplified reader, which turns every layout
// (grey, palette with tRNS, grey+alpha, 16 bits, interlaced) into 8-bit BGRA.
#include <png.h>

#include <cstring>

#include "image/codecs/codec.h"

namespace Vs4Image {

Status DecodePng(const uint8_t* data, size_t size, DecodedImage& out) {
    png_image image;
    memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    // Sixteen-bit files without gamma information are taken as sRGB, as
    // browsers do, rather than as linear light.
    image.flags = PNG_IMAGE_FLAG_16BIT_sRGB;
    if (!png_image_begin_read_from_memory(&image, data, size))
        return GenericError;
    if (Status s = CheckDecodeSize(image.width, image.height); s != Ok) {
        png_image_free(&image);
        return s;
    }
    image.format = PNG_FORMAT_BGRA;
    out.bitmap = Bitmap::Create(static_cast<int>(image.width), static_cast<int>(image.height));
    if (!out.bitmap) {
        png_image_free(&image);
        return OutOfMemory;
    }
    const png_int_32 stride = static_cast<png_int_32>(out.bitmap->stride());
    if (!png_image_finish_read(&image, nullptr, out.bitmap->data(), stride, nullptr)) {
        png_image_free(&image);
        out.bitmap.reset();
        return GenericError;
    }
    return Ok;
}

}  // namespace Vs4Image
