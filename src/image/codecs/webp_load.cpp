// WebP decoding with libwebp (still images; the first frame of an animation
// is not decoded by this reader and gives a decoding status).
#include <webp/decode.h>

#include "image/codecs/codec.h"

namespace Vs4Image {

Status DecodeWebp(const uint8_t* data, size_t size, DecodedImage& out) {
    int width = 0, height = 0;
    if (!WebPGetInfo(data, size, &width, &height))
        return GenericError;
    if (Status s = CheckDecodeSize(width, height); s != Ok)
        return s;
    out.bitmap = Bitmap::Create(width, height);
    if (!out.bitmap)
        return OutOfMemory;
    const size_t bytes = static_cast<size_t>(out.bitmap->stride()) * height;
    if (WebPDecodeBGRAInto(data, size, out.bitmap->data(), bytes,
                           static_cast<int>(out.bitmap->stride())) == nullptr) {
        out.bitmap.reset();
        return GenericError;
    }
    return Ok;
}

}  // namespace Vs4Image
