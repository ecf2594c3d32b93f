#include "image/frame/apply_frame.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace Vs4Image {

namespace {

// Templates are a few hundred bytes; anything far larger is not one.
constexpr std::streamoff kMaxTemplateBytes = 1 << 20;

bool ReadTemplateText(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0 || size > kMaxTemplateBytes)
        return false;
    in.seekg(0, std::ios::beg);
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

}  // namespace

FramePieceImage CutPiece(const PixelView& picture, const FramePiece& piece) {
    FramePieceImage out;
    if (piece.width <= 0 || piece.height <= 0 || picture.empty())
        return out;
    // In 64 bits so that no sum of template numbers can overflow.
    const int64_t x0 = std::max<int64_t>(piece.x, 0);
    const int64_t y0 = std::max<int64_t>(piece.y, 0);
    const int64_t x1 = std::min<int64_t>(int64_t(piece.x) + piece.width, picture.width);
    const int64_t y1 = std::min<int64_t>(int64_t(piece.y) + piece.height, picture.height);
    if (x0 >= x1 || y0 >= y1)
        return out;
    out.bitmap = Bitmap::Create(int(x1 - x0), int(y1 - y0));
    if (!out.bitmap)
        return out;
    const PixelView v = out.bitmap->view();
    for (int y = 0; y < v.height; ++y)
        memcpy(v.row(y), picture.pixel(int(x0), int(y0) + y), size_t(v.width) * 4);
    out.offsetX = int(x0 - piece.x);
    out.offsetY = int(y0 - piece.y);
    return out;
}

Status ApplyFrame(CBaseImage& image, const std::string& folder, const std::string& name) {
    if (!image.HasBitmap())
        return WrongState;
    std::string templatePath;
    if (name.empty() || !ResolveFramePath(folder, name + ".xml", templatePath))
        return InvalidParameter;
    std::string xml;
    if (!ReadTemplateText(templatePath, xml))
        return InvalidParameter;
    FrameTemplate frame;
    if (ParseFrameTemplate(xml, frame) != Ok)
        return InvalidParameter;

    std::string picturePath;
    if (frame.kind == kFrameNinePatch) {
        if (!ResolveFramePath(folder, frame.src, picturePath))
            return InvalidParameter;
        return DrawNinePatchFrame(image, frame, picturePath);
    }
    const FrameOverlay& overlay =
        image.width() > image.height() ? frame.horizontal : frame.vertical;
    if (!ResolveFramePath(folder, overlay.src, picturePath))
        return InvalidParameter;
    return DrawOverlayFrame(image, overlay, picturePath);
}

}  // namespace Vs4Image
