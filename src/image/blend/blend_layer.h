// Combining a layer with a base image of the same size, pixel by pixel,
// through a named blend mode and an opacity.
#pragma once

#include <cstdint>
#include <string_view>

#include "image/base_image.h"
#include "image/status.h"

namespace Vs4Image {

// True when `method` is one of the eighteen mode names (exact, lower case):
// darken multiply burn lighten screen dodge overlay softlight hardlight
// vividlight linearlight pinlight difference exclusion hue saturation color value.
bool IsBlendMode(std::string_view method);

// Blends `layer` onto `base` in place with the mode `method` and the opacity
// 0..255 (larger values count as 255). Where the layer is transparent the
// base stays; where the base is transparent the layer pixel is taken as it is.
// Any other method draws the layer over the base with the opacity (plain
// alpha compositing). With a mode, a layer smaller than the base changes
// nothing (InvalidParameter); WrongState when either image has no pixels.
Status BlendLayer(CBaseImage& base, const CBaseImage& layer, std::string_view method,
                  uint32_t opacity);

}  // namespace Vs4Image
