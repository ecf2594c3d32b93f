// Jitter: every pixel takes the value of a random neighbour at most `radius`
// pixels away in each direction.
#pragma once

#include "image/base_image.h"
#include "image/status.h"

namespace Vs4Image {

// radius 2..32 (clamped). Draws two numbers per pixel from this thread's
// generator. OutOfMemory leaves the image unchanged.
Status Jitter(CBaseImage& image, int radius);

}  // namespace Vs4Image
