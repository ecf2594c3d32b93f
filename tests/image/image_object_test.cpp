// The image object: blank canvases, the pristine copy and drawing one image
// onto another.
#include <gtest/gtest.h>

#include <climits>

#include "image_test_util.h"

using namespace Vs4Image;
using namespace VsTest;

TEST(ImageObject, TransparencyFlagAndPristineCopy) {
    CBaseImage image;
    ASSERT_EQ(image.CreateBlank(10, 5, 0x80FFFFFF), Ok);
    EXPECT_TRUE(image.hasTransparency());
    ASSERT_EQ(image.CreateBlank(10, 5, 0xFFFFFFFF), Ok);
    EXPECT_FALSE(image.hasTransparency());
    TempDir dir;
    ASSERT_EQ(image.CreateBlank(3, 3, 0x10203040), Ok);
    ASSERT_EQ(image.SaveToFile(dir / "t.png", 0, 0), Ok);
    ASSERT_EQ(image.LoadFromFile(dir / "t.png"), Ok);
    EXPECT_FALSE(image.hasTransparency());  // loading clears the flag
    EXPECT_EQ(At(image, 1, 1), 0x10203040u);

    CBaseImage plain, kept;
    ASSERT_EQ(plain.CreateBlank(20, 10, 0xFF00FF00), Ok);
    ASSERT_EQ(plain.Resize(5, 0, 7, false), Ok);
    plain.RestorePristineCopy();
    EXPECT_EQ(plain.width(), 5);
    kept.flags = CBaseImage::kKeepPristine;
    ASSERT_EQ(kept.CreateBlank(20, 10, 0xFF00FF00), Ok);
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(kept.Rotate(90, 0xFFFFFFFF), Ok);
        ASSERT_EQ(kept.Crop(0, 0, 3, 3, 0xFFFFFFFF), Ok);
        Set(kept, 0, 0, 0xFF123456);
        kept.RestorePristineCopy();
        EXPECT_EQ(kept.width(), 20);
        EXPECT_EQ(At(kept, 0, 0), 0xFF00FF00u);
    }
}

// Drawing places and clips the image; every pixel outside the drawn area
// stays exactly as it was; placements at the ends of the int range draw
// nothing; scaled drawing stretches over its rectangle without blending the
// edge with anything.
TEST(ImageObject, DrawImageAtAndScaled) {
    CBaseImage base, original, red;
    MakePattern(base, 30, 20, true);
    MakePattern(original, 30, 20, true);
    ASSERT_EQ(red.CreateBlank(4, 4, 0xFFFF0000), Ok);
    base.DrawImageAt(red, -2, 17, 255);
    base.DrawImageAt(red, 10, 10, 200);
    base.DrawImageAt(red, 5, 5, 0);
    for (int far : {INT_MIN, INT_MAX})
        for (int near : {0, -2, INT_MIN, INT_MAX}) {
            base.DrawImageAt(red, far, near, 255);
            base.DrawImageAt(red, near, far, 255);
        }
    MaxError(
        base,
        [&](int x, int y) {
            if (x < 2 && y >= 17)
                return 0xFFFF0000u;
            return x >= 10 && x < 14 && y >= 10 && y < 14 ? At(base, x, y) : At(original, x, y);
        },
        0, "placed");
    base.DrawImageAt(base, 5, 5, 255);  // onto itself
    EXPECT_EQ(At(base, 4, 4), At(original, 4, 4));

    CBaseImage canvas, small;
    ASSERT_EQ(canvas.CreateBlank(40, 20, 0xFFFFFFFF), Ok);
    ASSERT_EQ(small.CreateBlank(2, 2, 0xFF00FF00), Ok);
    canvas.DrawImageScaled(small, 20, 10, 255, 7);
    EXPECT_EQ(At(canvas, 0, 0), 0xFF00FF00u);
    EXPECT_EQ(At(canvas, 19, 9), 0xFF00FF00u);
    EXPECT_EQ(At(canvas, 20, 10), 0xFFFFFFFFu);
    canvas.DrawImageScaled(small, 100, 100, 255, 5);  // larger than the canvas: clipped
    EXPECT_EQ(At(canvas, 39, 19), 0xFF00FF00u);
    ASSERT_EQ(canvas.CreateBlank(40, 20, 0xFFFFFFFF), Ok);
    canvas.DrawImageScaled(small, 40, 20, 64, 3);
    EXPECT_NEAR(Red(At(canvas, 10, 10)), 191, 1);  // 255 - 255 * 64 / 255
}
