// The distorted verification-code image: each character drawn in its own
// square cell in a random dark colour, optionally turned by a random angle,
// with optional random lines and noise over the whole image.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/base_image.h"
#include "image/status.h"

namespace Vs4Image {

enum CaptchaFlags : int32_t {
    kCaptchaRotate = 1,
    kCaptchaNoise = 2,
    kCaptchaLines = 4,
};

struct CaptchaOptions {
    std::string fontName;
    float size = 12.0f;  // points
    int32_t style = 0;   // FontStyleBits
    std::string text;    // UTF-8
    int32_t leftMargin = 0;
    int32_t flags = 0;  // CaptchaFlags
};

// Side of a character cell for a font size in points.
int CaptchaCellSize(float size);

// The characters of a UTF-8 text, one string each (code points; an invalid
// byte counts as one character).
std::vector<std::string> SplitCharacters(const std::string& text);

// Draws onto the image the command holds, which keeps its size; the cells
// start at (leftMargin, 0). Random numbers come from this thread's generator
// in a fixed order, so the same thread state gives the same image.
// WrongState without a bitmap; otherwise Ok (drawing problems are not
// reported).
Status DrawCaptcha(CBaseImage& image, const CaptchaOptions& options);

}  // namespace Vs4Image
