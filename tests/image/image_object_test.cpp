// The image object: blank canvases, the pristine copy and drawing one image
// onto another.
#include <gtest/gtest.h>

#include <climits>

#include "image/base_image.h"
#include "image_test_util.h"

using namespace Vs4Image;
using VsTest::At;

TEST(ImageObject, BlankCanvasReportsTransparencyByItsAlpha) {
    CBaseImage image;
    ASSERT_EQ(image.CreateBlank(10, 5, 0x80FFFFFF), Ok);
    EXPECT_TRUE(image.hasTransparency());
    EXPECT_EQ(At(image, 9, 4), 0x80FFFFFFu);
    ASSERT_EQ(image.CreateBlank(10, 5, 0xFFFFFFFF), Ok);
    EXPECT_FALSE(image.hasTransparency());

    VsTest::TempDir dir;
    ASSERT_EQ(image.CreateBlank(3, 3, 0x10203040), Ok);
    ASSERT_EQ(image.SaveToFile(dir / "t.png", 0, 0), Ok);
    ASSERT_EQ(image.LoadFromFile(dir / "t.png"), Ok);
    EXPECT_FALSE(image.hasTransparency());  // loading clears the flag
    EXPECT_EQ(At(image, 1, 1), 0x10203040u);
}

TEST(ImageObject, PristineCopyIsKeptOnlyWhenAskedAndRestoredOften) {
    CBaseImage plain;
    ASSERT_EQ(plain.CreateBlank(20, 10, 0xFF00FF00), Ok);
    ASSERT_EQ(plain.Resize(5, 0, 7, false), Ok);
    plain.RestorePristineCopy();
    EXPECT_EQ(plain.width(), 5);

    CBaseImage kept;
    kept.flags = CBaseImage::kKeepPristine;
    ASSERT_EQ(kept.CreateBlank(20, 10, 0xFF00FF00), Ok);
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(kept.Rotate(90, 0xFFFFFFFF), Ok);
        ASSERT_EQ(kept.Crop(0, 0, 3, 3, 0xFFFFFFFF), Ok);
        VsTest::Set(kept, 0, 0, 0xFF123456);
        kept.RestorePristineCopy();
        EXPECT_EQ(kept.width(), 20);
        EXPECT_EQ(kept.height(), 10);
        EXPECT_EQ(At(kept, 0, 0), 0xFF00FF00u);
    }
}

TEST(ImageObject, DrawImageAtPlacesClipsAndBlendsByOpacity) {
    CBaseImage base, red;
    ASSERT_EQ(base.CreateBlank(10, 10, 0xFF0000FF), Ok);
    ASSERT_EQ(red.CreateBlank(4, 4, 0xFFFF0000), Ok);
    base.DrawImageAt(red, -2, 8, 255);
    EXPECT_EQ(At(base, 0, 8), 0xFFFF0000u);
    EXPECT_EQ(At(base, 1, 9), 0xFFFF0000u);
    EXPECT_EQ(At(base, 2, 9), 0xFF0000FFu);
    EXPECT_EQ(At(base, 0, 7), 0xFF0000FFu);

    base.DrawImageAt(red, 3, 3, 128);
    const uint32_t mixed = At(base, 4, 4);
    EXPECT_EQ(mixed >> 24, 0xFFu);
    EXPECT_NEAR(int((mixed >> 16) & 0xFF), 128, 2);
    EXPECT_NEAR(int(mixed & 0xFF), 127, 2);
    base.DrawImageAt(red, 0, 0, 0);
    EXPECT_EQ(At(base, 0, 0), 0xFF0000FFu);

    // A transparent pixel leaves the base as it was; an image onto itself works.
    CBaseImage holes;
    ASSERT_EQ(holes.CreateBlank(2, 2, 0x00FFFFFF), Ok);
    base.DrawImageAt(holes, 0, 0, 255);
    EXPECT_EQ(At(base, 0, 0), 0xFF0000FFu);
    base.DrawImageAt(base, 5, 5, 255);
    EXPECT_EQ(At(base, 5, 5), 0xFF0000FFu);
    // Placements at the ends of the int range draw nothing and do not fail.
    const uint32_t corner = At(base, 0, 0);
    for (int far : {INT_MIN, INT_MAX})
        for (int near : {0, -2, INT_MIN, INT_MAX}) {
            base.DrawImageAt(red, far, near, 255);
            base.DrawImageAt(red, near, far, 255);
        }
    EXPECT_EQ(At(base, 0, 0), corner);
}

TEST(ImageObject, DrawingLeavesPixelsOutsideTheDrawnAreaExactlyAsTheyWere) {
    CBaseImage base, original, patch;
    VsTest::MakePattern(base, 30, 20, true);
    VsTest::MakePattern(original, 30, 20, true);
    ASSERT_EQ(patch.CreateBlank(5, 5, 0xFFFF0000), Ok);
    base.DrawImageAt(patch, 10, 10, 200);
    base.DrawImageAt(patch, 100, 100, 255);  // entirely outside: nothing
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 30; ++x) {
            const bool drawn = x >= 10 && x < 15 && y >= 10 && y < 15;
            if (!drawn) {
                ASSERT_EQ(At(base, x, y), At(original, x, y)) << x << "," << y;
            }
        }
}

TEST(ImageObject, DrawImageScaledStretchesOverTheRectangle) {
    CBaseImage base, small;
    ASSERT_EQ(base.CreateBlank(40, 20, 0xFFFFFFFF), Ok);
    ASSERT_EQ(small.CreateBlank(2, 2, 0xFF00FF00), Ok);
    base.DrawImageScaled(small, 20, 10, 255, 7);
    EXPECT_EQ(At(base, 0, 0), 0xFF00FF00u);
    EXPECT_EQ(At(base, 19, 9), 0xFF00FF00u);  // the edge is not blended with anything
    EXPECT_EQ(At(base, 20, 10), 0xFFFFFFFFu);
    base.DrawImageScaled(small, 100, 100, 255, 5);  // larger than the base: clipped
    EXPECT_EQ(At(base, 39, 19), 0xFF00FF00u);
    CBaseImage half;
    ASSERT_EQ(half.CreateBlank(40, 20, 0xFFFFFFFF), Ok);
    half.DrawImageScaled(small, 40, 20, 64, 3);
    EXPECT_NEAR(int((At(half, 10, 10) >> 16) & 0xFF), 191, 2);
}

// Images wider or taller than 32767 pixels (the graphics library's largest
// surface) are drawn like any other: at their place, over what is there.
TEST(ImageObject, DrawingWorksOnImagesOfMoreThan32767Pixels) {
    CBaseImage wide, tall, patch, translucent;
    ASSERT_EQ(wide.CreateBlank(40000, 2, 0xFF0000FF), Ok);
    ASSERT_EQ(tall.CreateBlank(2, 40000, 0xFF0000FF), Ok);
    ASSERT_EQ(patch.CreateBlank(3, 1, 0xFFFF0000), Ok);
    ASSERT_EQ(translucent.CreateBlank(35000, 1, 0x80FF0000), Ok);
    wide.DrawImageAt(patch, 39998, 1, 255);
    EXPECT_EQ(At(wide, 39999, 1), 0xFFFF0000u);
    EXPECT_EQ(At(wide, 39997, 1), 0xFF0000FFu);
    wide.DrawImageAt(translucent, 0, 0, 255);
    EXPECT_NEAR(int((At(wide, 34000, 0) >> 16) & 0xFF), 128, 2);
    EXPECT_EQ(At(wide, 35000, 0), 0xFF0000FFu);
    tall.DrawImageAt(patch, 0, 39999, 255);
    EXPECT_EQ(At(tall, 1, 39999), 0xFFFF0000u);

    CBaseImage green;
    ASSERT_EQ(green.CreateBlank(2, 2, 0xFF00FF00), Ok);
    wide.DrawImageScaled(green, 40000, 1, 255, 5);
    EXPECT_EQ(At(wide, 39999, 0), 0xFF00FF00u);
    EXPECT_EQ(At(wide, 39999, 1), 0xFFFF0000u);
}
