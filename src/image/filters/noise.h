// Noise: random, partly transparent coloured dots over every visible pixel.
#pragma once

#include "image/base_image.h"
#include "image/status.h"

namespace Vs4Image {

// amount 0..300 (clamped) sets how opaque the dots may be; 0 leaves the image
// unchanged. Draws four numbers per visible pixel from this thread's
// generator. Fully transparent pixels stay transparent. OutOfMemory leaves
// the image unchanged.
Status Noise(CBaseImage& image, int amount);

}  // namespace Vs4Image
