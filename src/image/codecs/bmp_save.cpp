// The engine's own BMP writer: 24-bit for opaque images; 32-bit with an
// alpha mask (BITMAPV4HEADER) when any pixel is not opaque, so transparency
// survives a round trip.
#include <cstring>

#include "image/codecs/codec.h"

namespace Vs4Image {

namespace {

void Put16(std::vector<uint8_t>& v, uint32_t x) {
    v.push_back(static_cast<uint8_t>(x));
    v.push_back(static_cast<uint8_t>(x >> 8));
}

void Put32(std::vector<uint8_t>& v, uint32_t x) {
    Put16(v, x & 0xFFFF);
    Put16(v, x >> 16);
}

bool HasAlpha(const PixelView& image) {
    for (int y = 0; y < image.height; ++y) {
        const uint8_t* p = image.row(y);
        for (int x = 0; x < image.width; ++x)
            if (p[x * 4 + 3] != 255)
                return true;
    }
    return false;
}

}  // namespace

Status EncodeBmp(const PixelView& image, std::vector<uint8_t>& out) {
    if (image.empty())
        return InvalidParameter;
    const bool alpha = HasAlpha(image);
    const uint32_t infoSize = alpha ? 108 : 40;
    const uint64_t stride =
        alpha ? uint64_t(image.width) * 4 : (uint64_t(image.width) * 3 + 3) / 4 * 4;
    const uint64_t pixelBytes = stride * image.height;
    const uint64_t offset = 14 + infoSize;
    if (offset + pixelBytes > 0xFFFFFFFFu)
        return InvalidParameter;
    out.reserve(out.size() + offset + pixelBytes);
    out.push_back('B');
    out.push_back('M');
    Put32(out, static_cast<uint32_t>(offset + pixelBytes));
    Put32(out, 0);
    Put32(out, static_cast<uint32_t>(offset));
    Put32(out, infoSize);
    Put32(out, static_cast<uint32_t>(image.width));
    Put32(out, static_cast<uint32_t>(image.height));  // bottom-up
    Put16(out, 1);
    Put16(out, alpha ? 32 : 24);
    Put32(out, alpha ? 3 : 0);  // BI_BITFIELDS or BI_RGB
    Put32(out, static_cast<uint32_t>(pixelBytes));
    Put32(out, 3780);  // 96 dpi
    Put32(out, 3780);
    Put32(out, 0);
    Put32(out, 0);
    if (alpha) {
        Put32(out, 0x00FF0000);
        Put32(out, 0x0000FF00);
        Put32(out, 0x000000FF);
        Put32(out, 0xFF000000);
        Put32(out, 0x73524742);        // 'sRGB'
        out.insert(out.end(), 48, 0);  // end points and gamma, unused for sRGB
    }
    const size_t rowStart = out.size();
    out.resize(rowStart + pixelBytes, 0);
    for (int y = 0; y < image.height; ++y) {
        const uint8_t* src = image.row(image.height - 1 - y);
        uint8_t* dst = out.data() + rowStart + stride * y;
        if (alpha) {
            memcpy(dst, src, static_cast<size_t>(image.width) * 4);
            continue;
        }
        for (int x = 0; x < image.width; ++x)
            memcpy(dst + x * 3, src + x * 4, 3);
    }
    return Ok;
}

}  // namespace Vs4Image
