// Helpers for the image engine's tests: a temporary folder, ImageMagick and
// exiv2 runs that produce test files, and pixel access.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "image/base_image.h"

namespace VsTest {

class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/vs_image_test_XXXXXX";
        path_ = mkdtemp(pattern);
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

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

// The pixel at (x, y) as an ARGB value.
inline uint32_t At(const Vs4Image::CBaseImage& image, int x, int y) {
    uint32_t v;
    memcpy(&v, image.view().pixel(x, y), 4);
    return v;
}

inline void Set(Vs4Image::CBaseImage& image, int x, int y, uint32_t argb) {
    memcpy(image.view().pixel(x, y), &argb, 4);
}

// Largest difference of any channel between two images of equal size.
inline int MaxDifference(const Vs4Image::CBaseImage& a, const Vs4Image::CBaseImage& b) {
    int worst = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const uint8_t* p = a.view().pixel(x, y);
            const uint8_t* q = b.view().pixel(x, y);
            for (int c = 0; c < 4; ++c)
                worst = std::max(worst, std::abs(int(p[c]) - int(q[c])));
        }
    return worst;
}

inline bool SamePixels(const Vs4Image::CBaseImage& a, const Vs4Image::CBaseImage& b) {
    return a.width() == b.width() && a.height() == b.height() && MaxDifference(a, b) == 0;
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
