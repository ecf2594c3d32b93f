// Helpers for the image engine's tests: ImageMagick and exiv2 runs that
// produce test files, file bytes, and pixel access (the shared pixel helpers
// of support/pixels.h under the names these tests use).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "image/base_image.h"
#include "support/pixels.h"
#include "support/temp_dir.h"

namespace VsTest {

using Vs4Image::Argb;
using vstest::Checksum;
using vstest::MakeColourful;
using vstest::MaxDifference;
using vstest::SamePixels;
using vstest::TempDir;

// Runs a shell command line; true when it exits with 0.
inline bool Run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

inline bool FileExists(const std::string& path) {
    return std::filesystem::exists(path);
}

// The pixel at (x, y) as an ARGB value, and its channels.
inline uint32_t At(const Vs4Image::CBaseImage& image, int x, int y) {
    return vstest::PixelAt(image, x, y);
}
inline void Set(Vs4Image::CBaseImage& image, int x, int y, uint32_t argb) {
    vstest::SetPixel(image, x, y, argb);
}
inline int Alpha(Argb c) {
    return c >> 24;
}
inline int Red(Argb c) {
    return (c >> 16) & 255;
}
inline int Green(Argb c) {
    return (c >> 8) & 255;
}
inline int Blue(Argb c) {
    return c & 255;
}

// A w x h image whose every pixel differs: a gradient with a varying alpha
// when `alpha` is set, opaque otherwise.
inline void MakePattern(Vs4Image::CBaseImage& image, int w, int h, bool alpha) {
    ASSERT_EQ(image.CreateBlank(w, h, 0xFF000000), Vs4Image::Ok);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint32_t a = alpha ? static_cast<uint32_t>((x * 7 + y * 13) % 256) : 255;
            Set(image, x, y,
                (a << 24) | (uint32_t((x * 5) & 255) << 16) | (uint32_t((y * 3) & 255) << 8) |
                    uint32_t((x + y) & 255));
        }
}

}  // namespace VsTest
