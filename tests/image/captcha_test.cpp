#include "image/text/captcha.h"

#include <gtest/gtest.h>

#include "image/random.h"
#include "image_test_util.h"

using namespace Vs4Image;
using vstest::AlphaInk;
using vstest::PixelAt;
using vstest::SamePixels;

namespace {

// Draws `text` (Arial 12) onto a transparent w x h canvas from the thread
// generator's state `seed`; returns how many numbers of the generator it took.
int Draw(CBaseImage& image, uint32_t seed, int flags, const std::string& text = "AB7k",
         int leftMargin = 0, int w = 80, int h = 24) {
    CaptchaOptions o;
    o.fontName = "Arial";
    o.size = 12;
    o.text = text;
    o.flags = flags;
    o.leftMargin = leftMargin;
    ResetThreadRandom(seed);
    EXPECT_EQ(image.CreateBlank(w, h, 0), Ok);
    EXPECT_EQ(DrawCaptcha(image, o), Ok);
    const int next = ThreadRandom();
    ResetThreadRandom(seed);
    for (int n = 0; n < 1000; ++n)
        if (ThreadRandom() == next)
            return n;
    return -1;
}

}  // namespace

// Size 12 gives cells of trunc(12 * 1.3333 + 12 * 0.15) = 17 pixels side by
// side from the left margin, blanks included; colours stay below 190. The
// thread's generator makes it repeatable: three numbers per cell, one more
// with rotation, 3 x 8 for the lines. Cells outside the image draw nothing.
TEST(Captcha, CellsSideBySideFromTheThreadState) {
    EXPECT_EQ(CaptchaCellSize(12), 17);
    EXPECT_EQ(CaptchaCellSize(0.5f), 0);
    EXPECT_EQ(SplitCharacters("a\xC3\xA9\xED\x95\x9C\xFFz").size(), 5u);
    CBaseImage image, plain, again;
    Draw(image, 1, 0, "H H ", 5, 100, 20);
    const int edges[] = {0, 5, 22, 39, 56, 73, 100};
    for (int i = 0; i < 6; ++i) {
        const PixelView cell{image.view().pixel(edges[i], 0), edges[i + 1] - edges[i], 20,
                             image.view().stride};
        EXPECT_EQ(AlphaInk(cell, 1).empty(), i != 1 && i != 3) << i;
    }
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 100; ++x) {
            const Argb c = PixelAt(image.view(), x, y);
            EXPECT_TRUE(!(c >> 24) ||
                        ((c >> 16 & 0xFF) < 190 && (c >> 8 & 0xFF) < 190 && (c & 0xFF) < 190));
        }
    const int all = kCaptchaRotate | kCaptchaNoise | kCaptchaLines;
    EXPECT_EQ(Draw(plain, 7, 0), 12);
    // Noise's count (0) is not checked.
    for (const auto& [flags, draws] : {std::pair{int{kCaptchaRotate}, 16},
                                       {kCaptchaLines, 12 + 24},
                                       {kCaptchaNoise, 0},
                                       {all, 0}}) {
        const int n = Draw(image, 7, flags);
        EXPECT_TRUE(n == draws || draws == 0) << flags;
        EXPECT_FALSE(SamePixels(plain.view(), image.view())) << flags;
    }
    Draw(again, 7, all);
    EXPECT_TRUE(SamePixels(image.view(), again.view()));
    Draw(again, 8, all);
    EXPECT_FALSE(SamePixels(image.view(), again.view()));

    CBaseImage none;
    EXPECT_EQ(DrawCaptcha(none, CaptchaOptions{"Arial", 12, 0, "AB"}), WrongState);
    Draw(image, 1, kCaptchaLines, "ABCDEF", 2000000000, 30, 20);
    EXPECT_TRUE(AlphaInk(image.view(), 1).empty());
    Draw(image, 1, 0, "ABCDEF", -2000000000, 30, 20);
    EXPECT_TRUE(AlphaInk(image.view(), 1).empty());
}
