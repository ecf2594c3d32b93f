// The per-family appliers behind ApplyOperation, one overload per operation
// value. Each calls the engine with the value's fields and answers its status.
// Included only by the apply_*.cpp files.
#pragma once

#include "photocmd/apply_operation.h"

namespace Vs4Command {

using Vs4Image::CBaseImage;
using Vs4Image::Status;

// Geometry and frames (apply_geometry.cpp).
Status Apply(const ResizeOp& op, CBaseImage& target, ApplyContext& context);
Status Apply(const FitOp& op, CBaseImage& target, ApplyContext& context);
Status Apply(const CropOp& op, CBaseImage& target, ApplyContext& context);
Status Apply(const AutoCropOp& op, CBaseImage& target, ApplyContext& context);
Status Apply(const RotateOp& op, CBaseImage& target, ApplyContext& context);
Status Apply(const FlipOp& op, CBaseImage& target, ApplyContext& context);
Status Apply(const FrameOp& op, CBaseImage& target, ApplyContext& context);
Status Apply(const ReloadOp& op, CBaseImage& target, ApplyContext& context);

// Another image drawn onto the target (apply_merge.cpp).
Status Apply(const MergeOp& op, CBaseImage& target, ApplyContext& context);
// Loads a picture file named by a merge or a new layer, through the run's
// loader when it has one (EXEC2 wraps it in the path's impersonation).
Status LoadPictureFile(const std::string& path, CBaseImage& image, const ApplyContext& context);

// Colour and tone (apply_colour.cpp).
Status Apply(const AdjustOp& op, CBaseImage& target, ApplyContext& context);
Status Apply(const AdjustRgbOp& op, CBaseImage& target, ApplyContext& context);
Status Apply(const AutoLevelOp& op, CBaseImage& target, ApplyContext& context);
Status Apply(const NegativeOp& op, CBaseImage& target, ApplyContext& context);
Status Apply(const SepiaOp& op, CBaseImage& target, ApplyContext& context);
Status Apply(const GrayOp& op, CBaseImage& target, ApplyContext& context);

// Spatial filters and effects (apply_filters.cpp).
Status Apply(const BlurOp& op, CBaseImage& target, ApplyContext& context);
Status Apply(const SmoothOp& op, CBaseImage& target, ApplyContext& context);
Status Apply(const SharpenOp& op, CBaseImage& target, ApplyContext& context);
Status Apply(const JitterOp& op, CBaseImage& target, ApplyContext& context);
Status Apply(const NoiseOp& op, CBaseImage& target, ApplyContext& context);
Status Apply(const OilPaintOp& op, CBaseImage& target, ApplyContext& context);

// Text and verification codes (apply_text.cpp).
Status Apply(const TextOp& op, CBaseImage& target, ApplyContext& context);
Status Apply(const CaptchaOp& op, CBaseImage& target, ApplyContext& context);

// Layers of a command file (apply_layers.cpp).
Status Apply(const LayerNewOp& op, CBaseImage& target, ApplyContext& context);
Status Apply(const LayerCopyOp& op, CBaseImage& target, ApplyContext& context);
Status Apply(const LayerBlendOp& op, CBaseImage& target, ApplyContext& context);

}  // namespace Vs4Command
