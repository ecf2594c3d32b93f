// The graphics layer and the image object's drawing and pristine copy.
#include <gtest/gtest.h>

#include <climits>

#include "image/graphics.h"
#include "image/text/draw_text.h"
#include "image_test_util.h"

using namespace Vs4Image;
using namespace VsTest;

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
    EXPECT_EQ(At(image, 2, 2), 0xFF80007Fu);
    // Premultiplied at alpha 64 and back: 0x10 -> 4 -> 16, 0x20 -> 8 -> 32, 0x30 -> 12 -> 48.
    EXPECT_EQ(At(image, 7, 2), 0x40102030u);
    EXPECT_EQ(At(image, 7, 7), 0xFF0000FFu);  // outside the clip
    EXPECT_EQ(At(image, 7, 8), 0xFF00FF00u);
    // Premultiplying rounds 1 x 127 / 255 to 0: a drawn pixel of alpha 127
    // and colour 1 arrives black.
    CBaseImage clear, dot;
    ASSERT_EQ(clear.CreateBlank(1, 1, 0), Ok);
    ASSERT_EQ(dot.CreateBlank(1, 1, 0x7F010101), Ok);
    Graphics(*clear.bitmap()).DrawImage(dot.view(), 0, 0, 1, 1, ImageDrawOptions{});
    EXPECT_EQ(At(clear, 0, 0), 0x7F000000u);
}

// A matrix applies to the source pixel as the row vector (r, g, b, a, 1);
// the source is drawn over the base. Gamma raises each colour to its power.
TEST(Graphics, ColourMatricesAndGammaOnDrawnImages) {
    ColourMatrix swap = ColourMatrix::Identity();  // red and blue exchanged, green
    swap.m[0][0] = 0, swap.m[0][2] = 1, swap.m[2][2] = 0, swap.m[2][0] = 1;  // halved, red + 0.1
    swap.m[1][1] = 0.5f, swap.m[4][0] = 0.1f, swap.m[1][2] = 0.2f;
    const ColourMatrix half = ColourMatrix::AlphaScale(0.5f);
    using Rgb = std::array<double, 3>;
    const std::tuple<const ColourMatrix*, float, Argb, Rgb (*)(const Rgb&)> cases[] = {
        {&swap, 1, 0,
         [](const Rgb& c) {
             return Rgb{c[2] + 0.1, c[1] * 0.5, c[0] + 0.2 * c[1]};
         }},
        {&half, 1, 0xFFFFFFFF,
         [](const Rgb& c) {
             return Rgb{(c[0] + 1) / 2, (c[1] + 1) / 2, (c[2] + 1) / 2};
         }},
        {nullptr, 2, 0, [](const Rgb& c) {
             return Rgb{c[0] * c[0], c[1] * c[1], c[2] * c[2]};
         }}};
    for (const auto& [matrix, gamma, background, want] : cases) {
        CBaseImage base, source;
        ASSERT_EQ(base.CreateBlank(4, 4, background), Ok);
        Fill(source, 4, 4,
             [](int x, int y) { return Pack(255, 0x20 + x * 60, 0x80 - y * 30, 0xF0 - x * 7); });
        Graphics(*base.bitmap())
            .DrawImage(source.view(), 0, 0, 4, 4,
                       {255, kInterpolationBilinear, false, matrix, gamma});
        MaxError(
            base,
            [&](int x, int y) {
                const Argb s = At(source, x, y);
                const Rgb v = want({Red(s) / 255.0, Green(s) / 255.0, Blue(s) / 255.0});
                const auto byte = [](double c) {
                    return int(std::lround(std::clamp(c, 0.0, 1.0) * 255));
                };
                return Pack(255, byte(v[0]), byte(v[1]), byte(v[2]));
            },
            1, "matrix");
    }
}

// Untouched pixels stay exact, whatever their alpha, across a flush too; a
// placement that is not a finite, invertible mapping draws nothing.
TEST(Graphics, UntouchedPixelsKeepTheirExactValues) {
    CBaseImage image, original, source;
    MakePattern(image, 64, 32, true);
    MakePattern(original, 64, 32, true);
    for (CBaseImage* i : {&image, &original}) {
        Set(*i, 60, 30, 0x01C86432);  // colour far below the alpha's precision
        Set(*i, 61, 30, 0x00FFFFFF);  // transparent white
    }
    ASSERT_EQ(source.CreateBlank(2, 2, 0xFF0000FF), Ok);
    {
        Graphics g(*image.bitmap());
        g.FillRectangle(0, 0, 8, 8, 0xFFFF0000);
        g.DrawLine(8.5f, 6.5f, 11.5f, 6.5f, 0xFFFF0000, 1.0f);
        g.Flush();  // the surface stays open for more drawing
        g.SetRectangle(8, 0, 4, 4, 0x80FFFFFF);
        ImageDrawOptions options;
        const float nan = std::nanf("");
        g.DrawImage(source.view(), 0, 0, nan, 4, options);
        g.DrawImage(source.view(), nan, 0, 4, 4, options);
        g.DrawImage(source.view(), 50, 0, 4, 1e-30f, options);
        const PointF flat[3] = {{50, 0}, {54, 0}, {58, 0}};
        g.DrawImageOnPoints(source.view(), flat, options);
    }
    DrawText(image, TextStyle{}, "W", RectF{20, 0, 20, 20}, 0xFF000000, 4);
    int changed = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x) {
            const bool drawn = (x < 12 && y < 8) || (x >= 20 && x < 40 && y < 20);
            if (!drawn)
                EXPECT_EQ(At(image, x, y), At(original, x, y)) << x << "," << y;
            else
                changed += At(image, x, y) != At(original, x, y);
        }
    EXPECT_GT(changed, 64 + 16 + 10);  // the rectangles and some ink
    EXPECT_EQ(At(image, 0, 0), 0xFFFF0000u);
    EXPECT_EQ(At(image, 10, 6), 0xFFFF0000u);  // the line
}

TEST(ImageObject, TransparencyFlagAndPristineCopy) {
    CBaseImage image;
    ASSERT_EQ(image.CreateBlank(10, 5, 0x80FFFFFF), Ok);
    EXPECT_TRUE(image.hasTransparency());
    ASSERT_EQ(image.CreateBlank(10, 5, 0xFFFFFFFF), Ok);
    EXPECT_FALSE(image.hasTransparency());
    CBaseImage kept;
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

// Placed images are clipped, pixels outside stay exact, placements at the
// ends of the int range draw nothing; scaled ones stretch without blending.
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
    CBaseImage canvas, small;
    ASSERT_EQ(canvas.CreateBlank(40, 20, 0xFFFFFFFF), Ok);
    ASSERT_EQ(small.CreateBlank(2, 2, 0xFF00FF00), Ok);
    canvas.DrawImageScaled(small, 100, 100, 255, 5);  // larger than the canvas: clipped
    EXPECT_EQ(At(canvas, 39, 19), 0xFF00FF00u);
    ASSERT_EQ(canvas.CreateBlank(40, 20, 0xFFFFFFFF), Ok);
    canvas.DrawImageScaled(small, 40, 20, 64, 3);
    EXPECT_NEAR(Red(At(canvas, 10, 10)), 191, 1);  // 255 - 255 * 64 / 255
}
