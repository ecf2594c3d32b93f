// PNG decoding with libpng's sequential reader and its transformations,
// which turn every layout (grey, palette with tRNS, grey+alpha, 16 bits,
// interlaced) into 8-bit BGRA. Errors arrive through the setjmp below.
#include <png.h>

#include <csetjmp>
#include <cstring>
#include <vector>

#include "image/codecs/codec.h"

namespace Vs4Image {

namespace {

struct MemoryReader {
    const uint8_t* data;
    size_t size;
    size_t offset = 0;
};

void ReadFromMemory(png_structp png, png_bytep out, size_t length) {
    auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
    if (length > reader->size - reader->offset)
        png_error(png, "truncated");
    memcpy(out, reader->data + reader->offset, length);
    reader->offset += length;
}

void OnError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}
void OnWarning(png_structp, png_const_charp) {}

// Asks libpng for 8-bit BGRA whatever the layout. Files without gamma
// information are taken as sRGB, as browsers do (also at 16 bits, which
// libpng would otherwise take as linear light); files with it are converted
// to sRGB.
void SetBgraOutput(png_structp png, png_infop info) {
    const int colourType = png_get_color_type(png, info);
    png_set_gamma(png, PNG_DEFAULT_sRGB, PNG_DEFAULT_sRGB);
    png_set_expand(png);  // palette to RGB, grey below 8 bits to 8, tRNS to alpha
    png_set_scale_16(png);
    if (!(colourType & PNG_COLOR_MASK_COLOR))
        png_set_gray_to_rgb(png);
    if (!(colourType & PNG_COLOR_MASK_ALPHA) && !png_get_valid(png, info, PNG_INFO_tRNS))
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_set_bgr(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
}

// Everything that may jump back lives here, without objects that need
// destructors: what it allocates belongs to the caller.
Status ReadPng(png_structp png, png_infop info, MemoryReader& reader, DecodedImage& out,
               std::vector<png_bytep>& rows) {
    if (setjmp(png_jmpbuf(png)))
        return GenericError;
    png_set_read_fn(png, &reader, ReadFromMemory);
    png_read_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    if (Status s = CheckDecodeSize(width, height); s != Ok)
        return s;
    SetBgraOutput(png, info);
    if (png_get_rowbytes(png, info) != size_t(width) * 4)
        return GenericError;
    out.bitmap = Bitmap::Create(static_cast<int>(width), static_cast<int>(height));
    if (!out.bitmap)
        return OutOfMemory;
    rows.resize(height);
    for (png_uint_32 y = 0; y < height; ++y)
        rows[y] = out.bitmap->data() + size_t(y) * out.bitmap->stride();
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    return Ok;
}

}  // namespace

Status DecodePng(const uint8_t* data, size_t size, DecodedImage& out) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
    if (!png)
        return OutOfMemory;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return OutOfMemory;
    }
    std::vector<png_bytep> rows;
    MemoryReader reader{data, size};
    const Status status = ReadPng(png, info, reader, out, rows);
    png_destroy_read_struct(&png, &info, nullptr);
    if (status != Ok)
        out.bitmap.reset();
    return status;
}

}  // namespace Vs4Image
