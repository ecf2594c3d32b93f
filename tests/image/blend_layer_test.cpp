#include <gtest/gtest.h>

#include "image/blend/blend_layer.h"
#include "image_test_util.h"

using namespace Vs4Image;
using namespace VsTest;

namespace {

// The modes as written down, per channel (b base, l layer, 0..255), in double
// precision; integer quotients truncate toward zero and 128 takes the lower
// branch of the two-sided modes.
using ChannelMode = std::function<double(double, double)>;
double T(double v) {
    return std::trunc(v);
}
const std::pair<const char*, ChannelMode> kSeparable[] = {
    {"darken", [](double b, double l) { return std::min(b, l); }},
    {"multiply", [](double b, double l) { return T(b * l / 255); }},
    {"burn", [](double b, double l) { return 255 + T((b - 255) * 256 / (l + 1)); }},
    {"lighten", [](double b, double l) { return std::max(b, l); }},
    {"screen", [](double b, double l) { return 255 - T((255 - b) * (255 - l) / 255); }},
    {"dodge", [](double b, double l) { return T(b * 256 / (256 - l)); }},
    {"overlay",
     [](double b, double l) {
         return b <= 128 ? T(2 * b * l / 256) : 255 - T((511 - 2 * b) * (255 - l) / 256);
     }},
    {"softlight",
     [](double b, double l) {
         return l <= 128 ? T((l + 128) * b / 256) : 255 - T((255 - b) * (383 - l) / 256);
     }},
    {"hardlight",
     [](double b, double l) {
         return l <= 128 ? T(2 * b * l / 256) : 255 - T((511 - 2 * l) * (255 - b) / 256);
     }},
    {"vividlight",
     [](double b, double l) {
         return l <= 128 ? T(b * 256 / (255 - 2 * l)) : 255 + T((b - 255) * 256 / (2 * l - 255));
     }},
    {"linearlight", [](double b, double l) { return b + 2 * l - 256; }},
    {"pinlight",
     [](double b, double l) { return l <= 128 ? std::min(b, 2 * l) : std::max(b, 2 * l - 256); }},
    {"difference", [](double b, double l) { return std::abs(b - l); }},
    {"exclusion", [](double b, double l) { return 128 + T(2 * (128 - b) * (l - 128) / 256); }},
};

using Rgb = std::array<double, 3>;
struct HsvD {
    double h, s, v;
};
HsvD ToHsvD(const Rgb& c) {
    const double hi = std::max({c[0], c[1], c[2]}), lo = std::min({c[0], c[1], c[2]});
    if (hi == 0 || hi == lo)
        return {0, 0, hi};
    const double d = hi - lo;
    double h = c[0] == hi   ? (c[1] - c[2]) / d
               : c[1] == hi ? 2 + (c[2] - c[0]) / d
                            : 4 + (c[0] - c[1]) / d;
    h *= 60;
    return {h < 0 ? h + 360 : h, d / hi, hi};
}
// Back to channels, each part truncated.
Rgb FromHsvD(HsvD c) {
    const double v = T(c.v);
    if (c.s == 0)
        return {v, v, v};
    const double h = c.h >= 360 ? 0 : c.h / 60;
    const int i = std::clamp(int(std::floor(h)), 0, 5);
    const double f = h - i, p = T(c.v * (1 - c.s)), q = T(c.v * (1 - c.s * f)),
                 t = T(c.v * (1 - c.s * (1 - f)));
    const Rgb table[6] = {{v, t, p}, {q, v, p}, {p, v, t}, {p, q, v}, {t, p, v}, {v, p, q}};
    return table[i];
}
using PixelModeD = std::function<Rgb(const Rgb&, const Rgb&)>;
// Each mode takes hue, saturation and value from the base (b) or the layer
// (l); the hue of a grey layer leaves the base as it is.
const std::pair<const char*, const char*> kHsvModes[] = {
    {"hue", "lbb"}, {"saturation", "blb"}, {"color", "llb"}, {"value", "bbl"}};
Rgb HsvMode(const std::string& pick, const Rgb& b, const Rgb& l) {
    const HsvD hb = ToHsvD(b), hl = ToHsvD(l);
    if (pick == "lbb" && hl.s == 0)
        return b;
    return FromHsvD(
        {(pick[0] == 'l' ? hl : hb).h, (pick[1] == 'l' ? hl : hb).s, (pick[2] == 'l' ? hl : hb).v});
}

// The layer alpha scaled by the opacity covers the base: alpha a1 + ba (1 -
// a1) rounded, and each colour the base mixed with the mode colour by the
// layer's share of that alpha (plus 1/10000, truncated), clamped to 0..255.
Argb Compose(int ba, int la, int opacity, const Rgb& base, const Rgb& mode) {
    const int a1 = la * opacity / 255;
    const int alpha = ba + int(std::floor((255.0 - ba) * a1 / 255 + 0.5));
    const double f = double(a1) / alpha;
    int c[3];
    for (int i = 0; i < 3; ++i) {
        const double v = a1 == alpha ? mode[i] : T(base[i] * (1 - f) + mode[i] * f + 0.0001);
        c[i] = int(std::clamp(v, 0.0, 255.0));
    }
    return Pack(alpha, c[0], c[1], c[2]);
}

// Values near 0, 128 and 255; green and blue differ so that no pixel is grey.
const int kValues[] = {0, 1, 2, 64, 127, 128, 129, 200, 254, 255};
constexpr int kN = 10;
Rgb BaseRgb(int x) {
    return {double(kValues[x]), double(kValues[(x + 3) % kN]), double(kValues[(x + 7) % kN])};
}
Rgb LayerRgb(int y) {
    return {double(kValues[y]), double(kValues[(y + 5) % kN]), double(kValues[(y + 1) % kN])};
}

// `slack`: the hue modes work in single precision and may truncate one lower.
void CheckMode(const char* mode, const PixelModeD& reference, int slack) {
    for (const auto& [ba, la, opacity, tolerance] :
         {std::array{255, 255, 255, 0}, {160, 220, 150, 1}, {255, 255, 128, 1}, {3, 250, 255, 1}}) {
        CBaseImage base, layer;
        const auto pixel = [](int alpha, const Rgb& c) {
            return Pack(alpha, int(c[0]), int(c[1]), int(c[2]));
        };
        Fill(base, kN, kN, [&](int x, int) { return pixel(ba, BaseRgb(x)); });
        Fill(layer, kN, kN, [&](int, int y) { return pixel(la, LayerRgb(y)); });
        ASSERT_EQ(BlendLayer(base, layer, mode, opacity), Ok);
        const std::string what = std::string(mode) + " alphas " + std::to_string(ba) + "/" +
                                 std::to_string(la) + " opacity " + std::to_string(opacity);
        MaxError(
            base,
            [&](int x, int y) {
                return Compose(ba, la, opacity, BaseRgb(x), reference(BaseRgb(x), LayerRgb(y)));
            },
            std::max(tolerance, slack), what);
    }
}

Argb BlendOne(Argb base, Argb layer, const char* method, uint32_t opacity = 255) {
    CBaseImage b, l;
    b.CreateBlank(1, 1, base);
    l.CreateBlank(1, 1, layer);
    EXPECT_EQ(BlendLayer(b, l, method, opacity), Ok);
    return At(b, 0, 0);
}

}  // namespace

// Every mode over every pair of values near 0, 128 and 255, opaque (exact
// for the channel modes) and at partial alphas and opacities.
TEST(BlendLayer, EveryModeMatchesItsFormula) {
    for (const auto& [name, f] : kSeparable) {
        EXPECT_TRUE(IsBlendMode(name));
        const auto each = [f = f](const Rgb& b, const Rgb& l) {
            return Rgb{f(b[0], l[0]), f(b[1], l[1]), f(b[2], l[2])};
        };
        CheckMode(name, each, 0);
    }
    for (const auto& [name, pick] : kHsvModes) {
        EXPECT_TRUE(IsBlendMode(name));
        CheckMode(
            name, [p = pick](const Rgb& b, const Rgb& l) { return HsvMode(p, b, l); }, 1);
    }
    EXPECT_FALSE(IsBlendMode("Multiply"));
}

TEST(BlendLayer, TransparencyOpacitySizesAndOtherNames) {
    // A transparent base takes the layer pixel as it is, a transparent layer
    // pixel leaves the base; opacities above 255 count as 255; any other name
    // draws the layer over the base (alpha 128 + 127 / 2, red 255 * 128 / 192).
    EXPECT_EQ(BlendOne(0x00C86432, 0x7F646464, "screen", 10), 0x7F646464u);
    EXPECT_EQ(BlendOne(0xFFC86432, 0x00646464, "screen", 255), 0xFFC86432u);
    EXPECT_EQ(BlendOne(0xFFC86432, 0xFF646464, "multiply", 1000), 0xFF4E2713u);
    EXPECT_EQ(BlendOne(0x800000FF, 0x80FF0000, "x", 255), 0xC0AA0055u);
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

// Source-over of every alpha pair, at full and partial opacity: A = sa + da
// (1 - sa), colour = (sc sa + dc da (1 - sa)) / A, each rounded once (the
// reference in whole units). Green is 250 everywhere and must stay so.
TEST(SourceOver, EveryAlphaPairMatchesTheExactFormula) {
    auto colourOf = [](int x, int y, bool layer) {
        return layer ? std::array<int, 3>{(x * 7 + y) & 255, 250, (x ^ y) & 255}
                     : std::array<int, 3>{(y * 5 + x * 3) & 255, 250, 255 - ((x + y) & 255)};
    };
    const auto pixel = [&](int x, int y, bool layer) {
        const auto c = colourOf(x, y, layer);
        return Pack(layer ? x : y, c[0], c[1], c[2]);
    };
    for (const uint32_t opacity : {255u, 77u}) {
        CBaseImage base, layer;
        Fill(layer, 256, 256, [&](int x, int y) { return pixel(x, y, true); });
        Fill(base, 256, 256, [&](int x, int y) { return pixel(x, y, false); });
        base.DrawImageAt(layer, 0, 0, opacity);
        EXPECT_EQ(MaxError(
                      base,
                      [&](int x, int y) {
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
                          return want;
                      },
                      0, "opacity " + std::to_string(opacity)),
                  0);
    }
}
