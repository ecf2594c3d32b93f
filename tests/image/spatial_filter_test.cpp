#include <gtest/gtest.h>

#include "image/bitmap.h"
#include "image/filters/gaussian_blur.h"
#include "image/filters/jitter.h"
#include "image/filters/oil_paint.h"
#include "image/filters/sharpen.h"
#include "image/filters/smoothing.h"
#include "image_test_util.h"

using namespace Vs4Image;
using namespace VsTest;

TEST(SpatialFilter, SmoothingDarkensTheBorderOnly) {
    CBaseImage image;
    image.CreateBlank(12, 12, 0xC0C8C8C8);  // grey 200, alpha 192
    EXPECT_EQ(Smooth(image, 3), Ok);
    for (int y = 3; y < 9; ++y) {
        for (int x = 3; x < 9; ++x)
            EXPECT_EQ(At(image, x, y), 0xC0C8C8C8u) << x << "," << y;
    }
    EXPECT_EQ(Red(At(image, 0, 0)), 200 * 16 / 49);  // a corner sees 4 x 4 cells
    EXPECT_EQ(Red(At(image, 11, 11)), 200 * 16 / 49);
    EXPECT_EQ(Green(At(image, 1, 1)), 200 * 25 / 49);
    EXPECT_EQ(Blue(At(image, 0, 6)), 200 * 28 / 49);
    EXPECT_EQ(Red(At(image, 6, 2)), 200 * 42 / 49);
    EXPECT_EQ(Alpha(At(image, 0, 0)), 0xC0);
}

TEST(SpatialFilter, SharpenArithmetic) {
    CBaseImage image;
    image.CreateBlank(5, 5, 0xFF646464);
    EXPECT_EQ(Sharpen(image, 1), Ok);  // kernel sum 7: unchanged inside
    EXPECT_EQ(At(image, 2, 2), 0xFF646464u);
    EXPECT_EQ(Red(At(image, 0, 0)), 100 * 12 / 7);  // border: missing -1s brighten

    image.CreateBlank(5, 5, 0xFF6464C8);      // r 100, g 100, b 200
    EXPECT_EQ(Sharpen(image, 5), Ok);         // kernel sum 11
    EXPECT_EQ(At(image, 2, 2), 0xFF9D9DFFu);  // 100 * 11 / 7 = 157, blue clamped

    // A bright dot in grey: centre (15 * 100 - 8 * 50) / 7, neighbour (8 * 50 - 100) / 7;
    // a dark dot in white goes negative and clamps to 0.
    image.CreateBlank(5, 5, 0xFF323232);
    Set(image, 2, 2, 0xFF6464FF);
    EXPECT_EQ(Sharpen(image, 1), Ok);
    EXPECT_EQ(Red(At(image, 2, 2)), 157);
    EXPECT_EQ(Red(At(image, 1, 2)), 42);
    EXPECT_EQ(Blue(At(image, 1, 2)), (8 * 50 - 255) / 7);
    EXPECT_EQ(Blue(At(image, 2, 2)), 255);
    image.CreateBlank(3, 3, 0xFFFFFFFF);
    Set(image, 1, 1, 0xFF000000);
    EXPECT_EQ(Sharpen(image, 1), Ok);
    EXPECT_EQ(At(image, 1, 1), 0xFF000000u);
}

// Each filter's work memory counts against the pixel limit: refused, the
// image keeps its pixels and the status says why (a 20 x 20 image needs
// 400). Without pixels nothing runs.
TEST(SpatialFilter, FailuresLeaveTheImageAndSayWhy) {
    const std::tuple<const char*, int, Status, std::function<Status(CBaseImage&)>> cases[] = {
        {"smooth", 100, OutOfMemory, [](CBaseImage& i) { return Smooth(i, 1); }},
        {"sharpen", 100, OutOfMemory, [](CBaseImage& i) { return Sharpen(i, 3); }},
        {"gaussian", 100, OutOfMemory, [](CBaseImage& i) { return GaussianBlur(i, 5, 5); }},
        {"jitter", 10, OutOfMemory, [](CBaseImage& i) { return Jitter(i, 8); }},
        {"oil paint", 4, InsufficientBuffer, [](CBaseImage& i) { return OilPaint(i, 2); }}};
    CBaseImage image, empty;
    MakeColourful(image, 20, 20);
    const uint64_t before = Checksum(image);
    for (const auto& [name, limit, status, apply] : cases) {
        SetMaxImagePixels(limit);
        EXPECT_EQ(apply(image), status) << name;
        SetMaxImagePixels(Bitmap::kDefaultMaxPixels);
        EXPECT_EQ(Checksum(image), before) << name;
    }
    EXPECT_EQ(GaussianBlur(empty, 5.0f, 5.0f), InvalidParameter);
    VsxImageFilter::CSpatialSmoothing filter(1);
    EXPECT_EQ(filter.Convolve(PixelView{}), 0);
    EXPECT_EQ(filter.status(), InvalidParameter);
    EXPECT_EQ(filter.Convolve(image.view()), 1);
    EXPECT_EQ(filter.status(), Ok);
    EXPECT_NE(Checksum(image), before);
}
