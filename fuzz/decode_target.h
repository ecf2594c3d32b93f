// The body of the decoder targets: one format's decoder on the input with a
// small pixel limit, then every pixel of the result read, so that a bitmap
// smaller than its stated size shows as an out-of-bounds read.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "image/bitmap.h"
#include "image/codecs/codec.h"

namespace VsFuzz {

// Big enough for every seed, small enough that a run stays fast.
constexpr int64_t kFuzzMaxPixels = 1 << 20;

// Where the pixel sum goes, so that the reading loop is kept.
inline volatile uint32_t pixelSum;

template <typename Decode>
int DecodeOne(const uint8_t* data, size_t size, Decode decode) {
    static const bool limited = (Vs4Image::SetMaxImagePixels(kFuzzMaxPixels), true);
    (void)limited;
    Vs4Image::DecodedImage image;
    if (decode(data, size, image) != Vs4Image::Ok)
        return 0;
    Check(image.bitmap != nullptr, "a decoded image has a bitmap");
    const Vs4Image::PixelView view = image.bitmap->view();
    Check(view.width > 0 && view.height > 0 && int64_t{view.width} * view.height <= kFuzzMaxPixels,
          "decoded size inside the limit");
    uint32_t sum = 0;
    for (int y = 0; y < view.height; ++y) {
        const uint8_t* row = view.row(y);
        for (int x = 0; x < view.width * 4; ++x)
            sum += row[x];
    }
    pixelSum = sum;
    return 0;
}

}  // namespace VsFuzz
