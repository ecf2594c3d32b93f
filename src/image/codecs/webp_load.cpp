// WebP decoding with libwebp: still images directly, animations through the
// demuxer, keeping the first frame as it shows on the canvas.
#include <webp/decode.h>
#include <webp/demux.h>

#include <cstring>

#include "image/codecs/codec.h"

namespace Vs4Image {

namespace {

Status DecodeFirstFrame(const uint8_t* data, size_t size, DecodedImage& out) {
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options))
        return GenericError;
    options.color_mode = MODE_BGRA;
    options.use_threads = 0;
    const WebPData webp{data, size};
    WebPAnimDecoder* decoder = WebPAnimDecoderNew(&webp, &options);
    if (decoder == nullptr)
        return GenericError;
    Status status = GenericError;
    WebPAnimInfo info;
    uint8_t* frame = nullptr;
    int timestamp = 0;
    if (WebPAnimDecoderGetInfo(decoder, &info) &&
        CheckDecodeSize(info.canvas_width, info.canvas_height) == Ok &&
        WebPAnimDecoderGetNext(decoder, &frame, &timestamp)) {
        out.bitmap = Bitmap::Create(static_cast<int>(info.canvas_width),
                                    static_cast<int>(info.canvas_height));
        status = out.bitmap ? Ok : OutOfMemory;
        if (out.bitmap) {
            const PixelView view = out.bitmap->view();
            for (int y = 0; y < view.height; ++y)
                memcpy(view.row(y), frame + static_cast<size_t>(y) * view.width * 4,
                       static_cast<size_t>(view.width) * 4);
        }
    }
    WebPAnimDecoderDelete(decoder);
    return status;
}

}  // namespace

Status DecodeWebp(const uint8_t* data, size_t size, DecodedImage& out) {
    WebPBitstreamFeatures features;
    if (WebPGetFeatures(data, size, &features) != VP8_STATUS_OK)
        return GenericError;
    // The canvas size is checked before the decoder allocates anything.
    if (Status s = CheckDecodeSize(features.width, features.height); s != Ok)
        return s;
    if (features.has_animation)
        return DecodeFirstFrame(data, size, out);
    out.bitmap = Bitmap::Create(features.width, features.height);
    if (!out.bitmap)
        return OutOfMemory;
    const size_t bytes = static_cast<size_t>(out.bitmap->stride()) * features.height;
    if (WebPDecodeBGRAInto(data, size, out.bitmap->data(), bytes,
                           static_cast<int>(out.bitmap->stride())) == nullptr) {
        out.bitmap.reset();
        return GenericError;
    }
    return Ok;
}

}  // namespace Vs4Image
