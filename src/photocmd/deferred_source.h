// Loading for work that may need only a smaller picture. A JPEG is kept
// encoded and its size read from its header; it is decoded when the first
// operation needs pixels, at a reduced size (DCT scaling) when that operation
// is a resize to a smaller size. Any other first operation, an encode or a
// save decodes the whole picture, so only downscales change their path, and
// a downscale gives the size the full decode would have given.
#pragma once

#include <cstdint>
#include <vector>

#include "image/base_image.h"
#include "image/status.h"
#include "photocmd/operations.h"

namespace Vs4Command {

class DeferredSource {
public:
    // Loads `bytes` into `image`, or keeps them when they can wait. The
    // status is the load's (a kept JPEG whose entropy data later proves
    // corrupt fails at its first operation instead; a truncated one is
    // decoded at once and fails here).
    Vs4Image::Status Load(Vs4Image::CBaseImage& image, std::vector<uint8_t> bytes);

    bool pending() const { return !bytes_.empty(); }
    // The picture's size: from the header while pending, else the image's.
    int width(const Vs4Image::CBaseImage& image) const;
    int height(const Vs4Image::CBaseImage& image) const;

    // Decodes what is pending before `next` runs (null: before an encode or
    // a save). A resize that shrinks is decoded reduced and rewritten with
    // both sides given, so that it makes the full decode's size.
    Vs4Image::Status Realize(Vs4Image::CBaseImage& image, Operation* next);
    // Forgets what is pending (the image is being replaced).
    void Drop() { bytes_.clear(); }

private:
    std::vector<uint8_t> bytes_;
    int width_ = 0;
    int height_ = 0;
};

}  // namespace Vs4Command
