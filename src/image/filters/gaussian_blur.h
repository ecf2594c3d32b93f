// Gaussian blur by recursive filtering: the cost per pixel does not depend on
// the radius.
#pragma once

#include "image/base_image.h"
#include "image/status.h"

namespace Vs4Image {

// Blurs down the columns with vradius, then along the rows with hradius
// (each clamped to 1..256; NaN counts as the default 5). All four bytes of a
// pixel are blurred alike. OutOfMemory leaves the image unchanged.
Status GaussianBlur(CBaseImage& image, float hradius, float vradius);

}  // namespace Vs4Image
