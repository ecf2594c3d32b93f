// Colour adjustments against their formulas in double precision, on channels
// near 0, 128 and 255 at several alphas.
#include <gtest/gtest.h>

#include <thread>

#include "image/colour/adjustments.h"
#include "image_test_util.h"

using namespace Vs4Image;
using namespace VsTest;

namespace {

using Vec = std::array<double, 3>;

const int kValues[] = {0, 1, 3, 60, 127, 128, 129, 190, 252, 255};
const int kAlphas[] = {255, 128, 1, 0};

// 10 x 8 pixels: red and green from the values, blue and alpha by row.
Argb Input(int x, int y) {
    return Pack(kAlphas[y % 4], kValues[x], kValues[(x + 4) % 10], kValues[(y * 3 + x) % 10]);
}

// Each colour through f (channels 0..1 in, 0..1 out), clamped and rounded;
// alpha kept, and a transparent pixel becomes the word 0.
template <typename F>
Argb Through(Argb in, F f) {
    if (Alpha(in) == 0)
        return 0;
    const Vec out = f(Vec{Red(in) / 255.0, Green(in) / 255.0, Blue(in) / 255.0});
    int c[3];
    for (int i = 0; i < 3; ++i)
        c[i] = int(std::floor(std::clamp(out[i], 0.0, 1.0) * 255 + 0.5));
    return Pack(Alpha(in), c[0], c[1], c[2]);
}

// out_j = sum_i in_i rows[i][j] + offset.
Vec Rows(const Vec& in, const double rows[3][3], double offset) {
    Vec out{offset, offset, offset};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            out[j] += in[i] * rows[i][j];
    return out;
}

template <typename F>
void ExpectWithin(const CBaseImage& image, F reference, int tolerance, const std::string& what) {
    EXPECT_LE(
        MaxError(
            image, [&](int x, int y) { return Through(Input(x, y), reference); }, tolerance, what),
        tolerance)
        << what;
}

}  // namespace

// Contrast stretches about mid-grey by ((c + 100) / 100)^2, brightness adds
// b / 100, saturation mixes with the luminance grey (0.3086, 0.6094, 0.082)
// by s = (sat + 100) / 100, in that order; parameters are clamped to
// -100..100. Gamma then raises each colour to ((g + 100) / 100)^2, exactly;
// -100 (exponent 0) is left alone.
TEST(AdjustImage, ContrastBrightnessSaturationGammaMatchTheirFormulas) {
    const std::array<int, 4> cases[] = {
        {40, 0, 0, 0},   {-60, 0, 0, 0}, {0, 25, 0, 0},    {0, -30, 0, 0}, {0, 0, 50, 0},
        {0, 0, -100, 0}, {0, 0, -40, 0}, {30, -10, 60, 0}, {0, 500, 0, 0}, {-100, 0, 0, 0},
        {0, 0, 0, 100},  {0, 0, 0, 50},  {0, 0, 0, -50},   {0, 0, 0, -100}};
    for (const auto& [contrast, brightness, saturation, gamma] : cases) {
        CBaseImage image;
        Fill(image, 10, 8, Input);
        ASSERT_EQ(AdjustImage(image, contrast, brightness, saturation, 0, gamma), Ok);
        const double f = (contrast + 100) / 100.0, k = f * f;
        const double b = std::clamp(brightness, -100, 100) / 100.0;
        const double s = (saturation + 100) / 100.0, g = (gamma + 100) / 100.0;
        const double e = gamma == -100 ? 1 : g * g, w[3] = {0.3086, 0.6094, 0.082};
        ExpectWithin(
            image,
            [&](Vec v) {
                for (double& x : v)
                    x = x * k + (1 - k) / 2 + b;
                const double grey = w[0] * v[0] + w[1] * v[1] + w[2] * v[2];
                for (double& x : v)
                    x = std::pow(grey * (1 - s) + x * s, e);
                return v;
            },
            gamma ? 0 : 1,
            "contrast " + std::to_string(contrast) + " brightness " + std::to_string(brightness) +
                " saturation " + std::to_string(saturation) + " gamma " + std::to_string(gamma));
    }
}

// The hue turn keeps the luminance and the grey axis (within the rounding of
// its frame), a half turn either way agrees, and a turn undone comes back
// (on colours the turns keep inside the gamut).
TEST(AdjustImage, HueTurnsAboutTheGreyAxis) {
    const auto mild = [](int x, int y) {
        return Pack(255, 60 + x * 10, 190 - y * 10, 100 + x * y);
    };
    const auto luma = [](Argb c) { return 0.3086 * Red(c) + 0.6094 * Green(c) + 0.082 * Blue(c); };
    CBaseImage original, plus, minus, back;
    for (CBaseImage* i : {&original, &plus, &minus, &back})
        Fill(*i, 12, 12, mild);
    EXPECT_EQ(AdjustImage(plus, 0, 0, 0, 100, 0), Ok);
    EXPECT_EQ(AdjustImage(minus, 0, 0, 0, -100, 0), Ok);
    EXPECT_LE(MaxDifference(plus, minus), 1);
    AdjustImage(back, 0, 0, 0, 20, 0);
    EXPECT_GT(MaxDifference(back, original), 10);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 12; ++x)
            EXPECT_NEAR(luma(At(back, x, y)), luma(At(original, x, y)), 1.5) << x << "," << y;
    AdjustImage(back, 0, 0, 0, -20, 0);
    EXPECT_LE(MaxDifference(back, original), 2);
    CBaseImage grey;
    grey.CreateBlank(1, 1, 0xFF808080);
    AdjustImage(grey, 0, 0, 0, 37, 0);
    for (int v : {Red(At(grey, 0, 0)), Green(At(grey, 0, 0)), Blue(At(grey, 0, 0))})
        EXPECT_NEAR(v, 128, 3);
}

// AdjustRgb scales red, green and blue by 1 + percent / 100 (plus 1/10000);
// sepia, grey and negative are matrices: rows are the inputs r, g, b,
// columns the outputs. The negative's green keeps a hundredth of the blue
// input: white turns very dark green.
TEST(ToneMatrices, RgbSepiaGreyAndNegative) {
    struct Case {
        const char* name;
        Status (*apply)(CBaseImage&);
        double rows[3][3], offset;
    } cases[] = {
        {"rgb 100 0 -50",
         [](CBaseImage& i) { return AdjustRgb(i, 100, 0, -50); },
         {{2, 0, 0}, {0, 1, 0}, {0, 0, 0.5}},
         0.0001},
        {"rgb -100 30 250",
         [](CBaseImage& i) { return AdjustRgb(i, -100, 30, 250); },
         {{0, 0, 0}, {0, 1.3, 0}, {0, 0, 3.5}},
         0.0001},
        {"sepia", Sepia, {{0.393, 0.349, 0.272}, {0.769, 0.686, 0.534}, {0.189, 0.168, 0.131}}, 0},
        {"grey", Grayscale, {{0.3, 0.3, 0.3}, {0.59, 0.59, 0.59}, {0.11, 0.11, 0.11}}, 0},
        {"negative", Negative, {{-1, 0, 0}, {0, -1, 0}, {0, 0.01, -1}}, 1},
    };
    for (const Case& c : cases) {
        CBaseImage image;
        Fill(image, 10, 8, Input);
        ASSERT_EQ(c.apply(image), Ok);
        ExpectWithin(
            image, [&](const Vec& v) { return Rows(v, c.rows, c.offset); }, 1, c.name);
    }
    CBaseImage image, original;
    Fill(image, 10, 8, Input);
    Fill(original, 10, 8, Input);
    EXPECT_EQ(AdjustRgb(image, 0, 0, 0), Ok);  // nothing at all, transparent colours included
    EXPECT_TRUE(SamePixels(image, original));
}

// Levels: each colour stretched from [min, max] to [0, 1] twice, truncated.
TEST(AutoLevel, StretchesTwice) {
    for (const auto& [lo, hi] : {std::pair{0.1f, 0.9f}, {0.0f, 1.0f}, {0.25f, 0.6f}}) {
        CBaseImage image;
        Fill(image, 10, 8, Input);
        ASSERT_EQ(AutoLevel(image, lo, hi), Ok);
        auto level = [&](int c) {
            const double x = (c / 255.0 - lo) / (hi - lo), y = (x - lo) / (hi - lo);
            return int(std::clamp(std::trunc(y * 255), 0.0, 255.0));
        };
        EXPECT_LE(MaxError(
                      image,
                      [&](int x, int y) {
                          const Argb in = Input(x, y);
                          return Pack(Alpha(in), level(Red(in)), level(Green(in)), level(Blue(in)));
                      },
                      1, "levels"),
                  1);
    }
    CBaseImage empty;
    EXPECT_EQ(AutoLevel(empty, 0.0f, 1.0f), GenericError);
}
