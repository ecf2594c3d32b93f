// Applying the layer operations of a command file. They work on the run's
// LayerSet, not on the line's target.
#include "image/blend/blend_layer.h"
#include "photocmd/apply_ops.h"

namespace Vs4Command {

Status Apply(const LayerNewOp& op, CBaseImage&, ApplyContext& context) {
    if (!context.layers)
        return Vs4Image::WrongState;
    CBaseImage* layer = nullptr;
    Status status = context.layers->NewLayer(op.name, op.bgColor, &layer);
    if (status != Vs4Image::Ok || op.path.empty())
        return status;
    // The picture is stretched over the whole layer. When it cannot be
    // loaded the blank layer stays and the load status is the answer.
    CBaseImage picture;
    status = LoadPictureFile(op.path, picture, context);
    if (status == Vs4Image::Ok)
        layer->DrawImageScaled(picture, layer->width(), layer->height(),
                               static_cast<uint32_t>(op.alpha), 7);
    return status;
}

Status Apply(const LayerCopyOp& op, CBaseImage&, ApplyContext& context) {
    if (!context.layers)
        return Vs4Image::WrongState;
    CBaseImage *source = nullptr, *copy = nullptr;
    Status status = context.layers->NewCopyTarget(op.from, op.name, &source, &copy);
    if (status == Vs4Image::Ok)
        copy->DrawImageAt(*source, 0, 0, static_cast<uint32_t>(op.alpha));
    return status;
}

Status Apply(const LayerBlendOp& op, CBaseImage&, ApplyContext& context) {
    if (!context.layers)
        return Vs4Image::WrongState;
    CBaseImage *layer = nullptr, *base = nullptr;
    Status status = context.layers->BlendPair(op.from, op.to, &layer, &base);
    if (status != Vs4Image::Ok)
        return status;
    return Vs4Image::BlendLayer(*base, *layer, op.method, static_cast<uint32_t>(op.alpha));
}

}  // namespace Vs4Command
