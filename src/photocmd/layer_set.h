// The layers of one in-process command-file run: "background" is the
// request's own image, every other layer is owned by the set and destroyed
// with it. Names arrive already trimmed and lower-cased (the layer readers
// do that); they are compared exactly.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "image/base_image.h"
#include "image/status.h"

namespace Vs4Command {

class LayerSet {
public:
    static constexpr std::string_view kBackground = "background";

    explicit LayerSet(Vs4Image::CBaseImage& background) : background_(background) {}
    LayerSet(const LayerSet&) = delete;
    LayerSet& operator=(const LayerSet&) = delete;

    Vs4Image::CBaseImage& background() { return background_; }
    // The layer of that name, or nullptr.
    Vs4Image::CBaseImage* Find(std::string_view name);
    // What a line works on: the layer its `layer` value names, when that
    // layer exists, else the background.
    Vs4Image::CBaseImage& Target(std::string_view lineLayer);
    // Number of layers, the background included.
    size_t size() const { return layers_.size() + 1; }

    // layernew: a layer of the background's size filled with `colour`.
    // InvalidParameter for an empty or taken name (the existing layer stays).
    Vs4Image::Status NewLayer(const std::string& name, Vs4Image::Argb colour,
                              Vs4Image::CBaseImage** created);
    // layercopy: a transparent layer `name` of the size of layer `from`, for
    // the caller to draw `from` onto. InvalidParameter for an empty name, a
    // missing `from` or a taken name.
    Vs4Image::Status NewCopyTarget(const std::string& from, const std::string& name,
                                   Vs4Image::CBaseImage** source, Vs4Image::CBaseImage** created);
    // layerblend: both layers. InvalidParameter when one is missing,
    // ValueOverflow when their sizes differ.
    Vs4Image::Status BlendPair(const std::string& from, const std::string& to,
                               Vs4Image::CBaseImage** layer, Vs4Image::CBaseImage** base);

private:
    bool Taken(const std::string& name) const;
    Vs4Image::Status AddBlank(const std::string& name, int width, int height, Vs4Image::Argb colour,
                              Vs4Image::CBaseImage** created);

    Vs4Image::CBaseImage& background_;  // the request's image; never destroyed here
    std::map<std::string, std::unique_ptr<Vs4Image::CBaseImage>> layers_;
};

}  // namespace Vs4Command
