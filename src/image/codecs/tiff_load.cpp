// TIFF decoding with libtiff from memory: the first page, through libtiff's
// RGBA reader, which handles the common layouts (strips and tiles, grey,
// palette, RGB, CMYK, YCbCr, any compression the library has).
#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <mutex>

#include "image/codecs/codec.h"
#include "image/metadata/exif.h"

namespace Vs4Image {

namespace {

struct MemoryFile {
    const uint8_t* data;
    toff_t size;
    toff_t pos;
};

tsize_t ReadProc(thandle_t h, tdata_t buffer, tsize_t length) {
    auto* f = static_cast<MemoryFile*>(h);
    if (length < 0 || f->pos >= f->size)
        return 0;
    const toff_t n = std::min<toff_t>(static_cast<toff_t>(length), f->size - f->pos);
    memcpy(buffer, f->data + f->pos, n);
    f->pos += n;
    return static_cast<tsize_t>(n);
}

tsize_t WriteProc(thandle_t, tdata_t, tsize_t) {
    return -1;
}

toff_t SeekProc(thandle_t h, toff_t offset, int whence) {
    auto* f = static_cast<MemoryFile*>(h);
    toff_t base = whence == SEEK_CUR ? f->pos : (whence == SEEK_END ? f->size : 0);
    f->pos = base + offset;
    return f->pos;
}

int CloseProc(thandle_t) {
    return 0;
}
toff_t SizeProc(thandle_t h) {
    return static_cast<MemoryFile*>(h)->size;
}
// The bytes are already in memory: libtiff reads them as a mapped file,
// which also lets it accept strips and tiles whose stored byte counts are
// larger than their pixels need.
int MapProc(thandle_t h, tdata_t* base, toff_t* size) {
    auto* f = static_cast<MemoryFile*>(h);
    *base = const_cast<uint8_t*>(f->data);
    *size = f->size;
    return 1;
}
void UnmapProc(thandle_t, tdata_t, toff_t) {}

// libtiff reports through process-wide handlers; the engine reports statuses.
void SilenceLibtiff() {
    static std::once_flag once;
    std::call_once(once, [] {
        TIFFSetErrorHandler(nullptr);
        TIFFSetWarningHandler(nullptr);
    });
}

// The RGBA reader gives bytes R, G, B, A with colour premultiplied by alpha.
void RgbaToBgra(const PixelView& view) {
    for (int y = 0; y < view.height; ++y) {
        uint8_t* p = view.row(y);
        for (int x = 0; x < view.width; ++x, p += 4) {
            const uint32_t a = p[3];
            uint32_t r = p[0], g = p[1], b = p[2];
            if (a != 255 && a != 0) {
                r = std::min<uint32_t>(255, (r * 255 + a / 2) / a);
                g = std::min<uint32_t>(255, (g * 255 + a / 2) / a);
                b = std::min<uint32_t>(255, (b * 255 + a / 2) / a);
            }
            p[0] = static_cast<uint8_t>(b);
            p[1] = static_cast<uint8_t>(g);
            p[2] = static_cast<uint8_t>(r);
        }
    }
}

// The file itself is a TIFF structure; seen through an EXIF header its first
// directory and EXIF sub-directory give the metadata.
void ReadTiffExif(const uint8_t* data, size_t size, DecodedImage& out) {
    std::vector<uint8_t> block(6 + std::min<size_t>(size, 65527));
    memcpy(block.data(), "Exif\0\0", 6);
    memcpy(block.data() + 6, data, block.size() - 6);
    out.properties = ReadExifProperties(block.data(), block.size(), false);
}

}  // namespace

Status DecodeTiff(const uint8_t* data, size_t size, DecodedImage& out) {
    SilenceLibtiff();
    MemoryFile file{data, static_cast<toff_t>(size), 0};
    TIFF* tif = TIFFClientOpen("memory", "r", &file, ReadProc, WriteProc, SeekProc, CloseProc,
                               SizeProc, MapProc, UnmapProc);
    if (tif == nullptr)
        return GenericError;
    uint32_t width = 0, height = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    Status status = CheckDecodeSize(width, height);
    char message[1024];
    if (status == Ok && !TIFFRGBAImageOK(tif, message))
        status = GenericError;
    if (status == Ok) {
        out.bitmap = Bitmap::Create(static_cast<int>(width), static_cast<int>(height));
        if (!out.bitmap)
            status = OutOfMemory;
    }
    if (status == Ok) {
        auto* raster = reinterpret_cast<uint32_t*>(out.bitmap->data());
        if (TIFFReadRGBAImageOriented(tif, width, height, raster, ORIENTATION_TOPLEFT, 0))
            RgbaToBgra(out.bitmap->view());
        else
            status = GenericError;
    }
    TIFFClose(tif);
    if (status != Ok) {
        out.bitmap.reset();
        return status;
    }
    ReadTiffExif(data, size, out);
    return Ok;
}

}  // namespace Vs4Image
