#include "image/text/captcha.h"

#include <gtest/gtest.h>

#include "image/ink_probe.h"
#include "image/random.h"

using namespace Vs4Image;
using vstest::AlphaInk;
using vstest::InkBox;
using vstest::PixelAt;

namespace {

CaptchaOptions Options(const std::string& text, int flags, int leftMargin = 0) {
    CaptchaOptions o;
    o.fontName = "Arial";
    o.size = 12;
    o.text = text;
    o.flags = flags;
    o.leftMargin = leftMargin;
    return o;
}

InkBox InkInColumns(const CBaseImage& image, int from, int to) {
    const PixelView v = image.view();
    const PixelView part{v.pixel(from, 0), to - from, v.height, v.stride};
    return AlphaInk(part, 1);
}

}  // namespace

// Size 12 gives cells of trunc(12 * 1.3333 + 12 * 0.15) = 17 pixels, laid
// side by side from the left margin; each character's colour channels stay
// below 190.
TEST(Captcha, CellsSideBySide) {
    EXPECT_EQ(CaptchaCellSize(12), 17);
    EXPECT_EQ(CaptchaCellSize(0.5f), 0);
    EXPECT_EQ(SplitCharacters("a\xC3\xA9\xED\x95\x9C\xFFz").size(), 5u);

    ResetThreadRandom();
    CBaseImage image;
    ASSERT_EQ(image.CreateBlank(100, 20, 0), Ok);
    ASSERT_EQ(DrawCaptcha(image, Options("H H ", 0)), Ok);
    EXPECT_EQ(image.width(), 100);
    const InkBox first = InkInColumns(image, 0, 17);
    EXPECT_FALSE(first.empty());
    EXPECT_TRUE(InkInColumns(image, 17, 34).empty());
    EXPECT_FALSE(InkInColumns(image, 34, 51).empty());
    EXPECT_TRUE(InkInColumns(image, 51, 100).empty());
    // Centred in its cell.
    EXPECT_NEAR(first.centreX(), 8.5, 1.5);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 100; ++x) {
            const Argb c = PixelAt(image.view(), x, y);
            if (c >> 24 == 0)
                continue;
            EXPECT_LT((c >> 16) & 0xFF, 190u);
            EXPECT_LT((c >> 8) & 0xFF, 190u);
            EXPECT_LT(c & 0xFF, 190u);
        }

    // Four characters fill x = 0..67; a margin shifts them.
    CBaseImage four;
    ASSERT_EQ(four.CreateBlank(100, 20, 0), Ok);
    DrawCaptcha(four, Options("HHHH", 0, 5));
    for (int i = 0; i < 4; ++i)
        EXPECT_FALSE(InkInColumns(four, 5 + 17 * i, 5 + 17 * (i + 1)).empty()) << i;
    EXPECT_TRUE(InkInColumns(four, 0, 5).empty());
    EXPECT_TRUE(InkInColumns(four, 73, 100).empty());
}

// The same thread state gives the same image; another state another one.
// All three distortions take their numbers from the thread's generator.
TEST(Captcha, RepeatableFromTheThreadState) {
    auto render = [](uint32_t seed, int flags) {
        ResetThreadRandom(seed);
        auto image = std::make_unique<CBaseImage>();
        EXPECT_EQ(image->CreateBlank(80, 24, 0xFFFFFFFF), Ok);
        DrawCaptcha(*image, Options("AB7k", flags));
        return image;
    };
    const int all = kCaptchaRotate | kCaptchaNoise | kCaptchaLines;
    auto a = render(1, all);
    auto b = render(1, all);
    auto c = render(2, all);
    EXPECT_TRUE(vstest::SamePixels(a->view(), b->view()));
    EXPECT_FALSE(vstest::SamePixels(a->view(), c->view()));
    for (int flag : {kCaptchaRotate, kCaptchaNoise, kCaptchaLines})
        EXPECT_FALSE(vstest::SamePixels(render(1, 0)->view(), render(1, flag)->view())) << flag;

    // Plain cells use three numbers each; rotation one more per character;
    // lines take 3 x 8.
    auto drawsFor = [](int flags) {
        ResetThreadRandom(7);
        CBaseImage image;
        EXPECT_EQ(image.CreateBlank(80, 24, 0), Ok);
        DrawCaptcha(image, Options("AB7k", flags));
        int next = ThreadRandom();
        ResetThreadRandom(7);
        for (int n = 0; n < 100; ++n)
            if (ThreadRandom() == next)
                return n;
        return -1;
    };
    EXPECT_EQ(drawsFor(0), 12);
    EXPECT_EQ(drawsFor(kCaptchaRotate), 16);
    EXPECT_EQ(drawsFor(kCaptchaLines), 12 + 24);
}

TEST(Captcha, NoBitmapAndCellsOutsideTheImage) {
    CBaseImage none;
    EXPECT_EQ(DrawCaptcha(none, Options("AB", 0)), WrongState);
    CBaseImage image;
    ASSERT_EQ(image.CreateBlank(30, 20, 0), Ok);
    EXPECT_EQ(DrawCaptcha(image, Options("ABCDEF", kCaptchaLines, 2000000000)), Ok);
    EXPECT_EQ(DrawCaptcha(image, Options("ABCDEF", 0, -2000000000)), Ok);
    EXPECT_TRUE(AlphaInk(image.view(), 1).empty());
}

// A long text on a small image costs only the cells that show, and the cells
// beyond the image still take their random numbers: the image and the
// generator's state come out as for the text drawn cell by cell.
TEST(Captcha, LongTextsDrawOnlyTheCellsThatShow) {
    CBaseImage longText, shortText;
    ASSERT_EQ(longText.CreateBlank(290, 300, 0xFFFFFFFF), Ok);
    ASSERT_EQ(shortText.CreateBlank(290, 300, 0xFFFFFFFF), Ok);
    CaptchaOptions o = Options("AB" + std::string(20000, 'W'), kCaptchaRotate);
    o.size = 200;  // cells of 296 pixels: only the first reaches the image
    ResetThreadRandom(3);
    EXPECT_EQ(DrawCaptcha(longText, o), Ok);
    const int afterLong = ThreadRandom();
    o.text = "AB";
    ResetThreadRandom(3);
    EXPECT_EQ(DrawCaptcha(shortText, o), Ok);
    for (int i = 0; i < 20000 * 4; ++i)
        ThreadRandom();
    EXPECT_EQ(afterLong, ThreadRandom());
    EXPECT_TRUE(vstest::SamePixels(longText.view(), shortText.view()));
    CBaseImage blank;
    ASSERT_EQ(blank.CreateBlank(290, 300, 0xFFFFFFFF), Ok);
    EXPECT_FALSE(vstest::SamePixels(longText.view(), blank.view()));  // the first cell shows

    // Cells left of the image are skipped the same way.
    o.text = std::string(20000, 'W') + "A";
    o.leftMargin = -20000 * 296;
    EXPECT_EQ(DrawCaptcha(longText, o), Ok);
}
