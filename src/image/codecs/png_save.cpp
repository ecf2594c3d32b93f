// PNG encoding with libpng into a growable byte buffer. Opaque images are
// written as RGB, others as RGBA.
#include <png.h>

#include <csetjmp>
#include <new>

#include "image/codecs/codec.h"

namespace Vs4Image {

namespace {

void WriteToVector(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    // An allocation failure must not unwind through libpng's C frames: it
    // becomes a libpng error, which ends the encoding with a status.
    // The jump out of libpng happens after the handler has ended.
    bool grown = true;
    try {
        out->insert(out->end(), data, data + length);
    } catch (const std::bad_alloc&) {
        grown = false;
    }
    if (!grown)
        png_error(png, "out of memory");
}

void FlushNothing(png_structp) {}

bool IsOpaque(const PixelView& image) {
    for (int y = 0; y < image.height; ++y) {
        const uint8_t* p = image.row(y);
        for (int x = 0; x < image.width; ++x)
            if (p[x * 4 + 3] != 255)
                return false;
    }
    return true;
}

void EncodeBody(png_structp png, png_infop info, const PixelView& image) {
    const bool opaque = IsOpaque(image);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width),
                 static_cast<png_uint_32>(image.height), 8,
                 opaque ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 6);
    png_write_info(png, info);
    png_set_bgr(png);
    // Rows are four bytes a pixel; the filler byte (alpha) is dropped for RGB.
    if (opaque)
        png_set_filler(png, 0, PNG_FILLER_AFTER);
    for (int y = 0; y < image.height; ++y)
        png_write_row(png, image.row(y));
    png_write_end(png, info);
}

}  // namespace

Status EncodePng(const PixelView& image, std::vector<uint8_t>& out) {
    if (image.empty())
        return InvalidParameter;
    const size_t start = out.size();
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png)
        return OutOfMemory;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return OutOfMemory;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        out.resize(start);
        return GenericError;
    }
    png_set_write_fn(png, &out, WriteToVector, FlushNothing);
    EncodeBody(png, info, image);
    png_destroy_write_struct(&png, &info);
    return Ok;
}

}  // namespace Vs4Image
