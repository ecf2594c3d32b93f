// Hue rotation as a colour matrix: a turn of the colour cube about its grey
// axis that keeps luminance (the weights 0.3086, 0.6094, 0.082).
#pragma once

#include "image/colour/colour_matrix.h"

namespace Vs4Image {

// The matrix turning hues by hue * 1.8 degrees (hue -100..100 is -180..180).
ColourMatrix HueRotation(int hue);

}  // namespace Vs4Image
