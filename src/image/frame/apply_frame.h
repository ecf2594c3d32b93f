// Decorating an image with a frame template from the frame folder.
#pragma once

#include <memory>
#include <string>

#include "image/base_image.h"
#include "image/bitmap.h"
#include "image/frame/frame_template.h"
#include "image/status.h"

namespace Vs4Image {

// Reads "<folder>/<name>.xml" and draws the frame; the result keeps the
// image's size. Ok; InvalidParameter when the template is missing, not
// well-formed, has no "frame" root, or when the name or a file the template
// names would lie outside the folder; otherwise the status of the failing
// step (a frame picture that cannot be loaded, no bitmap: WrongState). The
// image is unchanged on failure.
Status ApplyFrame(CBaseImage& image, const std::string& folder, const std::string& name);

// The two kinds, on an already read template whose picture files are given
// as full paths.
Status DrawNinePatchFrame(CBaseImage& image, const FrameTemplate& frame,
                          const std::string& framePicturePath);
Status DrawOverlayFrame(CBaseImage& image, const FrameOverlay& overlay,
                        const std::string& overlayPicturePath);

// The part of a piece's rectangle that lies inside the frame picture, and
// where that part sits in the rectangle. A rectangle reaching outside the
// picture is cut to it; the rest of the piece draws nothing.
struct FramePieceImage {
    std::unique_ptr<Bitmap> bitmap;  // null when nothing of the piece is inside
    int offsetX = 0;
    int offsetY = 0;
};
FramePieceImage CutPiece(const PixelView& picture, const FramePiece& piece);

}  // namespace Vs4Image
