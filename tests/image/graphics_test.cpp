// The graphics layer: fills, clips, image draws with colour matrices and
// onto three points, and the conversion back to non-premultiplied pixels.
#include <gtest/gtest.h>

#include <cmath>

#include "image/base_image.h"
#include "image/graphics.h"
#include "image/text/draw_text.h"
#include "image_test_util.h"

using namespace Vs4Image;
using VsTest::At;

TEST(Graphics, FillsCompositeAndSetsReplace) {
    CBaseImage image;
    ASSERT_EQ(image.CreateBlank(10, 10, 0xFF0000FF), Ok);
    {
        Graphics g(*image.bitmap());
        ASSERT_EQ(g.status(), Ok);
        g.FillRectangle(0, 0, 5, 10, 0x80FF0000);  // half red over blue
        g.SetRectangle(5, 0, 5, 5, 0x40102030);    // replaced, alpha included
        g.SetClip(0, 8, 10, 2);
        g.FillRectangle(0, 0, 10, 10, 0xFF00FF00);
        g.ResetClip();
    }
    const uint32_t mixed = At(image, 2, 2);
    EXPECT_NEAR(int((mixed >> 16) & 0xFF), 128, 1);
    EXPECT_NEAR(int(mixed & 0xFF), 127, 1);
    EXPECT_EQ(mixed >> 24, 0xFFu);
    const uint32_t set = At(image, 7, 2);
    EXPECT_EQ(set >> 24, 0x40u);
    EXPECT_NEAR(int((set >> 16) & 0xFF), 0x10, 2);  // premultiplied and back at alpha 64
    EXPECT_NEAR(int(set & 0xFF), 0x30, 2);
    EXPECT_EQ(At(image, 7, 7), 0xFF0000FFu);  // outside the clip
    EXPECT_EQ(At(image, 7, 8), 0xFF00FF00u);
}

TEST(Graphics, ColourMatricesApplyToTheSourceAsARowVector) {
    CBaseImage base, source;
    ASSERT_EQ(base.CreateBlank(4, 4, 0x00000000), Ok);
    ASSERT_EQ(source.CreateBlank(4, 4, 0xFF204080), Ok);
    // Red and blue exchanged, green halved, plus 0.1 on red.
    ColourMatrix m = ColourMatrix::Identity();
    m.m[0][0] = 0, m.m[0][2] = 1, m.m[2][2] = 0, m.m[2][0] = 1, m.m[1][1] = 0.5f;
    m.m[4][0] = 0.1f;
    ImageDrawOptions options;
    options.matrix = &m;
    {
        Graphics g(*base.bitmap());
        g.DrawImage(source.view(), 0, 0, 4, 4, options);
    }
    const uint32_t p = At(base, 1, 1);
    EXPECT_EQ(p >> 24, 0xFFu);
    EXPECT_NEAR(int((p >> 16) & 0xFF), 0x80 + 26, 1);
    EXPECT_NEAR(int((p >> 8) & 0xFF), 0x20, 1);
    EXPECT_NEAR(int(p & 0xFF), 0x20, 1);

    ColourMatrix alpha = ColourMatrix::AlphaScale(0.5f);
    options.matrix = &alpha;
    ASSERT_EQ(base.CreateBlank(4, 4, 0xFFFFFFFF), Ok);
    {
        Graphics g(*base.bitmap());
        g.DrawImage(source.view(), 0, 0, 4, 4, options);
    }
    EXPECT_NEAR(int(At(base, 2, 2) & 0xFF), (0x80 + 0xFF) / 2, 1);

    // Gamma 2 squares each component: 0x80 (0.502) becomes 0.252.
    ImageDrawOptions gamma;
    gamma.gamma = 2.0f;
    {
        Graphics g(*base.bitmap());
        g.DrawImage(source.view(), 0, 0, 4, 4, gamma);
    }
    EXPECT_NEAR(int(At(base, 0, 0) & 0xFF), 64, 1);
    EXPECT_NEAR(int((At(base, 0, 0) >> 16) & 0xFF), 4, 1);
}

TEST(Graphics, DrawOntoThreePointsMapsTheCorners) {
    CBaseImage base, source;
    ASSERT_EQ(base.CreateBlank(40, 40, 0xFFFFFFFF), Ok);
    VsTest::MakePattern(source, 20, 10, false);
    // A mirror image: upper-left at (30, 5), upper-right at (10, 5), lower-left at (30, 15).
    const PointF points[3] = {{30, 5}, {10, 5}, {30, 15}};
    ImageDrawOptions options;
    options.interpolation = kInterpolationNearestNeighbor;
    {
        Graphics g(*base.bitmap());
        g.DrawImageOnPoints(source.view(), points, options);
    }
    EXPECT_EQ(At(base, 29, 5), At(source, 0, 0));
    EXPECT_EQ(At(base, 10, 14), At(source, 19, 9));
    EXPECT_EQ(At(base, 9, 5), 0xFFFFFFFFu);
    EXPECT_EQ(At(base, 30, 5), 0xFFFFFFFFu);
    // A degenerate parallelogram draws nothing.
    const PointF flat[3] = {{0, 0}, {10, 0}, {20, 0}};
    {
        Graphics g(*base.bitmap());
        g.DrawImageOnPoints(source.view(), flat, options);
    }
    EXPECT_EQ(At(base, 1, 0), 0xFFFFFFFFu);
}

TEST(Graphics, PolygonsFillWithOrWithoutSmoothEdges) {
    CBaseImage image;
    ASSERT_EQ(image.CreateBlank(20, 20, 0xFFFFFFFF), Ok);
    const PointF triangle[3] = {{0, 0}, {20, 0}, {0, 20}};
    {
        Graphics g(*image.bitmap());
        g.SetAntialias(false);
        g.FillPolygon(triangle, 3, 0xFF000000);
    }
    EXPECT_EQ(At(image, 2, 2), 0xFF000000u);
    EXPECT_EQ(At(image, 18, 18), 0xFFFFFFFFu);
    for (int x = 0; x < 20; ++x) {
        const uint32_t p = At(image, x, 19 - x) & 0xFF;
        EXPECT_TRUE(p == 0 || p == 255) << x;  // hard edge
    }
    ASSERT_EQ(image.CreateBlank(20, 20, 0xFFFFFFFF), Ok);
    {
        Graphics g(*image.bitmap());
        g.FillPolygon(triangle, 3, 0xFF000000);
        g.FillPolygon(triangle, 2, 0xFFFF0000);  // fewer than three points: nothing
    }
    EXPECT_NEAR(int(At(image, 10, 9) & 0xFF), 128, 20);  // the diagonal is blended
}

// Drawing on part of an image leaves every pixel it does not touch exactly
// as it was, whatever its alpha, also across a flush: faint and fully
// transparent pixels keep their colour through the graphics library's
// premultiplied form.
TEST(Graphics, UntouchedTranslucentPixelsKeepTheirExactValues) {
    CBaseImage image, original;
    VsTest::MakePattern(image, 64, 32, true);
    VsTest::MakePattern(original, 64, 32, true);
    for (CBaseImage* i : {&image, &original}) {
        VsTest::Set(*i, 60, 30, 0x01C86432);  // colour far below the alpha's precision
        VsTest::Set(*i, 61, 30, 0x00FFFFFF);  // transparent white
    }
    {
        Graphics g(*image.bitmap());
        g.FillRectangle(0, 0, 8, 8, 0xFFFF0000);
        g.DrawLine(8.5f, 6.5f, 11.5f, 6.5f, 0xFFFF0000, 1.0f);
        g.Flush();  // the surface stays open for more drawing
        g.SetRectangle(8, 0, 4, 4, 0x80FFFFFF);
    }
    DrawText(image, TextStyle{}, "W", RectF{20, 0, 20, 20}, 0xFF000000, 4);
    int changed = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x) {
            const bool drawn = (x < 12 && y < 8) || (x >= 20 && x < 40 && y < 20);
            if (!drawn) {
                EXPECT_EQ(At(image, x, y), At(original, x, y)) << x << "," << y;
            } else if (At(image, x, y) != At(original, x, y)) {
                ++changed;
            }
        }
    EXPECT_GT(changed, 64 + 16 + 10);  // the rectangles and some ink
    EXPECT_EQ(At(image, 0, 0), 0xFFFF0000u);
    EXPECT_EQ(At(image, 8, 0), 0x80FFFFFFu);
    EXPECT_EQ(At(image, 10, 6), 0xFFFF0000u);  // the line
}

// An image placement that is not a finite, invertible mapping draws nothing
// and leaves the surface usable for what follows.
TEST(Graphics, ImpossiblePlacementsDrawNothingAndLaterDrawingStillWorks) {
    CBaseImage image, source;
    ASSERT_EQ(image.CreateBlank(8, 8, 0xFFFFFFFF), Ok);
    ASSERT_EQ(source.CreateBlank(2, 2, 0xFF0000FF), Ok);
    {
        Graphics g(*image.bitmap());
        ImageDrawOptions options;
        const float nan = std::nanf("");
        g.DrawImage(source.view(), 0, 0, nan, 4, options);
        g.DrawImage(source.view(), nan, 0, 4, 4, options);
        g.DrawImage(source.view(), 0, 0, 4, 1e-30f, options);
        const PointF flat[3] = {{0, 0}, {4, 0}, {8, 0}};
        g.DrawImageOnPoints(source.view(), flat, options);
        g.FillRectangle(6, 6, 2, 2, 0xFF00FF00);
    }
    EXPECT_EQ(At(image, 0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(At(image, 7, 7), 0xFF00FF00u);
}
