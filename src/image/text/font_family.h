// Font selection for drawn text. A requested family that the system does not
// have falls back to "Arial" and then to the generic sans-serif family; a
// requested style that the family cannot give is retried as bold. The font
// rasteriser itself never refuses a family, so these checks are made here,
// against fontconfig's view of the installed fonts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Vs4Image {

// Style bits of a text style record.
enum FontStyleBits : int32_t {
    kFontBold = 1,
    kFontItalic = 2,
    kFontUnderline = 4,
    kFontStrikeout = 8,
};

// One face of a family, reduced to what the style bits can ask for.
struct FaceStyle {
    bool bold = false;
    bool italic = false;
};

// True when a family with these faces can draw `style`: a face with exactly
// its bold and italic bits exists, or a regular face does (bold and italic
// are then synthesised). Underline and strikeout need no face.
bool FamilyHasStyle(const std::vector<FaceStyle>& faces, int32_t style);

// The family and style that text with the requested ones is drawn with.
struct ResolvedFont {
    std::string family;  // an installed family name
    int32_t style = 0;
};

// Installed-font view used by ResolveFont; the real one asks fontconfig.
class FontCatalogue {
public:
    virtual ~FontCatalogue() = default;
    // The installed family that `name` stands for (the name itself or one of
    // its metric-compatible aliases), or "" when the system does not have it.
    virtual std::string FindFamily(const std::string& name) = 0;
    virtual std::vector<FaceStyle> Faces(const std::string& family) = 0;
    // The generic sans-serif family.
    virtual std::string SansSerifFamily() = 0;
};

// The rules: the named family if installed, else "Arial"; the requested style
// if the family has it, else bold; failing both, "Arial" (or, without it, the
// generic sans-serif family) with the requested style.
ResolvedFont ResolveFont(FontCatalogue& fonts, const std::string& name, int32_t style);

// The process-wide catalogue over fontconfig. Its answers are cached; it may
// be used from several threads at once.
FontCatalogue& SystemFonts();

}  // namespace Vs4Image
