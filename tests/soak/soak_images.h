// The pictures the soak sends: good photos made with ImageMagick at a few
// sizes and formats, and hostile files derived from them (cut short, with
// scribbled bytes, random bytes, headers announcing enormous images).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Soak {

struct SoakImage {
    std::string label;
    std::string path;  // the file on disk (GET and EXEC2 by path read it)
    std::vector<uint8_t> bytes;
    // Hostile files the server must refuse with a 2xx status; scribbled
    // copies may still decode, so for them a success is allowed too.
    bool mustFail = false;
};

struct ImageSet {
    std::vector<SoakImage> photos;
    std::vector<SoakImage> hostile;
};

// Writes the set into `folder`; false with `error` when ImageMagick fails.
bool MakeImages(const std::string& folder, ImageSet& set, std::string& error);

}  // namespace Soak
