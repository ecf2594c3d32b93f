// Reading an image's size from its header without decoding it, for the
// formats whose decoder can return a smaller picture (JPEG, by DCT scaling).
#pragma once

#include <cstddef>
#include <cstdint>

namespace Vs4Image {

// The width and height a JPEG declares in its frame header. False for other
// formats and for headers that cannot be read; the caller then decodes.
bool ProbeJpegSize(const uint8_t* data, size_t size, int& width, int& height);

}  // namespace Vs4Image
