// The TIFF decoder.
#include "decode_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return VsFuzz::DecodeOne(data, size, Vs4Image::DecodeTiff);
}
