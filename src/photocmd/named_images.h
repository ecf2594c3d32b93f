// The named images of one connection: images that later requests on the same
// connection find again by name. Names are compared exactly (case kept, no
// trimming); an empty name is an ordinary name. Used by one request at a
// time, so it needs no lock.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "image/base_image.h"
#include "image/status.h"
#include "photocmd/deferred_source.h"

namespace Vs4Command {

// A named image and, while its decode can wait, the encoded picture it was
// loaded from (see DeferredSource).
struct NamedImage {
    Vs4Image::CBaseImage image;
    DeferredSource source;

    // Replaces the image with the picture in `bytes`, kept encoded when it
    // can wait. An image that keeps a pristine copy is decoded at once, so
    // that the copy is the whole picture.
    Vs4Image::Status Load(std::vector<uint8_t> bytes);
    // An image holds a picture, decoded or not.
    bool present() const { return image.HasBitmap() || source.pending(); }
    int width() const { return source.width(image); }
    int height() const { return source.height(image); }
};

class NamedImageTable {
public:
    // The entry of that name, created empty when absent; a pending decode
    // stays pending.
    NamedImage& Entry(const std::string& name);
    // The image of that name, created empty when absent, with any pending
    // decode done in full first. A picture that fails to decode leaves the
    // image empty.
    Vs4Image::CBaseImage& FindOrCreate(const std::string& name);
    // The same for an existing name only, or nullptr.
    Vs4Image::CBaseImage* Find(const std::string& name);

    size_t size() const { return images_.size(); }
    void Clear() { images_.clear(); }

private:
    std::map<std::string, std::unique_ptr<NamedImage>> images_;
};

// The overlay of a merge by image name. The lookup adds a missing name as an
// empty image; an image without a bitmap gives InvalidParameter.
Vs4Image::Status FindMergeSource(NamedImageTable& table, const std::string& name,
                                 Vs4Image::CBaseImage** overlay);

}  // namespace Vs4Command
