// The JPEG decoder, at full size and, driven by the last input byte, with a
// size hint that lets it decode at a reduced scale.
#include "decode_target.h"
#include "image/codecs/probe.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Vs4Image::DecodeHint hint;
    if (size > 0 && (data[size - 1] & 1)) {
        hint.minWidth = data[size - 1] >> 1;
        hint.minHeight = data[size - 1] >> 2;
    }
    int w = 0, h = 0;
    Vs4Image::ProbeJpegSize(data, size, w, h);
    return VsFuzz::DecodeOne(data, size,
                             [&](const uint8_t* d, size_t n, Vs4Image::DecodedImage& out) {
                                 return Vs4Image::DecodeJpeg(d, n, hint, out);
                             });
}
