// Drawing a string onto an image: font family, size, style bits, alignment,
// wrapping, vertical lines, right-to-left reading order, colour and one of six
// rendering methods.
#pragma once

#include <cstdint>
#include <string>

#include "image/base_image.h"
#include "image/graphics.h"
#include "image/pixel_view.h"

namespace Vs4Image {

// How a string is set. The size is in points; text is drawn at size *
// 1.3333334 pixels to the em.
struct TextStyle {
    std::string fontName;  // empty or unknown falls back to "Arial"
    float size = 12.0f;
    int32_t style = 0;      // FontStyleBits
    int32_t alignment = 0;  // 0 near, 1 centre, 2 far
    bool wrap = false;
    bool vertical = false;
    bool rightToLeft = false;
};

struct RectF {
    float x = 0;
    float y = 0;
    float width = 0;
    float height = 0;
};

// Rendering methods.
enum TextHint : uint32_t {
    kTextOutlinePath = 0,       // filled anti-aliased outline, no font hinting
    kTextMonoGridFit = 1,       // one bit per pixel, hinted
    kTextMono = 2,              // one bit per pixel
    kTextAntiAliasGridFit = 3,  // grey anti-aliasing, hinted
    kTextAntiAlias = 4,         // grey anti-aliasing
    kTextSubpixelGridFit = 5,   // sub-pixel (RGB stripes) anti-aliasing, hinted
};

constexpr float kPixelsPerPoint = 1.3333334f;

// Lays `text` (UTF-8) out in `rect` and draws it in `colour`. A rectangle
// whose width and height are both 0 lays the text out from (x, y) without
// wrapping or clipping; otherwise the text is clipped to the rectangle. A
// width of 0 alone means no width limit, a height of 0 no height limit.
// A hint above 5 draws as 5. Problems (no bitmap, a size that is not
// positive, rectangle numbers that are not finite or beyond a million
// pixels) leave the text undrawn.
void DrawText(CBaseImage& image, const TextStyle& style, const std::string& text, const RectF& rect,
              Argb colour, uint32_t hint);
// The same onto an open drawing surface.
void DrawText(Graphics& graphics, const TextStyle& style, const std::string& text,
              const RectF& rect, Argb colour, uint32_t hint);

// The size of a string set on one line block (no rectangle, no wrapping), in
// pixels from the layout's top-left corner, and how many of its characters
// no installed font can show (they would be drawn as boxes).
struct TextExtents {
    float inkX = 0;
    float inkY = 0;
    float inkWidth = 0;
    float inkHeight = 0;
    float width = 0;  // the advance of the longest line
    float height = 0;
    int missingGlyphs = 0;
};
TextExtents MeasureText(const TextStyle& style, const std::string& text,
                        uint32_t hint = kTextOutlinePath);

}  // namespace Vs4Image
