#include "photocmd/layer_set.h"

namespace Vs4Command {

using Vs4Image::CBaseImage;
using Vs4Image::Status;

CBaseImage* LayerSet::Find(std::string_view name) {
    if (name == kBackground)
        return &background_;
    auto it = layers_.find(std::string(name));
    return it == layers_.end() ? nullptr : it->second.get();
}

CBaseImage& LayerSet::Target(std::string_view lineLayer) {
    CBaseImage* layer = Find(lineLayer);
    return layer ? *layer : background_;
}

bool LayerSet::Taken(const std::string& name) const {
    return name == kBackground || layers_.count(name) != 0;
}

Status LayerSet::AddBlank(const std::string& name, int width, int height, Vs4Image::Argb colour,
                          CBaseImage** created) {
    auto image = std::make_unique<CBaseImage>();
    Status status = image->CreateBlank(static_cast<uint32_t>(width < 0 ? 0 : width),
                                       static_cast<uint32_t>(height < 0 ? 0 : height), colour);
    if (status != Vs4Image::Ok)
        return status;
    *created = image.get();
    layers_.emplace(name, std::move(image));
    return Vs4Image::Ok;
}

Status LayerSet::NewLayer(const std::string& name, Vs4Image::Argb colour, CBaseImage** created) {
    *created = nullptr;
    if (name.empty() || Taken(name))
        return Vs4Image::InvalidParameter;
    return AddBlank(name, background_.width(), background_.height(), colour, created);
}

Status LayerSet::NewCopyTarget(const std::string& from, const std::string& name,
                               CBaseImage** source, CBaseImage** created) {
    *source = nullptr;
    *created = nullptr;
    CBaseImage* fromLayer = from.empty() ? nullptr : Find(from);
    if (!fromLayer || name.empty() || Taken(name))
        return Vs4Image::InvalidParameter;
    Status status = AddBlank(name, fromLayer->width(), fromLayer->height(), 0, created);
    if (status == Vs4Image::Ok)
        *source = fromLayer;
    return status;
}

Status LayerSet::BlendPair(const std::string& from, const std::string& to, CBaseImage** layer,
                           CBaseImage** base) {
    *layer = nullptr;
    *base = nullptr;
    CBaseImage* fromLayer = Find(from);
    CBaseImage* toLayer = Find(to);
    if (!fromLayer || !toLayer)
        return Vs4Image::InvalidParameter;
    if (fromLayer->width() != toLayer->width() || fromLayer->height() != toLayer->height())
        return Vs4Image::ValueOverflow;
    *layer = fromLayer;
    *base = toLayer;
    return Vs4Image::Ok;
}

}  // namespace Vs4Command
