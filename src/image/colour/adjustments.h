// Tone and colour adjustments of an image, in place; the size never changes
// and alpha is kept.
#pragma once

#include "image/base_image.h"
#include "image/status.h"

namespace Vs4Image {

// Contrast, brightness, saturation, hue and gamma, each -100..100 (clamped
// here); 0 leaves that aspect unchanged. Always Ok.
Status AdjustImage(CBaseImage& image, int contrast, int brightness, int saturation, int hue,
                   int gamma);

// Scales red, green and blue by 1 + percent / 100. The caller clamps the
// percentages when it wants to. Always Ok.
Status AdjustRgb(CBaseImage& image, int red, int green, int blue);

// Levels stretch of red, green and blue from [min, max] (each clamped to
// 0..1), applied twice. GenericError when the image has no pixels.
Status AutoLevel(CBaseImage& image, float min, float max);

// Inverted colours (green keeps a hundredth of the blue input). Always Ok.
Status Negative(CBaseImage& image);

// Brown-toned old-photograph colours. Always Ok.
Status Sepia(CBaseImage& image);

// Grey with the weights 0.3 red, 0.59 green, 0.11 blue. Always Ok.
Status Grayscale(CBaseImage& image);

}  // namespace Vs4Image
