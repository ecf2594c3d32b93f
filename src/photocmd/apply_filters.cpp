// Applying the spatial filters and effects.
#include "image/filters/gaussian_blur.h"
#include "image/filters/jitter.h"
#include "image/filters/noise.h"
#include "image/filters/oil_paint.h"
#include "image/filters/sharpen.h"
#include "image/filters/smoothing.h"
#include "photocmd/apply_ops.h"

namespace Vs4Command {

Status Apply(const BlurOp& op, CBaseImage& target, ApplyContext&) {
    return Vs4Image::GaussianBlur(target, op.hRadius, op.vRadius);
}

Status Apply(const SmoothOp& op, CBaseImage& target, ApplyContext&) {
    return Vs4Image::Smooth(target, op.weight);
}

Status Apply(const SharpenOp& op, CBaseImage& target, ApplyContext&) {
    return Vs4Image::Sharpen(target, op.weight);
}

Status Apply(const JitterOp& op, CBaseImage& target, ApplyContext&) {
    return Vs4Image::Jitter(target, op.radius);
}

Status Apply(const NoiseOp& op, CBaseImage& target, ApplyContext&) {
    return Vs4Image::Noise(target, op.amount);
}

Status Apply(const OilPaintOp& op, CBaseImage& target, ApplyContext&) {
    return Vs4Image::OilPaint(target, op.radius);
}

}  // namespace Vs4Command
