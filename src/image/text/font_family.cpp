#include "image/text/font_family.h"

#include <fontconfig/fontconfig.h>

#include <map>
#include <mutex>

namespace Vs4Image {

bool FamilyHasStyle(const std::vector<FaceStyle>& faces, int32_t style) {
    const bool bold = (style & kFontBold) != 0;
    const bool italic = (style & kFontItalic) != 0;
    for (const FaceStyle& f : faces) {
        if (f.bold == bold && f.italic == italic)
            return true;
        if (!f.bold && !f.italic)
            return true;
    }
    return false;
}

ResolvedFont ResolveFont(FontCatalogue& fonts, const std::string& name, int32_t style) {
    std::string family = name.empty() ? std::string() : fonts.FindFamily(name);
    if (family.empty())
        family = fonts.FindFamily("Arial");
    if (!family.empty()) {
        std::vector<FaceStyle> faces = fonts.Faces(family);
        if (FamilyHasStyle(faces, style))
            return {family, style};
        if (FamilyHasStyle(faces, kFontBold))
            return {family, kFontBold};
    }
    std::string arial = fonts.FindFamily("Arial");
    if (!arial.empty())
        return {arial, style};
    return {fonts.SansSerifFamily(), style};
}

namespace {

bool SameName(const FcChar8* a, const std::string& b) {
    return FcStrCmpIgnoreCase(a, reinterpret_cast<const FcChar8*>(b.c_str())) == 0;
}

// Asks fontconfig which installed family `name` stands for. After
// substitution the pattern's strongly bound family names are the name itself
// and its metric-compatible aliases ("Arial" -> "Liberation Sans"); the weakly
// bound ones are the generic fallbacks every name gets. The name is installed
// when the best match carries one of the strong names.
std::string QueryFamily(const std::string& name) {
    FcPattern* pattern = FcPatternCreate();
    if (!pattern)
        return {};
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(name.c_str()));
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    std::vector<std::string> strong;
    FcValue value;
    FcValueBinding binding;
    for (int i = 0;
         FcPatternGetWithBinding(pattern, FC_FAMILY, i, &value, &binding) == FcResultMatch; ++i) {
        if (value.type == FcTypeString && binding != FcValueBindingWeak)
            strong.emplace_back(reinterpret_cast<const char*>(value.u.s));
    }
    FcResult result;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    std::string found;
    FcChar8* family = nullptr;
    for (int i = 0; match && found.empty() &&
                    FcPatternGetString(match, FC_FAMILY, i, &family) == FcResultMatch;
         ++i) {
        for (const std::string& s : strong) {
            // The font's own spelling of the name that matched: a face may
            // carry several family names ("NanumSquare" and "NanumSquare
            // Bold"), and the one asked for decides which faces belong.
            if (SameName(family, s)) {
                found = reinterpret_cast<const char*>(family);
                break;
            }
        }
    }
    if (match)
        FcPatternDestroy(match);
    FcPatternDestroy(pattern);
    return found;
}

std::vector<FaceStyle> QueryFaces(const std::string& family) {
    std::vector<FaceStyle> faces;
    FcPattern* pattern = FcPatternCreate();
    FcObjectSet* objects = FcObjectSetBuild(FC_WEIGHT, FC_SLANT, nullptr);
    if (pattern && objects) {
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
        if (FcFontSet* set = FcFontList(nullptr, pattern, objects)) {
            for (int i = 0; i < set->nfont; ++i) {
                int weight = FC_WEIGHT_REGULAR;
                int slant = FC_SLANT_ROMAN;
                FcPatternGetInteger(set->fonts[i], FC_WEIGHT, 0, &weight);
                FcPatternGetInteger(set->fonts[i], FC_SLANT, 0, &slant);
                faces.push_back({weight >= FC_WEIGHT_DEMIBOLD, slant != FC_SLANT_ROMAN});
            }
            FcFontSetDestroy(set);
        }
    }
    if (objects)
        FcObjectSetDestroy(objects);
    if (pattern)
        FcPatternDestroy(pattern);
    return faces;
}

std::string QuerySansSerif() {
    std::string family = "sans-serif";
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("sans-serif"));
    if (!pattern)
        return family;
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result;
    if (FcPattern* match = FcFontMatch(nullptr, pattern, &result)) {
        FcChar8* name = nullptr;
        if (FcPatternGetString(match, FC_FAMILY, 0, &name) == FcResultMatch)
            family = reinterpret_cast<const char*>(name);
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    return family;
}

// How many requested family names the catalogue remembers.
constexpr size_t kMaxRememberedNames = 1024;

class FontconfigCatalogue : public FontCatalogue {
public:
    std::string FindFamily(const std::string& name) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            auto it = families_.find(name);
            if (it != families_.end())
                return it->second;
        }
        std::string family = QueryFamily(name);
        std::lock_guard<std::mutex> lock(mutex_);
        // The names come from requests: start over rather than let a client
        // that sends ever new names grow the table without end.
        if (families_.size() >= kMaxRememberedNames)
            families_.clear();
        families_.emplace(name, family);
        return family;
    }

    std::vector<FaceStyle> Faces(const std::string& family) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            auto it = faces_.find(family);
            if (it != faces_.end())
                return it->second;
        }
        std::vector<FaceStyle> faces = QueryFaces(family);
        std::lock_guard<std::mutex> lock(mutex_);
        faces_.emplace(family, faces);
        return faces;
    }

    std::string SansSerifFamily() override {
        std::call_once(sansOnce_, [this] { sansSerif_ = QuerySansSerif(); });
        return sansSerif_;
    }

private:
    std::mutex mutex_;  // guards families_ and faces_
    std::map<std::string, std::string> families_;
    std::map<std::string, std::vector<FaceStyle>> faces_;
    std::once_flag sansOnce_;  // the generic family is looked up once per process
    std::string sansSerif_;
};

}  // namespace

FontCatalogue& SystemFonts() {
    static FontconfigCatalogue catalogue;
    return catalogue;
}

}  // namespace Vs4Image
