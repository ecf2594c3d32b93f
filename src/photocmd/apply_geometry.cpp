// Applying the operations that change the image's size or shape, the frame
// templates and the return to the image as loaded.
#include "image/frame/apply_frame.h"
#include "photocmd/apply_ops.h"

namespace Vs4Command {

Status Apply(const ResizeOp& op, CBaseImage& target, ApplyContext&) {
    return target.Resize(op.width, op.height, static_cast<uint32_t>(op.itpMode), op.noEnlarge);
}

Status Apply(const FitOp& op, CBaseImage& target, ApplyContext&) {
    return target.FitInto(op.width, op.height, op.contain, static_cast<uint32_t>(op.itpMode),
                          op.bgColor);
}

Status Apply(const CropOp& op, CBaseImage& target, ApplyContext&) {
    return target.Crop(op.x, op.y, op.width, op.height, op.bgColor);
}

Status Apply(const AutoCropOp& op, CBaseImage& target, ApplyContext&) {
    return target.AutoCrop(op.bgColor, static_cast<uint32_t>(op.left),
                           static_cast<uint32_t>(op.top), static_cast<uint32_t>(op.right),
                           static_cast<uint32_t>(op.bottom));
}

Status Apply(const RotateOp& op, CBaseImage& target, ApplyContext&) {
    return target.Rotate(op.degrees, op.bgColor);
}

Status Apply(const FlipOp& op, CBaseImage& target, ApplyContext&) {
    return target.Flip(op.horizontal, op.vertical);
}

Status Apply(const FrameOp& op, CBaseImage& target, ApplyContext&) {
    return Vs4Image::ApplyFrame(target, op.folder, op.name);
}

// Without a kept copy the image stays as it is.
Status Apply(const ReloadOp&, CBaseImage& target, ApplyContext&) {
    target.RestorePristineCopy();
    return Vs4Image::Ok;
}

}  // namespace Vs4Command
