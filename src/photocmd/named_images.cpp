#include "photocmd/named_images.h"

namespace Vs4Command {

using Vs4Image::CBaseImage;

CBaseImage& NamedImageTable::FindOrCreate(const std::string& name) {
    std::unique_ptr<CBaseImage>& slot = images_[name];
    if (!slot)
        slot = std::make_unique<CBaseImage>();
    return *slot;
}

CBaseImage* NamedImageTable::Find(const std::string& name) {
    auto it = images_.find(name);
    return it == images_.end() ? nullptr : it->second.get();
}

Vs4Image::Status FindMergeSource(NamedImageTable& table, const std::string& name,
                                 CBaseImage** overlay) {
    CBaseImage& image = table.FindOrCreate(name);
    *overlay = image.HasBitmap() ? &image : nullptr;
    return image.HasBitmap() ? Vs4Image::Ok : Vs4Image::InvalidParameter;
}

}  // namespace Vs4Command
