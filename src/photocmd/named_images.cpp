#include "photocmd/named_images.h"

namespace Vs4Command {

using Vs4Image::CBaseImage;

Vs4Image::Status NamedImage::Load(std::vector<uint8_t> bytes) {
    source.Drop();
    if (image.flags & CBaseImage::kKeepPristine)
        return image.LoadFromMemory(bytes.data(), static_cast<uint32_t>(bytes.size()));
    return source.Load(image, std::move(bytes));
}

NamedImage& NamedImageTable::Entry(const std::string& name) {
    std::unique_ptr<NamedImage>& slot = images_[name];
    if (!slot)
        slot = std::make_unique<NamedImage>();
    return *slot;
}

CBaseImage& NamedImageTable::FindOrCreate(const std::string& name) {
    NamedImage& entry = Entry(name);
    entry.source.Realize(entry.image, nullptr);
    return entry.image;
}

CBaseImage* NamedImageTable::Find(const std::string& name) {
    auto it = images_.find(name);
    if (it == images_.end())
        return nullptr;
    it->second->source.Realize(it->second->image, nullptr);
    return &it->second->image;
}

Vs4Image::Status FindMergeSource(NamedImageTable& table, const std::string& name,
                                 CBaseImage** overlay) {
    CBaseImage& image = table.FindOrCreate(name);
    *overlay = image.HasBitmap() ? &image : nullptr;
    return image.HasBitmap() ? Vs4Image::Ok : Vs4Image::InvalidParameter;
}

}  // namespace Vs4Command
