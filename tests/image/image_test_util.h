// Helpers for the image engine's tests: file bytes, pixels, patterned images
// and where drawn ink is.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <span>
#include <string>
#include <tuple>
#include <vector>

#include "image/base_image.h"
#include "image/graphics.h"
#include "image/pixel_view.h"
#include "support/pixels.h"
#include "support/shell.h"
#include "support/temp_dir.h"

namespace vstest {

// Bounding box of the ink, inclusive; empty when there is none.
struct InkBox {
    int left = 0, top = 0, right = -1, bottom = -1;
    bool empty() const { return right < left; }
    int width() const { return empty() ? 0 : right - left + 1; }
    int height() const { return empty() ? 0 : bottom - top + 1; }
};

// The box of the pixels whose alpha is at least `minAlpha`.
inline InkBox AlphaInk(const Vs4Image::PixelView& v, int minAlpha = 128) {
    InkBox box{v.width, v.height, -1, -1};
    for (int y = 0; y < v.height; ++y)
        for (int x = 0; x < v.width; ++x)
            if (v.pixel(x, y)[3] >= minAlpha)
                box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x),
                       std::max(box.bottom, y)};
    return box.right < 0 ? InkBox{} : box;
}

// The same for a w x h part of the image, in its own coordinates.
inline InkBox AlphaInk(const Vs4Image::CBaseImage& image, int x, int y, int w, int h,
                       int minAlpha = 1) {
    const Vs4Image::PixelView v = image.view();
    return AlphaInk(Vs4Image::PixelView{v.pixel(x, y), w, h, v.stride}, minAlpha);
}

}  // namespace vstest

namespace VsTest {

using Vs4Image::Argb;
using vstest::Checksum;
using vstest::MakeColourful;
using vstest::MaxDifference;
using vstest::SamePixels;
using vstest::Shell;
using vstest::TempDir;

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
    const std::string text = vstest::ReadFile(path);
    return std::vector<uint8_t>(text.begin(), text.end());
}

// The pixel at (x, y) as an ARGB value, and its channels.
inline Argb (*const At)(const Vs4Image::CBaseImage&, int x, int y) = vstest::PixelAt;
inline void (*const Set)(Vs4Image::CBaseImage&, int x, int y, Argb) = vstest::SetPixel;
inline constexpr auto Alpha = [](Argb c) { return int(c >> 24); };
inline constexpr auto Red = [](Argb c) { return int(c >> 16 & 255); };
inline constexpr auto Green = [](Argb c) { return int(c >> 8 & 255); };
inline constexpr auto Blue = [](Argb c) { return int(c & 255); };
inline Argb Pack(int a, int r, int g, int b) {
    return Argb(a) << 24 | Argb(r) << 16 | Argb(g) << 8 | Argb(b);
}

using Rect = std::tuple<int, int, int, int, Argb>;  // x, y, width, height, colour

// A w x h picture of solid rectangles on `background`, saved as PNG.
inline void SavePicture(const std::string& path, int w, int h, Argb background,
                        std::span<const Rect> rects = {}) {
    Vs4Image::CBaseImage image;
    ASSERT_EQ(image.CreateBlank(w, h, background), Vs4Image::Ok);
    Vs4Image::Graphics g(*image.bitmap());
    for (const auto& [x, y, rw, rh, colour] : rects)
        g.SetRectangle(x, y, rw, rh, colour);
    g.Flush();
    ASSERT_EQ(image.SaveToFile(path, 90, 0), Vs4Image::Ok);
}

using Probe = std::tuple<int, int, Argb>;  // x, y and the colour wanted there

inline void ExpectPixels(const Vs4Image::CBaseImage& image, std::initializer_list<Probe> probes) {
    for (const auto& [x, y, want] : probes)
        EXPECT_EQ(At(image, x, y), want) << x << "," << y;
}

template <typename F>
void Fill(Vs4Image::CBaseImage& image, int w, int h, F colour) {
    ASSERT_EQ(image.CreateBlank(w, h, 0), Vs4Image::Ok);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            Set(image, x, y, colour(x, y));
}

// A w x h gradient whose pixels all differ; alpha varies when `alpha` is set.
inline void MakePattern(Vs4Image::CBaseImage& image, int w, int h, bool alpha) {
    Fill(image, w, h, [alpha](int x, int y) {
        return Pack(alpha ? (x * 7 + y * 13) % 256 : 255, (x * 5) & 255, (y * 3) & 255,
                    (x + y) & 255);
    });
}

// The largest difference of any channel between the image and want(x, y);
// the first few pixels that differ by more than `tolerance` are reported.
template <typename F>
int MaxError(const Vs4Image::CBaseImage& image, F want, int tolerance, const std::string& what) {
    int worst = 0, reported = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const Argb got = At(image, x, y), w = want(x, y);
            int e = 0;
            for (int shift = 0; shift < 32; shift += 8)
                e = std::max(e, std::abs(int(got >> shift & 255) - int(w >> shift & 255)));
            worst = std::max(worst, e);
            if (e > tolerance && ++reported <= 3)
                ADD_FAILURE() << what << " at " << x << "," << y << ": " << std::hex << got
                              << " want " << w;
        }
    return worst;
}

}  // namespace VsTest
