#include "image/frame/frame_template.h"

#include <pugixml.hpp>

#include <climits>

#include "platform/text.h"

namespace Vs4Image {

namespace {

const char* const kPiecePaths[kFramePieceCount] = {
    "/frame/lefttop",    "/frame/righttop",  "/frame/rightbottom", "/frame/leftbottom",
    "/frame/leftcenter", "/frame/topcenter", "/frame/rightcenter", "/frame/bottomcenter",
};

// The value of the first attribute whose lower-cased name is `name`
// (already lower case), or "" when there is none.
std::string_view Attribute(const pugi::xml_node& node, std::string_view name) {
    for (const pugi::xml_attribute& a : node.attributes()) {
        if (Vs5Platform::AsciiLower(a.name()) == name)
            return a.value();
    }
    return {};
}

int32_t IntAttribute(const pugi::xml_node& node, std::string_view name) {
    return TextToInt(Attribute(node, name));
}

pugi::xml_node Select(const pugi::xml_document& doc, const char* path) {
    return doc.select_node(path).node();
}

FramePiece ReadPiece(const pugi::xml_node& node) {
    FramePiece p;
    if (!node)
        return p;
    p.x = IntAttribute(node, "x");
    p.y = IntAttribute(node, "y");
    p.width = IntAttribute(node, "width");
    p.height = IntAttribute(node, "height");
    p.drawX = IntAttribute(node, "drawx");
    p.drawY = IntAttribute(node, "drawy");
    p.repeat = Vs5Platform::AsciiLower(Attribute(node, "repeat")) == "true";
    return p;
}

FrameOverlay ReadOverlay(const pugi::xml_node& node) {
    FrameOverlay o;
    if (!node)
        return o;
    o.src = std::string(Attribute(node, "src"));
    o.x1 = IntAttribute(node, "x1");
    o.y1 = IntAttribute(node, "y1");
    o.x2 = IntAttribute(node, "x2");
    o.y2 = IntAttribute(node, "y2");
    o.x3 = IntAttribute(node, "x3");
    o.y3 = IntAttribute(node, "y3");
    o.x4 = IntAttribute(node, "x4");
    o.y4 = IntAttribute(node, "y4");
    return o;
}

bool HasAttribute(const pugi::xml_node& node, std::string_view name) {
    for (const pugi::xml_attribute& a : node.attributes()) {
        if (Vs5Platform::AsciiLower(a.name()) == name)
            return true;
    }
    return false;
}

}  // namespace

int32_t TextToInt(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > int64_t(INT_MAX) + 1)
            value = int64_t(INT_MAX) + 1;
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        return INT_MAX;
    return static_cast<int32_t>(value < INT_MIN ? INT_MIN : value);
}

Status ParseFrameTemplate(std::string_view xml, FrameTemplate& out) {
    out = FrameTemplate{};
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_buffer(xml.data(), xml.size());
    if (!parsed)
        return InvalidParameter;
    const pugi::xml_node frame = Select(doc, "/frame");
    if (!frame)
        return InvalidParameter;
    out.applyWidth = IntAttribute(frame, "applywidth");
    if (HasAttribute(frame, "src")) {
        out.kind = kFrameNinePatch;
        out.src = std::string(Attribute(frame, "src"));
        for (int i = 0; i < kFramePieceCount; ++i)
            out.pieces[i] = ReadPiece(Select(doc, kPiecePaths[i]));
    } else {
        out.kind = kFrameOverlay;
        out.horizontal = ReadOverlay(Select(doc, "/frame/horizontal"));
        out.vertical = ReadOverlay(Select(doc, "/frame/vertical"));
    }
    return Ok;
}

bool ResolveFramePath(const std::string& folder, std::string_view name, std::string& path) {
    if (name.empty() || name.front() == '/' || name.find('\0') != std::string_view::npos)
        return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find('/', start);
        if (end == std::string_view::npos)
            end = name.size();
        if (name.substr(start, end - start) == "..")
            return false;
        start = end + 1;
    }
    path = folder;
    if (!path.empty() && path.back() != '/')
        path += '/';
    path += name;
    return true;
}

}  // namespace Vs4Image
