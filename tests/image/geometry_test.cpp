// Resize, FitInto, Crop, AutoCrop, Rotate and Flip: sizes, placed pixels and
// statuses.
#include <gtest/gtest.h>

#include "image_test_util.h"

using namespace Vs4Image;
using namespace VsTest;

// A missing side keeps the aspect ratio (truncated, at least 1 pixel);
// `noEnlarge` keeps images that are small enough; both sides given stretch.
TEST(Geometry, ResizeSizeRules) {
    // Size, requested size, no enlarging, the size after and the status.
    const std::tuple<int, int, int, int, bool, int, int, Status> cases[] = {
        {1000, 500, 0, 0, false, 1000, 500, InvalidParameter},
        {1000, 500, -3, 10, false, 1000, 500, InvalidParameter},
        {1000, 500, 2000, 0, true, 1000, 500, Ok},
        {1000, 500, 0, 100, false, 200, 100, Ok},
        {1000, 500, 300, 300, true, 300, 300, Ok},
        {999, 333, 100, 0, false, 100, 33, Ok},
        {1000, 500, 1, 0, false, 1, 1, Ok},  // one pixel wide is a size
        {1, 65535, 0, 50, false, 1, 50, Ok},
        {100, 10, 70000, 10, false, 100, 10, OutOfMemory}};
    for (const auto& [w, h, toW, toH, noEnlarge, wantW, wantH, status] : cases) {
        CBaseImage image;
        ASSERT_EQ(image.CreateBlank(w, h, 0xFF336699), Ok);
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + " to " + std::to_string(toW) +
                     "x" + std::to_string(toH));
        EXPECT_EQ(image.Resize(toW, toH, 7, noEnlarge), status);
        EXPECT_EQ(image.width(), wantW);
        EXPECT_EQ(image.height(), wantH);
    }
    EXPECT_EQ(CBaseImage().Resize(10, 10, 7, false), WrongState);
}

// Covering: 400 x 200 drawn at x = -100, so the box shows columns 250..749.
TEST(Geometry, FitIntoCovers) {
    CBaseImage halves, right;
    ASSERT_EQ(halves.CreateBlank(1000, 500, 0xFF00FF00), Ok);
    ASSERT_EQ(right.CreateBlank(500, 500, 0xFFFF0000), Ok);
    halves.DrawImageAt(right, 500, 0, 255);
    ASSERT_EQ(halves.FitInto(200, 200, false, 5, 0xFF0000FF), Ok);
    MaxError(
        halves, [](int x, int) { return x < 100 ? 0xFF00FF00u : 0xFFFF0000u; }, 0, "cover");
    EXPECT_EQ(halves.FitInto(0, 10, true, 7, 0xFFFFFFFF), InvalidParameter);
    // A transparent source shows the background through it.
    CBaseImage clear;
    ASSERT_EQ(clear.CreateBlank(10, 10, 0), Ok);
    ASSERT_EQ(clear.FitInto(20, 10, true, 7, 0xFFFFFFFF), Ok);
    EXPECT_EQ(At(clear, 10, 5), 0xFFFFFFFFu);
}

// Outside the image the crop shows the background; rectangles missing the
// image, empty or overflowing fail and keep it.
TEST(Geometry, CropInsideOutsideAndBeyond) {
    CBaseImage image, original;
    MakePattern(original, 100, 100, false);
    for (const auto& [cx, cy, w, h, background] : {std::tuple{-10, -10, 50, 50, 0xFFFFFFFFu},
                                                   {90, 95, 20, 10, 0x00FFFFFF},
                                                   {10, 20, 30, 40, 0xFFFFFFFF}}) {
        MakePattern(image, 100, 100, false);
        ASSERT_EQ(image.Crop(cx, cy, w, h, background), Ok);
        ASSERT_EQ(image.width(), w);
        ASSERT_EQ(image.height(), h);
        MaxError(
            image,
            [&](int x, int y) {
                const int sx = cx + x, sy = cy + y;
                const bool in = sx >= 0 && sy >= 0 && sx < 100 && sy < 100;
                return in ? At(original, sx, sy) : (background >> 24 ? background : 0u);
            },
            0, "crop " + std::to_string(cx));
    }
    const std::array<int, 4> refused[] = {
        {100, 0, 10, 10}, {-50, 0, 50, 10},          {0, 0, 0, 10},
        {10, 10, -5, 5},  {2147483600, 0, 1000, 10}, {-2147483600, 0, 2147483647, 10}};
    for (const auto& r : refused) {
        MakePattern(image, 100, 100, false);
        EXPECT_NE(image.Crop(r[0], r[1], r[2], r[3], 0xFFFFFFFF), Ok);
        EXPECT_EQ(image.width(), 100);
    }
    EXPECT_EQ(image.Crop(-10, -10, 70000, 50, 0xFFFFFFFF), OutOfMemory);
}

TEST(Geometry, AutoCropTrimsTheBackgroundAndKeepsMargins) {
    CBaseImage image, inner;
    ASSERT_EQ(inner.CreateBlank(30, 20, 0xFF000000), Ok);
    // Margins stop at the image's edges.
    for (const auto& [x, y, m, w, h] :
         {std::array{20, 10, 5, 40, 30}, {2, 65, 5, 37, 20}, {20, 10, 0, 30, 20}}) {
        ASSERT_EQ(image.CreateBlank(100, 80, 0xFFFFFFFF), Ok);
        image.DrawImageAt(inner, x, y, 255);
        ASSERT_EQ(image.AutoCrop(0xFFFFFFFF, m, m, m, m), Ok);
        EXPECT_EQ(image.width(), w);
        EXPECT_EQ(image.height(), h);
        EXPECT_EQ(At(image, m, m), 0xFF000000u);
    }
    // All background: refused without margins, kept with them.
    ASSERT_EQ(image.CreateBlank(50, 40, 0xFFFFFFFF), Ok);
    EXPECT_EQ(image.AutoCrop(0xFFFFFFFF, 0, 0, 0, 0), InvalidParameter);
    EXPECT_EQ(image.AutoCrop(0xFFFFFFFF, 256, 256, 256, 256), Ok);
    EXPECT_EQ(image.AutoCrop(0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF), Ok);
    EXPECT_EQ(image.width(), 50);
    // Exact comparison: a pixel off by one in alpha is not background.
    Set(image, 7, 2, 0xFEFFFFFF);
    ASSERT_EQ(image.AutoCrop(0xFFFFFFFF, 0, 0, 0, 0), Ok);
    EXPECT_EQ(image.width(), 1);
    EXPECT_EQ(image.height(), 1);
}

// Right angles (counter-clockwise, any multiple of 90, negative ones
// clockwise) and flips move every pixel exactly.
TEST(Geometry, RightAnglesAndFlipsMovePixelsExactly) {
    const int W = 40, H = 30;
    CBaseImage original, image;
    MakePattern(original, W, H, true);
    for (int angle : {90, 450, 180, -180, 270, -90, 360}) {
        const int k = (angle / 90 % 4 + 4) % 4;  // quarter turns counter-clockwise
        MakePattern(image, W, H, true);
        ASSERT_EQ(image.Rotate(angle, 0xFFFFFFFF), Ok);
        ASSERT_EQ(image.width(), k % 2 ? H : W) << angle;
        MaxError(
            image,
            [&](int x, int y) {
                const int sx[] = {x, W - 1 - y, W - 1 - x, y}, sy[] = {y, x, H - 1 - y, H - 1 - x};
                return At(original, sx[k], sy[k]);
            },
            0, "angle " + std::to_string(angle));
    }
    for (const auto& [h, v] : {std::pair{true, false}, {false, true}, {true, true}}) {
        MakePattern(image, W, H, true);
        EXPECT_EQ(image.Flip(h, v), Ok);
        MaxError(
            image, [&](int x, int y) { return At(original, h ? W - 1 - x : x, v ? H - 1 - y : y); },
            0, "flip");
    }
    EXPECT_EQ(CBaseImage().Flip(true, true), Ok);
}
