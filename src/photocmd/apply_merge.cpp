// Applying a merge: the overlay comes from one of the connection's images or
// from a file, and is stretched over the target or placed on it.
#include "photocmd/apply_ops.h"
#include "photocmd/merge_placement.h"

namespace Vs4Command {

Status LoadPictureFile(const std::string& path, CBaseImage& image, const ApplyContext& context) {
    if (context.loadMergeFile)
        return context.loadMergeFile(path, image);
    return image.LoadFromFile(path);
}

namespace {

void DrawOverlay(const MergeOp& op, CBaseImage& target, const CBaseImage& overlay) {
    const auto alpha = static_cast<uint32_t>(op.alpha);
    if (op.fit) {
        target.DrawImageScaled(overlay, target.width(), target.height(), alpha,
                               static_cast<uint32_t>(op.itpMode));
        return;
    }
    MergePosition at =
        PlaceMerge(op, target.width(), target.height(), overlay.width(), overlay.height());
    target.DrawImageAt(overlay, at.x, at.y, alpha);
}

}  // namespace

Status Apply(const MergeOp& op, CBaseImage& target, ApplyContext& context) {
    if (op.source == MergeOp::Source::NamedImage) {
        CBaseImage* overlay = nullptr;
        Status status = FindMergeSource(context.namedImages, op.imageName, &overlay);
        if (status == Vs4Image::Ok)
            DrawOverlay(op, target, *overlay);  // the target itself is drawn from a copy
        return status;
    }
    CBaseImage overlay;
    Status status = LoadPictureFile(op.path, overlay, context);
    if (status == Vs4Image::Ok)
        DrawOverlay(op, target, overlay);
    return status;
}

}  // namespace Vs4Command
