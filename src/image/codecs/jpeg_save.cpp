// JPEG encoding with libjpeg-turbo, straight into a growable byte buffer.
// Its errors arrive through the setjmp error manager below.
#include <csetjmp>
#include <cstdio>

#include <jerror.h>
#include <jpeglib.h>

#include <new>

#include "image/codecs/codec.h"
#include "image/metadata/exif.h"

namespace Vs4Image {

namespace {

constexpr size_t kChunk = 65536;

struct ErrorManager {
    jpeg_error_mgr pub;
    jmp_buf jump;
};

[[noreturn]] void OnError(j_common_ptr cinfo) {
    longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

void OnOutput(j_common_ptr) {}

// The destination keeps the bytes written so far in the caller's vector and
// grows it a chunk at a time.
struct VectorDestination {
    jpeg_destination_mgr pub;
    std::vector<uint8_t>* out;
};

// Grows the caller's vector by one chunk. An allocation failure must not
// unwind through libjpeg's C frames: it becomes a libjpeg error instead.
void Grow(j_compress_ptr cinfo) {
    auto* d = reinterpret_cast<VectorDestination*>(cinfo->dest);
    const size_t used = d->out->size();
    // The jump out of libjpeg happens after the handler has ended.
    bool grown = true;
    try {
        d->out->resize(used + kChunk);
    } catch (const std::bad_alloc&) {
        grown = false;
    }
    if (!grown)
        ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
    d->pub.next_output_byte = d->out->data() + used;
    d->pub.free_in_buffer = kChunk;
}

void InitDestination(j_compress_ptr cinfo) { Grow(cinfo); }

boolean EmptyBuffer(j_compress_ptr cinfo) {
    // Called when the whole buffer is full, which libjpeg requires to be
    // written out entirely: grow and continue after it.
    Grow(cinfo);
    return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
    auto* d = reinterpret_cast<VectorDestination*>(cinfo->dest);
    d->out->resize(d->out->size() - d->pub.free_in_buffer);
}

void EncodeBody(jpeg_compress_struct& cinfo, const PixelView& image, int quality,
                const std::vector<uint8_t>& exif) {
    cinfo.image_width = static_cast<JDIMENSION>(image.width);
    cinfo.image_height = static_cast<JDIMENSION>(image.height);
    cinfo.input_components = 4;
    // Alpha is not stored: JPEG has no place for it.
    cinfo.in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    if (!exif.empty())
        jpeg_write_marker(&cinfo, JPEG_APP0 + 1, exif.data(), static_cast<unsigned>(exif.size()));
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = image.row(static_cast<int>(cinfo.next_scanline));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
}

}  // namespace

Status EncodeJpeg(const PixelView& image, int quality, const std::vector<PropertyItem>* properties,
                  std::vector<uint8_t>& out) {
    if (image.empty())
        return InvalidParameter;
    if (quality < 0)
        quality = 0;
    if (quality > 100)
        quality = 100;
    std::vector<uint8_t> exif;
    if (properties && !properties->empty())
        exif = BuildExifBlock(*properties);
    const size_t start = out.size();
    jpeg_compress_struct cinfo;
    ErrorManager err;
    VectorDestination dest{};
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = OnError;
    err.pub.output_message = OnOutput;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        out.resize(start);
        return GenericError;
    }
    jpeg_create_compress(&cinfo);
    dest.pub.init_destination = InitDestination;
    dest.pub.empty_output_buffer = EmptyBuffer;
    dest.pub.term_destination = TermDestination;
    dest.out = &out;
    cinfo.dest = &dest.pub;
    EncodeBody(cinfo, image, quality, exif);
    jpeg_destroy_compress(&cinfo);
    return Ok;
}

}  // namespace Vs4Image
