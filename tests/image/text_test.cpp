// Text drawn through the font library: hints, alignment, styles, fallback
// fonts, bad input, and the verification-code image.
#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "image/random.h"
#include "image/text/captcha.h"
#include "image/text/draw_text.h"
#include "image/text/font_family.h"
#include "image_test_util.h"

using namespace Vs4Image;
using vstest::AlphaInk;
using vstest::InkBox;
using vstest::PixelAt;
using vstest::SamePixels;

// Fontconfig keeps its configuration and the fonts it has matched for the
// life of the process; leak checking would report those caches.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

namespace {

const std::string kHangul = "\xED\x95\x9C\xEA\xB8\x80";

// Draws black text onto a transparent canvas and returns where the ink is.
InkBox Draw(CBaseImage& image, int w, int h, const TextStyle& style, const std::string& text,
            RectF rect, uint32_t hint = kTextOutlinePath, int minAlpha = 1) {
    EXPECT_EQ(image.CreateBlank(w, h, 0), Ok);
    DrawText(image, style, text, rect, 0xFF000000, hint);
    return AlphaInk(image.view(), minAlpha);
}

}  // namespace

// Hint 0 gives the same anti-aliased pixels on any thread and after other
// hints; 1 and 2 one-bit glyphs; 4 grey and 5 coloured sub-pixel edges.
TEST(DrawText, RenderingHints) {
    const TextStyle style{"Arial", 14};
    const RectF rect{4, 4, 0, 0};
    CBaseImage first, other, again, threaded;
    Draw(first, 120, 40, style, "Quiz 7", rect);
    Draw(other, 120, 40, style, "Quiz 7", rect, kTextSubpixelGridFit);
    Draw(again, 120, 40, style, "Quiz 7", rect);
    std::thread([&] { Draw(threaded, 120, 40, style, "Quiz 7", rect); }).join();
    EXPECT_TRUE(SamePixels(first, again));
    EXPECT_TRUE(SamePixels(first, threaded));
    auto alphas = [](const CBaseImage& image) {
        std::set<int> seen;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                seen.insert(PixelAt(image, x, y) >> 24);
        return seen;
    };
    EXPECT_GT(alphas(first).size(), 10u);
    for (uint32_t hint : {kTextMonoGridFit, kTextMono}) {
        CBaseImage mono;
        Draw(mono, 120, 40, style, "Quiz 7", rect, hint);
        EXPECT_EQ(alphas(mono), (std::set<int>{0, 255})) << hint;
    }
}

// Near, centre and far put the ink at the start, middle and end of the
// rectangle along the line: left to right, right to left (near and far
// swapped), wrapped, and down vertical lines.
TEST(DrawText, AlignmentAlongTheLine) {
    // Alignment, right to left, wrap, vertical, and where the ink starts
    // (near), is centred, or ends (far).
    const std::tuple<int, bool, bool, bool, double> cases[] = {
        {0, false, false, false, 50}, {1, false, false, false, 150}, {2, false, false, false, 249},
        {0, true, false, false, 249}, {2, true, false, false, 50},   {2, false, true, false, 249},
        {1, false, true, false, 150}, {0, true, true, false, 249},   {0, false, false, true, 20},
        {1, false, false, true, 120}, {2, false, false, true, 219}};
    for (const auto& [alignment, rtl, wrap, vertical, want] : cases) {
        const TextStyle style{"Arial", 12, 0, alignment, wrap, vertical, rtl};
        CBaseImage image;
        const InkBox ink = vertical ? Draw(image, 60, 240, style, "HHH", {10, 20, 40, 200})
                                    : Draw(image, 300, 40, style, "HHH", {50, 5, 200, 30});
        const int start = vertical ? ink.top : ink.left, end = vertical ? ink.bottom : ink.right;
        const bool ending = (alignment == 2) != rtl && alignment != 1;
        const double got = alignment == 1 ? (start + end + 1) / 2.0 : ending ? end : start;
        EXPECT_NEAR(got, want, alignment == 1 ? 2 : 3)
            << alignment << " rtl " << rtl << " wrap " << wrap << " vertical " << vertical;
    }
    // Lines of an unwrapped text are aligned one by one too.
    CBaseImage two;
    Draw(two, 300, 60, TextStyle{"Arial", 12, 0, 2}, "HH\nHHHHHH", {50, 5, 200, 50});
    const InkBox top = AlphaInk(two, 0, 0, 300, 20), bottom = AlphaInk(two, 0, 20, 300, 40);
    EXPECT_NEAR(top.right, 249, 3);
    EXPECT_NEAR(bottom.right, 249, 3);
    EXPECT_GT(bottom.width(), 2 * top.width());
}

// Underline adds ink below the baseline, strikeout a bar between letters.
TEST(DrawText, UnderlineAndStrikeout) {
    CBaseImage plain, under, struck;
    const InkBox p = Draw(plain, 100, 50, TextStyle{"Arial", 20}, "HH", {5, 5, 0, 0}, 0, 128);
    EXPECT_GT(
        Draw(under, 100, 50, TextStyle{"Arial", 20, kFontUnderline}, "HH", {5, 5, 0, 0}, 0, 128)
            .bottom,
        p.bottom);
    Draw(struck, 100, 50, TextStyle{"Arial", 20, kFontStrikeout}, "HH", {5, 5, 0, 0});
    int gapX = -1;
    for (int x = p.left + 4; x <= p.right && gapX < 0; ++x)
        if (AlphaInk(plain, x, 0, 1, 50).empty())
            gapX = x;
    ASSERT_GT(gapX, 0);
    EXPECT_FALSE(AlphaInk(struck, gapX, 0, 1, 50, 129).empty());
}

// "NanumSquare Bold" has a bold face only: any requested style is drawn as
// that bold face alone, without underline, strikeout or slant.
TEST(DrawText, TheBoldFallbackIsBoldAlone) {
    EXPECT_EQ(SystemFonts().FindFamily("No Such Family 123"), "");
    const ResolvedFont boldOnly = ResolveFont(SystemFonts(), "NanumSquare Bold", 0);
    EXPECT_EQ(boldOnly.family, "NanumSquare Bold");
    EXPECT_EQ(boldOnly.style, kFontBold);
    CBaseImage bold, emboldened;
    ASSERT_FALSE(
        Draw(bold, 100, 40, TextStyle{"NanumSquare Bold", 16, kFontBold}, kHangul, {2, 2, 0, 0})
            .empty());
    Draw(emboldened, 100, 40, TextStyle{"NanumSquare", 16, kFontBold}, kHangul, {2, 2, 0, 0});
    EXPECT_TRUE(SamePixels(bold, emboldened));
    for (int32_t style : {0, kFontItalic | kFontUnderline | kFontStrikeout}) {
        CBaseImage fallback;
        Draw(fallback, 100, 40, TextStyle{"NanumSquare Bold", 16, style}, kHangul, {2, 2, 0, 0});
        EXPECT_TRUE(SamePixels(fallback, bold)) << "style " << style;
    }
}

// Hangul and accented Latin find glyphs (Hangul by fallback); a private-use one is missing.
TEST(DrawText, NonAsciiDrawsGlyphs) {
    for (const std::string& text : {kHangul, std::string("\xC3\x89l\xC3\xA8ve \xC3\xBC\xC3\xB1")}) {
        EXPECT_EQ(MeasureText(TextStyle{"Arial", 16}, text).missingGlyphs, 0) << text;
        CBaseImage image;
        EXPECT_GT(Draw(image, 200, 50, TextStyle{"Arial", 16}, text, {4, 4, 0, 0}, 0, 128).width(),
                  20);
    }
    EXPECT_GT(MeasureText(TextStyle{"Arial", 16}, "\xEE\x80\x80").missingGlyphs, 0);
}

// Nothing is drawn without a bitmap, for a size that is not positive or that
// the text library cannot hold (it counts 1/1024 pixels in 32 bits), for an
// empty text or an endless box; broken UTF-8 is drawn, not refused.
TEST(DrawText, BadInputDrawsNothingAndDoesNotFail) {
    CBaseImage empty, image;
    DrawText(empty, TextStyle{"Arial"}, "x", RectF{}, 0xFF000000, 0);
    for (float size : {0.0f, 2e6f, 1e30f, INFINITY}) {
        EXPECT_TRUE(
            Draw(image, 200, 100, TextStyle{"Arial", size}, "Hello", {0, 0, 200, 100}).empty())
            << size;
        EXPECT_EQ(MeasureText(TextStyle{"Arial", size}, "Hello", 0).width, 0.0f) << size;
    }
    EXPECT_TRUE(Draw(image, 50, 30, TextStyle{"Arial"}, "", {}).empty());
    EXPECT_TRUE(Draw(image, 50, 30, TextStyle{"Arial"}, "x", {0, 0, 1e30f, 10}).empty());
    EXPECT_FALSE(Draw(image, 50, 30, TextStyle{"Arial"}, "a\xFF\xC3", {2, 2, 0, 0}, 9).empty());
}

namespace {

// Draws `text` (Arial 12) onto a transparent w x h canvas from the thread
// generator's state `seed`; returns how many numbers of the generator it took.
int DrawCode(CBaseImage& image, uint32_t seed, int flags, const std::string& text = "AB7k",
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
    DrawCode(image, 1, 0, "H H ", 5, 100, 20);
    const int edges[] = {0, 5, 22, 39, 56, 73, 100};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(AlphaInk(image, edges[i], 0, edges[i + 1] - edges[i], 20).empty(),
                  i != 1 && i != 3)
            << i;
    }
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 100; ++x) {
            const Argb c = PixelAt(image, x, y);
            EXPECT_TRUE(!(c >> 24) ||
                        ((c >> 16 & 0xFF) < 190 && (c >> 8 & 0xFF) < 190 && (c & 0xFF) < 190));
        }
    const int all = kCaptchaRotate | kCaptchaNoise | kCaptchaLines;
    EXPECT_EQ(DrawCode(plain, 7, 0), 12);
    // Noise's count (0) is not checked.
    for (const auto& [flags, draws] : {std::pair{int{kCaptchaRotate}, 16},
                                       {kCaptchaLines, 12 + 24},
                                       {kCaptchaNoise, 0},
                                       {all, 0}}) {
        const int n = DrawCode(image, 7, flags);
        EXPECT_TRUE(n == draws || draws == 0) << flags;
        EXPECT_FALSE(SamePixels(plain, image)) << flags;
    }
    DrawCode(again, 7, all);
    EXPECT_TRUE(SamePixels(image, again));
    CBaseImage none;
    EXPECT_EQ(DrawCaptcha(none, CaptchaOptions{"Arial", 12, 0, "AB"}), WrongState);
    DrawCode(image, 1, kCaptchaLines, "ABCDEF", 2000000000, 30, 20);
    EXPECT_TRUE(AlphaInk(image.view(), 1).empty());
    DrawCode(image, 1, 0, "ABCDEF", -2000000000, 30, 20);
    EXPECT_TRUE(AlphaInk(image.view(), 1).empty());
}
