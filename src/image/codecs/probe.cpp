#include "image/codecs/probe.h"

namespace Vs4Image {

namespace {

bool IsStartOfFrame(uint8_t marker) {
    // SOF0..SOF15, except DHT (C4), JPG (C8) and DAC (CC).
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

}  // namespace

bool ProbeJpegSize(const uint8_t* data, size_t size, int& width, int& height) {
    if (size < 4 || data[0] != 0xFF || data[1] != 0xD8)
        return false;
    size_t at = 2;
    while (at + 4 <= size) {
        if (data[at] != 0xFF)
            return false;
        const uint8_t marker = data[at + 1];
        if (marker == 0xFF) {  // fill byte
            ++at;
            continue;
        }
        if (marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
            at += 2;  // markers without a length
            continue;
        }
        const size_t length = size_t(data[at + 2]) << 8 | data[at + 3];
        if (length < 2 || marker == 0xD9 || marker == 0xDA)
            return false;  // the image data starts before any frame header
        if (IsStartOfFrame(marker)) {
            if (length < 7 || at + 2 + length > size)
                return false;
            height = data[at + 5] << 8 | data[at + 6];
            width = data[at + 7] << 8 | data[at + 8];
            return width > 0 && height > 0;
        }
        at += 2 + length;
    }
    return false;
}

}  // namespace Vs4Image
