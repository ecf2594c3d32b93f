// Helpers for the command tests: patterned images, a pixel checksum, the
// poster command file, and a runner bound to fixed settings and folders.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "image/base_image.h"
#include "photocmd/param_map.h"
#include "photocmd/run_in_process.h"

namespace vstest {

inline Vs4Image::Argb PixelAt(const Vs4Image::CBaseImage& image, int x, int y) {
    Vs4Image::Argb colour;
    memcpy(&colour, image.view().pixel(x, y), 4);  // B, G, R, A in memory
    return colour;
}

// A w x h opaque image whose neighbouring pixels differ in every channel.
inline void MakeColourful(Vs4Image::CBaseImage& image, int w, int h) {
    ASSERT_EQ(image.CreateBlank(w, h, 0xFF000000), Vs4Image::Ok);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            Vs4Image::Argb c = Vs4Image::MakeArgb(
                255, (x * 37 + y * 11) & 255, (x * 5 + y * 53) & 255, (x * 91 + y * 29 + 7) & 255);
            memcpy(image.view().pixel(x, y), &c, 4);
        }
}

// FNV-1a over every pixel, row by row, mixed with the size.
inline uint64_t Checksum(const Vs4Image::CBaseImage& image) {
    const Vs4Image::PixelView v = image.view();
    uint64_t h = 1469598103934665603ull ^ (uint64_t(v.width) << 32 | uint32_t(v.height));
    for (int y = 0; y < v.height; ++y) {
        const uint8_t* p = v.row(y);
        for (int i = 0; i < v.width * 4; ++i)
            h = (h ^ p[i]) * 1099511628211ull;
    }
    return h;
}

// The poster command file: a resize to the request's w, a caption from its
// title, and a sharpening.
inline const std::string kPosterFile =
    "; poster with a caption\r\n"
    "cmd=resize&w=<%w%>\r\n"
    "cmd=text&text=<%title%>&fontsize=24&color=ffff0000&x=10&y=10\r\n"
    "cmd=sharpen&weight=2\r\n";

// Runs single commands and command files in process with default settings
// and the given folders.
struct InProcessRunner {
    Settings settings;
    Vs4Command::OperationFolders folders;
    Vs4Command::NamedImageTable named;

    int Run(Vs4Image::CBaseImage& image, const std::string& command) {
        return Vs4Command::RunCommandInProcess(named, image, Vs4Command::ParseParams(command),
                                               settings, folders);
    }
    int RunFile(Vs4Image::CBaseImage& image, const Vs4Command::CommandFile& file,
                const std::string& request) {
        return Vs4Command::RunCommandFileInProcess(
            named, image, file, Vs4Command::ParseParams(request), settings, folders);
    }
};

}  // namespace vstest
