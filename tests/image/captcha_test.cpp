#include "image/text/captcha.h"

#include <gtest/gtest.h>

#include "image/ink_probe.h"
#include "image/random.h"

using namespace Vs4Image;
using vstest::AlphaInk;
using vstest::PixelAt;
using vstest::SamePixels;

namespace {

CaptchaOptions Options(const std::string& text, int flags, int leftMargin = 0, float size = 12) {
    CaptchaOptions o;
    o.fontName = "Arial";
    o.size = size;
    o.text = text;
    o.flags = flags;
    o.leftMargin = leftMargin;
    return o;
}

bool InkIn(const CBaseImage& image, int from, int to) {
    const PixelView v = image.view();
    return !AlphaInk(PixelView{v.pixel(from, 0), to - from, v.height, v.stride}, 1).empty();
}

// How many numbers of the thread's generator the drawing took.
int DrawsFor(int flags) {
    ResetThreadRandom(7);
    CBaseImage image;
    EXPECT_EQ(image.CreateBlank(80, 24, 0), Ok);
    DrawCaptcha(image, Options("AB7k", flags));
    const int next = ThreadRandom();
    ResetThreadRandom(7);
    for (int n = 0; n < 100; ++n)
        if (ThreadRandom() == next)
            return n;
    return -1;
}

}  // namespace

// Size 12 gives cells of trunc(12 * 1.3333 + 12 * 0.15) = 17 pixels side by
// side from the left margin, blanks included; colours stay below 190. The
// thread's generator makes it repeatable: three numbers per cell, one more
// with rotation, 3 x 8 for the lines.
TEST(Captcha, CellsSideBySideFromTheThreadState) {
    EXPECT_EQ(CaptchaCellSize(12), 17);
    EXPECT_EQ(CaptchaCellSize(0.5f), 0);
    EXPECT_EQ(SplitCharacters("a\xC3\xA9\xED\x95\x9C\xFFz").size(), 5u);
    ResetThreadRandom();
    CBaseImage image;
    ASSERT_EQ(image.CreateBlank(100, 20, 0), Ok);
    ASSERT_EQ(DrawCaptcha(image, Options("H H ", 0, 5)), Ok);
    const bool want[] = {false, true, false, true, false, false};
    const int edges[] = {0, 5, 22, 39, 56, 73, 100};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(InkIn(image, edges[i], edges[i + 1]), want[i]) << i;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 100; ++x) {
            const Argb c = PixelAt(image.view(), x, y);
            if (c >> 24) {
                EXPECT_TRUE((c >> 16 & 0xFF) < 190 && (c >> 8 & 0xFF) < 190 && (c & 0xFF) < 190);
            }
        }
    EXPECT_EQ(DrawsFor(0), 12);
    EXPECT_EQ(DrawsFor(kCaptchaRotate), 16);
    EXPECT_EQ(DrawsFor(kCaptchaLines), 12 + 24);
    auto render = [](uint32_t seed, int flags, CBaseImage& out) {
        ResetThreadRandom(seed);
        EXPECT_EQ(out.CreateBlank(80, 24, 0xFFFFFFFF), Ok);
        DrawCaptcha(out, Options("AB7k", flags));
    };
    const int all = kCaptchaRotate | kCaptchaNoise | kCaptchaLines;
    CBaseImage a, b, c, plain;
    render(1, all, a);
    render(1, all, b);
    render(2, all, c);
    EXPECT_TRUE(SamePixels(a.view(), b.view()));
    EXPECT_FALSE(SamePixels(a.view(), c.view()));
    render(1, 0, plain);
    for (int flag : {kCaptchaRotate, kCaptchaNoise, kCaptchaLines}) {
        render(1, flag, a);
        EXPECT_FALSE(SamePixels(plain.view(), a.view())) << flag;
    }
}

// Cells outside the image draw nothing.
TEST(Captcha, CellsOutsideTheImage) {
    CBaseImage none, image;
    EXPECT_EQ(DrawCaptcha(none, Options("AB", 0)), WrongState);
    ASSERT_EQ(image.CreateBlank(30, 20, 0), Ok);
    EXPECT_EQ(DrawCaptcha(image, Options("ABCDEF", kCaptchaLines, 2000000000)), Ok);
    EXPECT_EQ(DrawCaptcha(image, Options("ABCDEF", 0, -2000000000)), Ok);
    EXPECT_TRUE(AlphaInk(image.view(), 1).empty());
}
