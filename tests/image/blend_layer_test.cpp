#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "image/blend/blend_layer.h"
#include "image/blend/hsv_modes.h"
#include "image_test_util.h"

using namespace Vs4Image;
using namespace VsTest;

namespace {

// Blends one layer pixel onto one base pixel.
Argb BlendOne(Argb base, Argb layer, const char* method, uint32_t opacity = 255) {
    CBaseImage b, l;
    b.CreateBlank(1, 1, base);
    l.CreateBlank(1, 1, layer);
    EXPECT_EQ(BlendLayer(b, l, method, opacity), Ok);
    return At(b, 0, 0);
}

}  // namespace

TEST(BlendLayer, EveryModeOnOnePixelPair) {
    // base (200, 50, 128), layer (100, 180, 128), both opaque, full opacity.
    const Argb base = 0xFFC83280, layer = 0xFF64B480;
    struct Case {
        const char* mode;
        int r, g, b;
    };
    const Case cases[] = {
        {"darken", 100, 50, 128},      {"multiply", 78, 35, 64},       {"burn", 116, 0, 3},
        {"lighten", 200, 180, 128},    {"screen", 222, 195, 192},      {"dodge", 255, 168, 255},
        {"overlay", 188, 70, 128},     {"softlight", 178, 93, 128},    {"hardlight", 156, 135, 128},
        {"vividlight", 255, 0, 0},     {"linearlight", 144, 154, 128}, {"pinlight", 200, 104, 128},
        {"difference", 100, 130, 0},   {"exclusion", 143, 159, 128},   {"hue", 50, 200, 102},
        {"saturation", 200, 111, 157}, {"color", 111, 200, 142},       {"value", 180, 45, 115},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(IsBlendMode(c.mode));
        EXPECT_EQ(BlendOne(base, layer, c.mode), MakeArgb(255, c.r, c.g, c.b)) << c.mode;
    }
    EXPECT_FALSE(IsBlendMode("Multiply"));
    EXPECT_FALSE(IsBlendMode(""));
}

TEST(BlendLayer, WorkedPairs) {
    // Multiply by white and screen of black keep the base.
    EXPECT_EQ(BlendOne(0xFF0A64C8, 0xFFFFFFFF, "multiply"), 0xFF0A64C8u);
    EXPECT_EQ(BlendOne(0xFF0A64C8, 0xFF000000, "screen"), 0xFF0A64C8u);
    // Vivid light: a layer channel of 128 divides by -1 (clamped to 0), of 127 by 1.
    EXPECT_EQ(BlendOne(0xFF010203, 0xFF80807F, "vividlight"), 0xFF0000FFu);
    EXPECT_EQ(BlendOne(0xFF000000, 0xFF7F7F7F, "vividlight"), 0xFF000000u);
    // Difference with itself is black with the layer's alpha.
    EXPECT_EQ(BlendOne(0xFF5A3C1E, 0xFF5A3C1E, "difference"), 0xFF000000u);
    // Half-transparent pair: a1 = 64, A = 128 + 32, f = 0.4: colours keep 60 %.
    EXPECT_EQ(BlendOne(0x805A3C1E, 0x405A3C1E, "difference"), 0xA0362412u);
    // The same image as base and layer.
    CBaseImage self;
    MakeColourful(self, 9, 7);
    EXPECT_EQ(BlendLayer(self, self, "difference", 255), Ok);
    for (int y = 0; y < 7; ++y) {
        for (int x = 0; x < 9; ++x)
            EXPECT_EQ(At(self, x, y), 0xFF000000u);
    }
    // A grey layer leaves the hue mode's base alone.
    EXPECT_EQ(BlendOne(0xFFC83280, 0xFF777777, "hue"), 0xFFC83280u);
}

TEST(BlendLayer, OpacityAndTransparency) {
    // Opacity 128 on opaque pixels: a1 = 128, A = 255, colour = base (1 - 128/255)
    // + mode 128/255 + 0.0001, truncated. multiply (200, 100, 50) x (100, 100, 100)
    // = (78, 39, 19) -> (138, 69, 34).
    EXPECT_EQ(BlendOne(0xFFC86432, 0xFF646464, "multiply", 128), 0xFF8A4522u);
    // Unclamped mode colours enter the mix: vivid light 127 gives b * 256.
    EXPECT_EQ(BlendOne(0xFF010101, 0xFF7F7F7F, "vividlight", 128),
              0xFF818181u);  // (127 + 256 * 128) / 255
    // Opacity 0 keeps the base; opacities above 255 count as 255.
    EXPECT_EQ(BlendOne(0xFFC86432, 0xFF646464, "multiply", 0), 0xFFC86432u);
    EXPECT_EQ(BlendOne(0xFFC86432, 0xFF646464, "multiply", 1000), 0xFF4E2713u);
    // A transparent base takes the layer pixel as it is, whatever the opacity;
    // a transparent layer pixel leaves the base.
    EXPECT_EQ(BlendOne(0x00C86432, 0x7F646464, "screen", 10), 0x7F646464u);
    EXPECT_EQ(BlendOne(0xFFC86432, 0x00646464, "screen", 255), 0xFFC86432u);
}

TEST(BlendLayer, OtherNamesDrawNormallyWithOpacity) {
    EXPECT_EQ(BlendOne(0xFF000000, 0xFFFFFFFF, "", 255), 0xFFFFFFFFu);
    EXPECT_EQ(BlendOne(0xFF000000, 0xFFFFFFFF, "normal", 128), 0xFF808080u);
    EXPECT_EQ(BlendOne(0xFF204060, 0x00FFFFFF, "Multiply", 255), 0xFF204060u);
    // Half-transparent layer over transparent base keeps its colour.
    EXPECT_EQ(BlendOne(0x00000000, 0x80C86432, "x", 255), 0x80C86432u);
    // Over a half-transparent base: alpha 128 + 127 * 128 / 255 = 192.
    const Argb mixed = BlendOne(0x800000FF, 0x80FF0000, "x", 255);
    EXPECT_EQ(Alpha(mixed), 192);
    EXPECT_EQ(Red(mixed), 170);  // 255 * 128 / 192
    EXPECT_EQ(Blue(mixed), 85);
}

// Source-over of every pair of source and destination alpha, at full and at
// partial opacity, against the formula worked out in double precision:
// A = sa + da (1 - sa), colour = (sc sa + dc da (1 - sa)) / A, each rounded
// once. Numerator and denominator are scaled to whole numbers so the one
// division is the only rounding of the reference too. The green channel is
// 250 everywhere: a mix of equal colours must stay that colour.
TEST(SourceOver, EveryAlphaPairMatchesTheExactFormula) {
    auto colourOf = [](int x, int y, bool layer) {
        return layer ? std::array<int, 3>{(x * 7 + y) & 255, 250, (x ^ y) & 255}
                     : std::array<int, 3>{(y * 5 + x * 3) & 255, 250, 255 - ((x + y) & 255)};
    };
    for (const uint32_t opacity : {255u, 77u}) {
        CBaseImage base, layer;
        ASSERT_EQ(base.CreateBlank(256, 256, 0), Ok);
        ASSERT_EQ(layer.CreateBlank(256, 256, 0), Ok);
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x) {
                const auto l = colourOf(x, y, true), b = colourOf(x, y, false);
                Set(layer, x, y, Argb(x) << 24 | Argb(l[0]) << 16 | Argb(l[1]) << 8 | Argb(l[2]));
                Set(base, x, y, Argb(y) << 24 | Argb(b[0]) << 16 | Argb(b[1]) << 8 | Argb(b[2]));
            }
        base.DrawImageAt(layer, 0, 0, opacity);
        int wrong = 0;
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x) {
                // Alphas in units of 1 / (255 * 65025).
                const double sa = double(x) * opacity * 255;
                const double da = double(y) * (65025.0 - double(x) * opacity);
                const double total = sa + da;
                const auto l = colourOf(x, y, true), b = colourOf(x, y, false);
                Argb want = Argb(std::floor(total / 65025.0 + 0.5)) << 24;
                for (int c = 0; c < 3; ++c) {
                    const double v = total == 0 ? b[c] : (l[c] * sa + b[c] * da) / total;
                    want |= Argb(std::floor(v + 0.5)) << (16 - 8 * c);
                }
                const Argb got = At(base, x, y);
                if (got != want && ++wrong <= 5)
                    ADD_FAILURE() << "opacity " << opacity << " alphas " << x << " over " << y
                                  << ": " << std::hex << got << " want " << want;
            }
        EXPECT_EQ(wrong, 0) << "opacity " << opacity;
    }
}

TEST(BlendLayer, SizesAndEmptyImages) {
    CBaseImage base, small, large, empty;
    base.CreateBlank(4, 4, 0xFF808080);
    small.CreateBlank(3, 4, 0xFF000000);
    large.CreateBlank(6, 6, 0xFFFFFFFF);
    EXPECT_EQ(BlendLayer(base, small, "multiply", 255), InvalidParameter);
    EXPECT_EQ(At(base, 0, 0), 0xFF808080u);
    EXPECT_EQ(BlendLayer(base, empty, "multiply", 255), WrongState);
    EXPECT_EQ(BlendLayer(empty, base, "multiply", 255), WrongState);
    // The normal drawing covers what the smaller layer reaches.
    EXPECT_EQ(BlendLayer(base, small, "", 255), Ok);
    EXPECT_EQ(At(base, 2, 3), 0xFF000000u);
    EXPECT_EQ(At(base, 3, 3), 0xFF808080u);
    // A larger layer is read from its top-left corner.
    EXPECT_EQ(BlendLayer(base, large, "screen", 255), Ok);
    EXPECT_EQ(At(base, 3, 3), 0xFFFFFFFFu);
}

TEST(Hsv, RoundTripsAndEdges) {
    const int red[3] = {255, 0, 0};
    const Hsv h = ToHsv(red);
    EXPECT_EQ(h.h, 0.0f);
    EXPECT_EQ(h.s, 1.0f);
    EXPECT_EQ(h.v, 255.0f);
    const int black[3] = {0, 0, 0};
    EXPECT_EQ(ToHsv(black).s, 0.0f);
    const int magentaish[3] = {200, 10, 190};  // hue just below 360
    int back[3];
    FromHsv(ToHsv(magentaish), back);
    EXPECT_NEAR(back[0], 200, 1);
    EXPECT_NEAR(back[1], 10, 1);
    EXPECT_NEAR(back[2], 190, 1);
    FromHsv(Hsv{360.0f, 1.0f, 100.0f}, back);  // 360 counts as 0
    EXPECT_EQ(back[0], 100);
    EXPECT_EQ(back[1], 0);
    EXPECT_EQ(back[2], 0);
}
