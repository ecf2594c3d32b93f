// Resize, FitInto, Crop, AutoCrop, Rotate and Flip: sizes, placed pixels and
// statuses.
#include <gtest/gtest.h>

#include "image/base_image.h"
#include "image_test_util.h"

using namespace Vs4Image;
using VsTest::At;

namespace {

void Blank(CBaseImage& image, int w, int h, uint32_t colour = 0xFF336699) {
    ASSERT_EQ(image.CreateBlank(w, h, colour), Ok);
}

}  // namespace

TEST(Geometry, ResizeSizeRules) {
    CBaseImage image;
    Blank(image, 1000, 500);
    EXPECT_EQ(image.Resize(0, 0, 2, false), InvalidParameter);
    EXPECT_EQ(image.Resize(-3, -1, 2, false), InvalidParameter);
    EXPECT_EQ(image.Resize(-3, 10, 2, false), InvalidParameter);
    EXPECT_EQ(image.width(), 1000);
    ASSERT_EQ(image.Resize(300, 0, 2, false), Ok);
    EXPECT_EQ(image.width(), 300);
    EXPECT_EQ(image.height(), 150);
    Blank(image, 1000, 500);
    ASSERT_EQ(image.Resize(2000, 0, 2, true), Ok);
    EXPECT_EQ(image.width(), 1000);
    EXPECT_EQ(image.height(), 500);
    ASSERT_EQ(image.Resize(0, 700, 2, true), Ok);
    EXPECT_EQ(image.height(), 500);
    ASSERT_EQ(image.Resize(0, 100, 2, false), Ok);
    EXPECT_EQ(image.width(), 200);
    ASSERT_EQ(image.Resize(300, 300, 2, true), Ok);  // both given: stretched
    EXPECT_EQ(image.width(), 300);
    EXPECT_EQ(image.height(), 300);
    Blank(image, 999, 333);
    ASSERT_EQ(image.Resize(100, 0, 7, false), Ok);
    EXPECT_EQ(image.height(), 33);  // truncated
    Blank(image, 3000, 2);
    ASSERT_EQ(image.Resize(100, 0, 7, false), Ok);  // the derived height is at least 1
    EXPECT_EQ(image.height(), 1);
    EXPECT_EQ(image.Resize(70000, 10, 7, false), OutOfMemory);
    CBaseImage empty;
    EXPECT_EQ(empty.Resize(10, 10, 7, false), WrongState);
}

TEST(Geometry, FitIntoLetterboxesOrCovers) {
    CBaseImage image;
    Blank(image, 1000, 500, 0xFFFF0000);
    ASSERT_EQ(image.FitInto(200, 200, true, 7, 0xFF0000FF), Ok);
    EXPECT_EQ(image.width(), 200);
    EXPECT_EQ(image.height(), 200);
    EXPECT_EQ(At(image, 100, 49), 0xFF0000FFu);
    EXPECT_EQ(At(image, 100, 50), 0xFFFF0000u);
    EXPECT_EQ(At(image, 0, 50), 0xFFFF0000u);
    EXPECT_EQ(At(image, 199, 149), 0xFFFF0000u);
    EXPECT_EQ(At(image, 100, 150), 0xFF0000FFu);

    // Covering: 400 x 200 drawn at x = -100, so the box shows columns 250..749.
    CBaseImage halves;
    Blank(halves, 1000, 500, 0xFF00FF00);
    CBaseImage right;
    Blank(right, 500, 500, 0xFFFF0000);
    halves.DrawImageAt(right, 500, 0, 255);
    ASSERT_EQ(halves.FitInto(200, 200, false, 5, 0xFF0000FF), Ok);
    EXPECT_EQ(halves.width(), 200);
    EXPECT_EQ(At(halves, 0, 0), 0xFF00FF00u);
    EXPECT_EQ(At(halves, 99, 199), 0xFF00FF00u);
    EXPECT_EQ(At(halves, 100, 0), 0xFFFF0000u);
    EXPECT_EQ(At(halves, 199, 199), 0xFFFF0000u);

    EXPECT_EQ(image.FitInto(0, 10, true, 7, 0xFFFFFFFF), InvalidParameter);
    // A transparent source shows the background through it.
    CBaseImage clear;
    Blank(clear, 10, 10, 0x00000000);
    ASSERT_EQ(clear.FitInto(20, 10, true, 7, 0xFFFFFFFF), Ok);
    EXPECT_EQ(At(clear, 10, 5), 0xFFFFFFFFu);
}

TEST(Geometry, CropInsideOutsideAndBeyond) {
    CBaseImage image;
    VsTest::MakePattern(image, 100, 100, false);
    CBaseImage original;
    VsTest::MakePattern(original, 100, 100, false);

    ASSERT_EQ(image.Crop(-10, -10, 50, 50, 0xFFFFFFFF), Ok);
    ASSERT_EQ(image.width(), 50);
    ASSERT_EQ(image.height(), 50);
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 50; ++x) {
            const uint32_t want = (x < 10 || y < 10) ? 0xFFFFFFFFu : At(original, x - 10, y - 10);
            ASSERT_EQ(At(image, x, y), want) << x << "," << y;
        }

    VsTest::MakePattern(image, 100, 100, false);
    ASSERT_EQ(image.Crop(90, 95, 20, 10, 0x00FFFFFF), Ok);
    EXPECT_EQ(At(image, 0, 0), At(original, 90, 95));
    EXPECT_EQ(At(image, 10, 0), 0u);  // transparent, not white
    EXPECT_EQ(At(image, 0, 5), 0u);

    VsTest::MakePattern(image, 100, 100, false);
    ASSERT_EQ(image.Crop(10, 20, 30, 40, 0xFFFFFFFF), Ok);
    EXPECT_EQ(image.width(), 30);
    EXPECT_EQ(At(image, 29, 39), At(original, 39, 59));

    for (auto r : {std::array<int, 4>{100, 0, 10, 10},
                   {-50, 0, 50, 10},
                   {0, 0, 0, 10},
                   {10, 10, -5, 5},
                   {2147483600, 0, 1000, 10},
                   {-2147483600, 0, 2147483647, 10}}) {
        VsTest::MakePattern(image, 100, 100, false);
        EXPECT_NE(image.Crop(r[0], r[1], r[2], r[3], 0xFFFFFFFF), Ok);
        EXPECT_EQ(image.width(), 100);
    }
    EXPECT_EQ(image.Crop(-10, -10, 70000, 50, 0xFFFFFFFF), OutOfMemory);
}

TEST(Geometry, AutoCropTrimsTheBackgroundAndKeepsMargins) {
    CBaseImage image, inner;
    Blank(image, 100, 80, 0xFFFFFFFF);
    Blank(inner, 30, 20, 0xFF000000);
    image.DrawImageAt(inner, 20, 10, 255);
    ASSERT_EQ(image.AutoCrop(0xFFFFFFFF, 5, 5, 5, 5), Ok);
    EXPECT_EQ(image.width(), 40);
    EXPECT_EQ(image.height(), 30);
    EXPECT_EQ(At(image, 4, 4), 0xFFFFFFFFu);
    EXPECT_EQ(At(image, 5, 5), 0xFF000000u);

    Blank(image, 100, 80, 0xFFFFFFFF);
    image.DrawImageAt(inner, 2, 65, 255);  // margins stop at the edges
    ASSERT_EQ(image.AutoCrop(0xFFFFFFFF, 5, 5, 5, 5), Ok);
    EXPECT_EQ(image.width(), 37);
    EXPECT_EQ(image.height(), 20);

    Blank(image, 50, 40, 0xFFFFFFFF);
    EXPECT_EQ(image.AutoCrop(0xFFFFFFFF, 0, 0, 0, 0), InvalidParameter);
    EXPECT_EQ(image.width(), 50);
    EXPECT_EQ(image.AutoCrop(0xFFFFFFFF, 256, 256, 256, 256), Ok);  // all background, wide margins
    EXPECT_EQ(image.width(), 50);
    Blank(image, 50, 40, 0xFFFFFFFF);
    EXPECT_EQ(image.AutoCrop(0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF), Ok);
    EXPECT_EQ(image.width(), 50);
    // Exact comparison: a pixel off by one in alpha is not background.
    Blank(image, 10, 10, 0xFFFFFFFF);
    VsTest::Set(image, 7, 2, 0xFEFFFFFF);
    ASSERT_EQ(image.AutoCrop(0xFFFFFFFF, 0, 0, 0, 0), Ok);
    EXPECT_EQ(image.width(), 1);
    EXPECT_EQ(image.height(), 1);
}

TEST(Geometry, RotateRightAnglesMovePixelsExactly) {
    CBaseImage original, image;
    VsTest::MakePattern(original, 400, 300, true);
    const int W = 400, H = 300;
    struct Turn {
        int angle;
        int w, h;
    } turns[] = {{90, H, W}, {180, W, H}, {270, H, W}, {450, H, W}, {-180, W, H}};
    for (const Turn& t : turns) {
        VsTest::MakePattern(image, W, H, true);
        ASSERT_EQ(image.Rotate(t.angle, 0xFFFFFFFF), Ok);
        ASSERT_EQ(image.width(), t.w) << t.angle;
        ASSERT_EQ(image.height(), t.h) << t.angle;
    }
    VsTest::MakePattern(image, W, H, true);
    ASSERT_EQ(image.Rotate(90, 0), Ok);  // counter-clockwise: the top-right corner goes top-left
    EXPECT_EQ(At(image, 0, 0), At(original, W - 1, 0));
    EXPECT_EQ(At(image, 0, W - 1), At(original, 0, 0));
    EXPECT_EQ(At(image, 17, 33), At(original, W - 1 - 33, 17));
    VsTest::MakePattern(image, W, H, true);
    ASSERT_EQ(image.Rotate(270, 0), Ok);
    EXPECT_EQ(At(image, 0, 0), At(original, 0, H - 1));
    EXPECT_EQ(At(image, 17, 33), At(original, 33, H - 1 - 17));
    VsTest::MakePattern(image, W, H, true);
    ASSERT_EQ(image.Rotate(180, 0), Ok);
    EXPECT_EQ(At(image, 17, 33), At(original, W - 1 - 17, H - 1 - 33));
    ASSERT_EQ(image.Rotate(360, 0), Ok);
    ASSERT_EQ(image.Rotate(0, 0), Ok);
    EXPECT_EQ(At(image, 17, 33), At(original, W - 1 - 17, H - 1 - 33));
}

TEST(Geometry, RotateFreeAnglesGrowOntoTheBackground) {
    CBaseImage image;
    Blank(image, 400, 300, 0xFF000000);
    ASSERT_EQ(image.Rotate(45, 0xFFFFFFFF), Ok);
    EXPECT_EQ(image.width(), 495);
    EXPECT_EQ(image.height(), 495);
    EXPECT_EQ(At(image, 0, 0), 0xFFFFFFFFu);      // corners are background
    EXPECT_EQ(At(image, 247, 247), 0xFF000000u);  // the middle is the image
    // Counter-clockwise: the top edge now rises to the right, so the upper
    // right part of the box is background and the left middle is image.
    EXPECT_EQ(At(image, 494, 100), 0xFFFFFFFFu);
    Blank(image, 100, 10, 0xFF000000);
    ASSERT_EQ(image.Rotate(30, 0x00000000), Ok);
    EXPECT_EQ(image.width(), 92);              // 100 cos 30 + 10 sin 30 = 91.6
    EXPECT_EQ(image.height(), 59);             // 100 sin 30 + 10 cos 30 = 58.7
    EXPECT_EQ(At(image, 6, 53) >> 24, 0xFFu);  // lower left holds the image's left end
    EXPECT_EQ(At(image, 2, 2), 0u);
}

TEST(Geometry, FlipMirrorsInPlace) {
    CBaseImage original, image;
    VsTest::MakePattern(original, 7, 5, true);
    VsTest::MakePattern(image, 7, 5, true);
    EXPECT_EQ(image.Flip(true, false), Ok);
    EXPECT_EQ(At(image, 0, 1), At(original, 6, 1));
    EXPECT_EQ(image.Flip(false, true), Ok);
    EXPECT_EQ(At(image, 0, 0), At(original, 6, 4));
    VsTest::MakePattern(image, 7, 5, true);
    EXPECT_EQ(image.Flip(true, true), Ok);
    CBaseImage turned;
    VsTest::MakePattern(turned, 7, 5, true);
    ASSERT_EQ(turned.Rotate(180, 0), Ok);
    EXPECT_TRUE(VsTest::SamePixels(image, turned));
    EXPECT_EQ(image.Flip(false, false), Ok);
    CBaseImage empty;
    EXPECT_EQ(empty.Flip(true, true), Ok);
}

// A crop reaching outside an image wider than 32767 pixels (the graphics
// library's largest surface) keeps the image's pixels on the background.
TEST(Geometry, CropOutsideAVeryWideImageKeepsItsPixels) {
    CBaseImage image;
    Blank(image, 40000, 3, 0xFF336699);
    VsTest::Set(image, 39999, 2, 0xFFFF0000);
    ASSERT_EQ(image.Crop(-1, 0, 40002, 4, 0xFFFFFFFF), Ok);
    EXPECT_EQ(image.width(), 40002);
    EXPECT_EQ(At(image, 0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(At(image, 1, 0), 0xFF336699u);
    EXPECT_EQ(At(image, 40000, 2), 0xFFFF0000u);
    EXPECT_EQ(At(image, 40001, 2), 0xFFFFFFFFu);
    EXPECT_EQ(At(image, 5, 3), 0xFFFFFFFFu);

    // Fitting into a box of that width draws too.
    Blank(image, 20000, 1, 0xFF336699);
    ASSERT_EQ(image.FitInto(40000, 4, true, 5, 0xFFFFFFFF), Ok);
    EXPECT_EQ(At(image, 39999, 2), 0xFF336699u);
    EXPECT_EQ(At(image, 0, 0), 0xFFFFFFFFu);
}
