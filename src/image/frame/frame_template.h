// Frame templates: XML files in the frame folder that describe either a
// nine-patch border (corner and side pieces cut from one frame image) or a
// picture overlay (a picture of a frame with the quadrilateral the photo goes
// into, one for landscape and one for portrait photos).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "image/status.h"

namespace Vs4Image {

enum FrameKind : int32_t {
    kFrameUnknown = 0,
    kFrameNinePatch = 1,
    kFrameOverlay = 2,
};

// Pieces in the order the template lists them.
enum FramePieceIndex {
    kLeftTop,
    kRightTop,
    kRightBottom,
    kLeftBottom,
    kLeftCenter,
    kTopCenter,
    kRightCenter,
    kBottomCenter,
    kFramePieceCount,
};

// A piece's rectangle in the frame image. drawx and drawy place the inner
// area (lefttop: its left and top edge; rightbottom: the distance from the
// piece's left and top edge to the inner area's right and bottom edge).
struct FramePiece {
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t drawX = 0;
    int32_t drawY = 0;
    bool repeat = false;  // sides: tile instead of stretch
};

// An overlay picture and where the photo's upper-left, upper-right and
// lower-left corners go in it (x4, y4 are read but not used).
struct FrameOverlay {
    std::string src;
    int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0, x3 = 0, y3 = 0, x4 = 0, y4 = 0;
};

struct FrameTemplate {
    FrameKind kind = kFrameUnknown;
    std::string src;  // nine-patch frame image file
    int32_t applyWidth = 0;
    std::array<FramePiece, kFramePieceCount> pieces{};
    FrameOverlay horizontal;  // for landscape photos
    FrameOverlay vertical;    // for portrait and square photos
};

// Reads a template. InvalidParameter when the text is not well-formed XML or
// has no root element "frame". Attribute names are compared lower-cased;
// numbers follow the text-to-integer rule (see TextToInt); a missing element
// leaves its record at zero.
Status ParseFrameTemplate(std::string_view xml, FrameTemplate& out);

// The text-to-integer rule: leading blanks, an optional sign, then decimal
// digits up to the first other character; no digits read as 0; values beyond
// the 32-bit range are held at its ends.
int32_t TextToInt(std::string_view text);

// Joins a file name from a template (or a frame name) to the frame folder.
// Refuses (false) names that are empty, absolute, or step out of the folder
// through "..".
bool ResolveFramePath(const std::string& folder, std::string_view name, std::string& path);

}  // namespace Vs4Image
