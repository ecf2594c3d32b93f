// JPEG decoding with libjpeg-turbo. Its errors arrive through the setjmp
// error manager below and never leave this file.
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jerror.h>
#include <jpeglib.h>

#include "image/codecs/codec.h"
#include "image/metadata/exif.h"

namespace Vs4Image {

namespace {

// A file with more scans than this is hostile: each scan makes the decoder
// pass over the whole coefficient buffer again.
constexpr int kMaxProgressiveScans = 500;

struct ErrorManager {
    jpeg_error_mgr pub;
    jmp_buf jump;
};

[[noreturn]] void OnError(j_common_ptr cinfo) {
    longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

// Warnings are silent, except those of missing data: libjpeg would pad the
// rest of the image with grey, we refuse the truncated file instead.
void OnMessage(j_common_ptr cinfo, int level) {
    const int code = cinfo->err->msg_code;
    if (level < 0 && (code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER))
        OnError(cinfo);
}

void OnOutput(j_common_ptr) {}

void OnProgress(j_common_ptr cinfo) {
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number > kMaxProgressiveScans)
        OnError(cinfo);
}

// Smallest DCT scale (n/8) that still gives at least the hinted size.
void ChooseScale(jpeg_decompress_struct& cinfo, const DecodeHint& hint) {
    if (hint.minWidth <= 0 && hint.minHeight <= 0)
        return;
    for (unsigned num = 1; num < 8; ++num) {
        const uint64_t w = (static_cast<uint64_t>(cinfo.image_width) * num + 7) / 8;
        const uint64_t h = (static_cast<uint64_t>(cinfo.image_height) * num + 7) / 8;
        if (w >= static_cast<uint64_t>(hint.minWidth) &&
            h >= static_cast<uint64_t>(hint.minHeight)) {
            cinfo.scale_num = num;
            cinfo.scale_denom = 8;
            return;
        }
    }
}

void ReadExif(jpeg_decompress_struct& cinfo, DecodedImage& out) {
    for (jpeg_saved_marker_ptr m = cinfo.marker_list; m != nullptr; m = m->next) {
        if (m->marker == JPEG_APP0 + 1 && m->data_length > 6 &&
            memcmp(m->data, "Exif\0\0", 6) == 0) {
            out.properties = ReadExifProperties(m->data, m->data_length);
            return;
        }
    }
}

// CMYK and YCCK files arrive as CMYK. Adobe's encoder stores the inks
// inverted (0 = full ink), which its APP14 marker tells.
void CmykRowToBgra(const uint8_t* in, uint8_t* out, int width, bool inverted) {
    for (int x = 0; x < width; ++x, in += 4, out += 4) {
        uint32_t c = in[0], m = in[1], y = in[2], k = in[3];
        if (!inverted)
            c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
        out[0] = static_cast<uint8_t>((y * k + 127) / 255);
        out[1] = static_cast<uint8_t>((m * k + 127) / 255);
        out[2] = static_cast<uint8_t>((c * k + 127) / 255);
        out[3] = 255;
    }
}

// The body of the decode; every libjpeg error jumps back to DecodeJpeg.
Status DecodeBody(jpeg_decompress_struct& cinfo, const DecodeHint& hint, DecodedImage& out,
                  std::vector<uint8_t>& cmykRow) {
    jpeg_read_header(&cinfo, TRUE);
    out.fullWidth = static_cast<int>(cinfo.image_width);
    out.fullHeight = static_cast<int>(cinfo.image_height);
    // The full size counts even when decoding smaller: a progressive file
    // keeps coefficients for the whole image.
    if (Status s = CheckDecodeSize(cinfo.image_width, cinfo.image_height); s != Ok)
        return s;
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
    ChooseScale(cinfo, hint);
    jpeg_calc_output_dimensions(&cinfo);
    out.bitmap =
        Bitmap::Create(static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height));
    if (!out.bitmap)
        return OutOfMemory;
    ReadExif(cinfo, out);
    jpeg_start_decompress(&cinfo);
    const PixelView view = out.bitmap->view();
    if (cmyk)
        cmykRow.resize(static_cast<size_t>(view.width) * 4);
    while (cinfo.output_scanline < cinfo.output_height) {
        const int y = static_cast<int>(cinfo.output_scanline);
        JSAMPROW row = cmyk ? cmykRow.data() : view.row(y);
        if (jpeg_read_scanlines(&cinfo, &row, 1) != 1)
            return GenericError;
        if (cmyk)
            CmykRowToBgra(cmykRow.data(), view.row(y), view.width, cinfo.saw_Adobe_marker);
    }
    jpeg_finish_decompress(&cinfo);
    return Ok;
}

}  // namespace

namespace {

// Runs the decoder over complete input; every libjpeg error jumps back here.
Status DecodeComplete(const uint8_t* data, size_t size, const DecodeHint& hint, DecodedImage& out) {
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    jpeg_progress_mgr progress{};
    std::vector<uint8_t> cmykRow;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = OnError;
    err.pub.emit_message = OnMessage;
    err.pub.output_message = OnOutput;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        out.bitmap.reset();
        out.properties.clear();
        return GenericError;
    }
    jpeg_create_decompress(&cinfo);
    progress.progress_monitor = OnProgress;
    cinfo.progress = &progress;
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    jpeg_save_markers(&cinfo, JPEG_APP0 + 1, 0xFFFF);
    const Status status = DecodeBody(cinfo, hint, out, cmykRow);
    jpeg_destroy_decompress(&cinfo);
    if (status != Ok) {
        out.bitmap.reset();
        out.properties.clear();
    }
    return status;
}

}  // namespace

Status DecodeJpeg(const uint8_t* data, size_t size, const DecodeHint& hint, DecodedImage& out) {
    // A file that lacks only its end marker is complete: the marker is
    // supplied, so that the decoder does not take its read-ahead past the
    // last byte for missing data.
    std::vector<uint8_t> completed;
    if (size >= 2 && !(data[size - 2] == 0xFF && data[size - 1] == 0xD9)) {
        completed.reserve(size + 2);
        completed.assign(data, data + size);
        completed.push_back(0xFF);
        completed.push_back(0xD9);
        data = completed.data();
        size = completed.size();
    }
    return DecodeComplete(data, size, hint, out);
}

}  // namespace Vs4Image
