// The engine's own BMP reader: uncompressed and bit-field files of 1, 4, 8,
// 16, 24 and 32 bits, bottom-up or top-down, every offset checked against the
// file's size.
#include <algorithm>
#include <bit>
#include <cstring>

#include "image/codecs/codec.h"

namespace Vs4Image {

namespace {

constexpr uint32_t kBiRgb = 0, kBiBitfields = 3, kBiAlphaBitfields = 6;

uint32_t Le32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24);
}
uint16_t Le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

// One channel described by a bit mask, scaled to 8 bits.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    uint32_t max = 0;
    explicit Channel(uint32_t m) : mask(m) {
        if (m == 0)
            return;
        shift = std::countr_zero(m);
        const int bits = std::min(std::popcount(m >> shift), 16);
        max = (1u << bits) - 1;
    }
    uint8_t Get(uint32_t v) const {
        if (max == 0)
            return 0;
        const uint32_t c = ((v & mask) >> shift) & max;
        return static_cast<uint8_t>((c * 255 + max / 2) / max);
    }
};

struct Header {
    int64_t width = 0;
    int64_t height = 0;  // positive; topDown tells the order
    bool topDown = false;
    int bpp = 0;
    uint32_t compression = kBiRgb;
    uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
    const uint8_t* palette = nullptr;
    int paletteEntrySize = 4;
    uint32_t paletteCount = 0;
    uint64_t pixelOffset = 0;
};

Status ReadHeader(const uint8_t* d, size_t size, Header& h) {
    if (size < 26)
        return GenericError;
    h.pixelOffset = Le32(d + 10);
    const uint32_t infoSize = Le32(d + 14);
    if (infoSize < 12 || 14 + uint64_t(infoSize) > size)
        return GenericError;
    const uint8_t* info = d + 14;
    uint32_t colours = 0;
    uint64_t extraMaskBytes = 0;
    if (infoSize == 12) {
        h.width = Le16(info + 4);
        h.height = Le16(info + 6);
        h.bpp = Le16(info + 10);
        h.paletteEntrySize = 3;
    } else {
        if (infoSize < 40)
            return GenericError;
        h.width = static_cast<int32_t>(Le32(info + 4));
        h.height = static_cast<int32_t>(Le32(info + 8));
        h.bpp = Le16(info + 14);
        h.compression = Le32(info + 16);
        colours = Le32(info + 32);
        const bool fields = h.compression == kBiBitfields || h.compression == kBiAlphaBitfields;
        // Masks live in the larger headers, or right after a 40-byte one.
        uint64_t maskBytes = 0;
        if (infoSize >= 56)
            maskBytes = 16;
        else if (infoSize >= 52)
            maskBytes = 12;
        else if (fields)
            maskBytes = h.compression == kBiAlphaBitfields ? 16 : 12;
        if (14 + 40 + maskBytes > size)
            return GenericError;
        for (uint64_t i = 0; i < maskBytes / 4; ++i)
            h.masks[i] = Le32(info + 40 + 4 * i);
        extraMaskBytes = infoSize == 40 ? maskBytes : 0;
    }
    if (h.height < 0)
        h.topDown = true, h.height = -h.height;
    if (h.width <= 0 || h.height <= 0)
        return GenericError;
    if (h.bpp <= 8) {
        if (h.bpp != 1 && h.bpp != 4 && h.bpp != 8)
            return GenericError;
        h.paletteCount = colours != 0 ? std::min<uint32_t>(colours, 1u << h.bpp) : (1u << h.bpp);
        const uint64_t paletteStart = 14 + uint64_t(infoSize) + extraMaskBytes;
        if (paletteStart + uint64_t(h.paletteCount) * h.paletteEntrySize > size)
            return GenericError;
        h.palette = d + paletteStart;
    } else if (h.bpp != 16 && h.bpp != 24 && h.bpp != 32) {
        return GenericError;
    }
    if (h.compression != kBiRgb && h.compression != kBiBitfields &&
        h.compression != kBiAlphaBitfields)
        return GenericError;  // run-length and embedded JPEG/PNG are not read
    return Ok;
}

void DefaultMasks(Header& h) {
    if (h.compression != kBiRgb && (h.masks[0] | h.masks[1] | h.masks[2]) != 0)
        return;
    if (h.bpp == 16) {
        h.masks[0] = 0x7C00, h.masks[1] = 0x03E0, h.masks[2] = 0x001F, h.masks[3] = 0;
    } else {
        h.masks[0] = 0xFF0000, h.masks[1] = 0xFF00, h.masks[2] = 0xFF, h.masks[3] = 0;
    }
}

void DecodeRow(const Header& h, const uint8_t* src, uint8_t* dst, const Channel ch[4]) {
    for (int64_t x = 0; x < h.width; ++x, dst += 4) {
        if (h.bpp <= 8) {
            const uint64_t bit = uint64_t(x) * h.bpp;
            const uint32_t byte = src[bit / 8];
            const uint32_t index = (byte >> (8 - h.bpp - bit % 8)) & ((1u << h.bpp) - 1);
            if (index < h.paletteCount) {
                memcpy(dst, h.palette + index * h.paletteEntrySize, 3);
            } else {
                dst[0] = dst[1] = dst[2] = 0;
            }
            dst[3] = 255;
            continue;
        }
        if (h.bpp == 24) {
            memcpy(dst, src + x * 3, 3);
            dst[3] = 255;
            continue;
        }
        const uint32_t v = h.bpp == 16 ? Le16(src + x * 2) : Le32(src + x * 4);
        dst[0] = ch[2].Get(v);
        dst[1] = ch[1].Get(v);
        dst[2] = ch[0].Get(v);
        dst[3] = ch[3].mask ? ch[3].Get(v) : 255;
    }
}

}  // namespace

Status DecodeBmp(const uint8_t* data, size_t size, DecodedImage& out) {
    Header h;
    if (Status s = ReadHeader(data, size, h); s != Ok)
        return s;
    if (Status s = CheckDecodeSize(h.width, h.height); s != Ok)
        return s;
    const uint64_t stride = (uint64_t(h.width) * h.bpp + 31) / 32 * 4;
    if (h.pixelOffset > size || stride * uint64_t(h.height) > size - h.pixelOffset)
        return GenericError;  // truncated
    DefaultMasks(h);
    // Plain 32-bit files often carry alpha in the fourth byte; it is used
    // unless it is zero everywhere (then the file means it as padding).
    bool alphaInPadding = false;
    if (h.bpp == 32 && h.compression == kBiRgb) {
        for (int64_t y = 0; y < h.height && !alphaInPadding; ++y) {
            const uint8_t* row = data + h.pixelOffset + stride * y;
            for (int64_t x = 0; x < h.width; ++x)
                if (row[x * 4 + 3] != 0) {
                    alphaInPadding = true;
                    break;
                }
        }
        if (alphaInPadding)
            h.masks[3] = 0xFF000000;
    }
    const Channel ch[4] = {Channel(h.masks[0]), Channel(h.masks[1]), Channel(h.masks[2]),
                           Channel(h.masks[3])};
    out.bitmap = Bitmap::Create(static_cast<int>(h.width), static_cast<int>(h.height));
    if (!out.bitmap)
        return OutOfMemory;
    const PixelView view = out.bitmap->view();
    for (int y = 0; y < view.height; ++y) {
        const int64_t fileRow = h.topDown ? y : h.height - 1 - y;
        DecodeRow(h, data + h.pixelOffset + stride * fileRow, view.row(y), ch);
    }
    return Ok;
}

}  // namespace Vs4Image
