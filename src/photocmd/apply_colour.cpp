// Applying the colour and tone adjustments.
#include "image/colour/adjustments.h"
#include "photocmd/apply_ops.h"

namespace Vs4Command {

Status Apply(const AdjustOp& op, CBaseImage& target, ApplyContext&) {
    return Vs4Image::AdjustImage(target, op.contrast, op.brightness, op.saturation, op.hue,
                                 op.gamma);
}

Status Apply(const AdjustRgbOp& op, CBaseImage& target, ApplyContext&) {
    return Vs4Image::AdjustRgb(target, op.red, op.green, op.blue);
}

Status Apply(const AutoLevelOp& op, CBaseImage& target, ApplyContext&) {
    return Vs4Image::AutoLevel(target, op.min, op.max);
}

Status Apply(const NegativeOp&, CBaseImage& target, ApplyContext&) {
    return Vs4Image::Negative(target);
}

Status Apply(const SepiaOp&, CBaseImage& target, ApplyContext&) {
    return Vs4Image::Sepia(target);
}

Status Apply(const GrayOp&, CBaseImage& target, ApplyContext&) {
    return Vs4Image::Grayscale(target);
}

}  // namespace Vs4Command
