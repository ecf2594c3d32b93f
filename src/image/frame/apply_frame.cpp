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

std::unique_ptr<Bitmap> CutPiece(const PixelView& picture, const FramePiece& piece) {
    if (piece.width <= 0 || piece.height <= 0)
        return nullptr;
    std::unique_ptr<Bitmap> out = Bitmap::Create(piece.width, piece.height);
    if (!out)
        return nullptr;
    const PixelView v = out->view();
    for (int y = 0; y < v.height; ++y)
        memset(v.row(y), 0, size_t(v.width) * 4);
    // The part of the rectangle that lies inside the picture, in 64 bits so
    // that no sum of template numbers can overflow.
    const int64_t x0 = std::max<int64_t>(piece.x, 0);
    const int64_t y0 = std::max<int64_t>(piece.y, 0);
    const int64_t x1 = std::min<int64_t>(int64_t(piece.x) + piece.width, picture.width);
    const int64_t y1 = std::min<int64_t>(int64_t(piece.y) + piece.height, picture.height);
    if (picture.empty() || x0 >= x1 || y0 >= y1)
        return out;
    for (int64_t y = y0; y < y1; ++y)
        memcpy(v.pixel(int(x0 - piece.x), int(y - piece.y)), picture.pixel(int(x0), int(y)),
               size_t(x1 - x0) * 4);
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
