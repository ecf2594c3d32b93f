// The named images of one connection: images that later requests on the same
// connection find again by name. Names are compared exactly (case kept, no
// trimming); an empty name is an ordinary name. Used by one request at a
// time, so it needs no lock.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "image/base_image.h"
#include "image/status.h"

namespace Vs4Command {

class NamedImageTable {
public:
    // The image of that name, created empty when absent.
    Vs4Image::CBaseImage& FindOrCreate(const std::string& name);
    // The image of that name, or nullptr.
    Vs4Image::CBaseImage* Find(const std::string& name);

    size_t size() const { return images_.size(); }
    void Clear() { images_.clear(); }

private:
    std::map<std::string, std::unique_ptr<Vs4Image::CBaseImage>> images_;
};

// The overlay of a merge by image name. The lookup adds a missing name as an
// empty image; an image without a bitmap gives InvalidParameter.
Vs4Image::Status FindMergeSource(NamedImageTable& table, const std::string& name,
                                 Vs4Image::CBaseImage** overlay);

}  // namespace Vs4Command
