// GIF decoding with giflib: the first frame only, placed on the logical
// screen, transparent where the frame does not cover it or where its
// transparent colour is. Later frames are never read.
#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "image/codecs/codec.h"

namespace Vs4Image {

namespace {

struct Reader {
    const uint8_t* data;
    size_t size;
    size_t pos;
};

int ReadBytes(GifFileType* gif, GifByteType* buffer, int length) {
    auto* r = static_cast<Reader*>(gif->UserData);
    const size_t n = std::min(static_cast<size_t>(length), r->size - r->pos);
    memcpy(buffer, r->data + r->pos, n);
    r->pos += n;
    return static_cast<int>(n);
}

// Reads extensions up to the first image descriptor; returns the transparent
// colour index of its graphic control block, or -1.
bool SkipToFirstImage(GifFileType* gif, int* transparent) {
    *transparent = -1;
    for (;;) {
        GifRecordType type;
        if (DGifGetRecordType(gif, &type) == GIF_ERROR)
            return false;
        if (type == IMAGE_DESC_RECORD_TYPE)
            return DGifGetImageDesc(gif) != GIF_ERROR;
        if (type != EXTENSION_RECORD_TYPE)
            return false;
        int code = 0;
        GifByteType* ext = nullptr;
        if (DGifGetExtension(gif, &code, &ext) == GIF_ERROR)
            return false;
        if (code == GRAPHICS_EXT_FUNC_CODE && ext != nullptr && ext[0] >= 4) {
            GraphicsControlBlock gcb;
            if (DGifExtensionToGCB(ext[0], ext + 1, &gcb) == GIF_OK)
                *transparent = gcb.TransparentColor;
        }
        while (ext != nullptr)
            if (DGifGetExtensionNext(gif, &ext) == GIF_ERROR)
                return false;
    }
}

void PutLine(const PixelView& canvas, const std::vector<GifPixelType>& line, int left, int y,
             const ColorMapObject* map, int transparent) {
    if (y < 0 || y >= canvas.height)
        return;
    uint8_t* row = canvas.row(y);
    for (int i = 0; i < static_cast<int>(line.size()); ++i) {
        const int x = left + i;
        if (x >= canvas.width)
            break;
        const int index = line[i];
        if (index == transparent || index >= map->ColorCount)
            continue;
        const GifColorType& c = map->Colors[index];
        uint8_t* p = row + x * 4;
        p[0] = c.Blue;
        p[1] = c.Green;
        p[2] = c.Red;
        p[3] = 255;
    }
}

Status DecodeFrame(GifFileType* gif, DecodedImage& out, int transparent) {
    const GifImageDesc& desc = gif->Image;
    const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
    if (map == nullptr || desc.Width <= 0 || desc.Height <= 0)
        return GenericError;
    int width = gif->SWidth > 0 ? gif->SWidth : desc.Left + desc.Width;
    int height = gif->SHeight > 0 ? gif->SHeight : desc.Top + desc.Height;
    if (Status s = CheckDecodeSize(width, height); s != Ok)
        return s;
    if (Status s = CheckDecodeSize(desc.Width, desc.Height); s != Ok)
        return s;
    out.bitmap = Bitmap::Create(width, height);
    if (!out.bitmap)
        return OutOfMemory;
    const PixelView canvas = out.bitmap->view();
    for (int y = 0; y < height; ++y)
        memset(canvas.row(y), 0, static_cast<size_t>(width) * 4);
    std::vector<GifPixelType> line(static_cast<size_t>(desc.Width));
    static const int kStart[4] = {0, 4, 2, 1};
    static const int kStep[4] = {8, 8, 4, 2};
    const int passes = desc.Interlace ? 4 : 1;
    for (int pass = 0; pass < passes; ++pass) {
        const int first = desc.Interlace ? kStart[pass] : 0;
        const int step = desc.Interlace ? kStep[pass] : 1;
        for (int y = first; y < desc.Height; y += step) {
            if (DGifGetLine(gif, line.data(), desc.Width) == GIF_ERROR)
                return GenericError;
            PutLine(canvas, line, desc.Left, desc.Top + y, map, transparent);
        }
    }
    return Ok;
}

}  // namespace

Status DecodeGif(const uint8_t* data, size_t size, DecodedImage& out) {
    Reader reader{data, size, 0};
    int error = 0;
    GifFileType* gif = DGifOpen(&reader, ReadBytes, &error);
    if (gif == nullptr)
        return GenericError;
    int transparent = -1;
    Status status =
        SkipToFirstImage(gif, &transparent) ? DecodeFrame(gif, out, transparent) : GenericError;
    DGifCloseFile(gif, &error);
    if (status != Ok)
        out.bitmap.reset();
    return status;
}

}  // namespace Vs4Image
