#include "image/text/draw_text.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <set>
#include <thread>
#include <vector>

#include "image/ink_probe.h"
#include "image/text/font_family.h"

using namespace Vs4Image;
using vstest::AlphaInk;
using vstest::InkBox;
using vstest::PixelAt;

// Fontconfig keeps its configuration and the fonts it has matched for the
// life of the process; leak checking would report those caches.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

namespace {

constexpr Argb kBlack = 0xFF000000;

TextStyle Style(const std::string& font, float size, int32_t bits = 0) {
    TextStyle s;
    s.fontName = font;
    s.size = size;
    s.style = bits;
    return s;
}

// Draws onto a transparent canvas and hands it back.
CBaseImage* Draw(CBaseImage& image, int w, int h, const TextStyle& style, const std::string& text,
                 RectF rect, uint32_t hint = kTextOutlinePath, Argb colour = kBlack) {
    EXPECT_EQ(image.CreateBlank(w, h, 0), Ok);
    DrawText(image, style, text, rect, colour, hint);
    return &image;
}

}  // namespace

// Arial and its metric twin Liberation Sans have capitals 1409/2048 of the em
// high, so at an em of size * 4/3 pixels the drawn "H" has that height.
TEST(DrawText, EmIsFourThirdsOfThePointSize) {
    for (float points : {12.0f, 48.0f}) {
        CBaseImage image;
        Draw(image, 200, 120, Style("Arial", points), "H", RectF{10, 10, 0, 0});
        const InkBox ink = AlphaInk(image.view());
        const double em = points * 4.0 / 3.0;
        EXPECT_NEAR(ink.height(), em * 1409.0 / 2048.0, 1.0) << points << " pt";
        const TextExtents m = MeasureText(Style("Arial", points), "H");
        EXPECT_NEAR(m.inkHeight, em * 1409.0 / 2048.0, 0.5);
    }
}

// Hint 0 fills outlines with its own fixed settings: the same pixels on any
// thread and after other hints, anti-aliased; hints 1 and 2 give one-bit
// glyphs, 4 grey and 5 coloured sub-pixel edges.
TEST(DrawText, RenderingHints) {
    const TextStyle style = Style("Arial", 14);
    const RectF rect{4, 4, 0, 0};
    CBaseImage first;
    Draw(first, 120, 40, style, "Quiz 7", rect);
    CBaseImage other;
    Draw(other, 120, 40, style, "Quiz 7", rect, kTextMonoGridFit);
    Draw(other, 120, 40, style, "Quiz 7", rect, kTextSubpixelGridFit);
    CBaseImage again;
    Draw(again, 120, 40, style, "Quiz 7", rect);
    EXPECT_TRUE(vstest::SamePixels(first.view(), again.view()));
    CBaseImage threaded;
    std::thread([&] { Draw(threaded, 120, 40, style, "Quiz 7", rect); }).join();
    EXPECT_TRUE(vstest::SamePixels(first.view(), threaded.view()));

    auto alphas = [](const CBaseImage& image) {
        std::set<int> seen;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                seen.insert(PixelAt(image.view(), x, y) >> 24);
        return seen;
    };
    EXPECT_GT(alphas(first).size(), 10u);
    for (uint32_t hint : {kTextMonoGridFit, kTextMono}) {
        CBaseImage mono;
        Draw(mono, 120, 40, style, "Quiz 7", rect, hint);
        EXPECT_EQ(alphas(mono), (std::set<int>{0, 255})) << hint;
    }

    // On opaque white, grey anti-aliasing keeps red = green = blue; sub-pixel
    // rendering does not.
    auto colourFringes = [&](uint32_t hint) {
        CBaseImage image;
        EXPECT_EQ(image.CreateBlank(120, 40, 0xFFFFFFFF), Ok);
        DrawText(image, style, "Quiz 7", rect, kBlack, hint);
        int fringes = 0;
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 120; ++x) {
                const Argb c = PixelAt(image.view(), x, y);
                fringes += ((c >> 16) & 0xFF) != (c & 0xFF);
            }
        return fringes;
    };
    EXPECT_EQ(colourFringes(kTextAntiAlias), 0);
    EXPECT_GT(colourFringes(kTextSubpixelGridFit), 0);
}

// Without wrapping a long text stays on one line and is cut at the
// rectangle; with wrapping it takes several lines inside it.
TEST(DrawText, WrapAndClip) {
    const std::string text = "one two three four five six";
    TextStyle style = Style("Arial", 12);
    CBaseImage single;
    Draw(single, 200, 200, style, text, RectF{10, 10, 60, 150});
    const InkBox line = AlphaInk(single.view(), 1);
    EXPECT_LT(line.height(), 20);
    EXPECT_GE(line.left, 10);
    EXPECT_LE(line.right, 69);

    style.wrap = true;
    CBaseImage wrapped;
    Draw(wrapped, 200, 200, style, text, RectF{10, 10, 60, 150});
    const InkBox block = AlphaInk(wrapped.view(), 1);
    EXPECT_GT(block.height(), 3 * 16);
    EXPECT_LE(block.right, 69);

    // A zero-size rectangle neither wraps nor clips.
    CBaseImage open;
    Draw(open, 300, 40, style, text, RectF{10, 10, 0, 0});
    const InkBox free = AlphaInk(open.view(), 1);
    EXPECT_LT(free.height(), 20);
    EXPECT_GT(free.right, 150);
}

// Near, centre and far put the ink at the start, middle and end of the
// rectangle; right-to-left reading order swaps near and far; with a
// zero-size rectangle centre means centred on x.
TEST(DrawText, AlignmentMovesTheInk) {
    TextStyle style = Style("Arial", 12);
    auto inkFor = [&](int alignment, bool rtl, RectF rect) {
        style.alignment = alignment;
        style.rightToLeft = rtl;
        CBaseImage image;
        Draw(image, 300, 40, style, "HHH", rect);
        return AlphaInk(image.view(), 1);
    };
    const RectF box{50, 5, 200, 30};
    const InkBox nearInk = inkFor(0, false, box);
    const InkBox centre = inkFor(1, false, box);
    const InkBox farInk = inkFor(2, false, box);
    EXPECT_NEAR(nearInk.left, 50, 3);
    EXPECT_NEAR(centre.centreX(), 150, 2);
    EXPECT_NEAR(farInk.right, 249, 3);
    EXPECT_EQ(nearInk.width(), farInk.width());
    EXPECT_NEAR(inkFor(0, true, box).right, 249, 3);
    EXPECT_NEAR(inkFor(2, true, box).left, 50, 3);
    EXPECT_NEAR(inkFor(1, false, RectF{150, 5, 0, 0}).centreX(), 150, 2);

    // Lines of an unwrapped text are aligned one by one too.
    style.alignment = 2;
    style.rightToLeft = false;
    CBaseImage twoLines;
    Draw(twoLines, 300, 60, style, "HH\nHHHHHH", RectF{50, 5, 200, 50});
    const PixelView v = twoLines.view();
    const InkBox top = AlphaInk(PixelView{v.data, v.width, 20, v.stride}, 1);
    const InkBox bottom = AlphaInk(PixelView{v.row(20), v.width, 40, v.stride}, 1);
    EXPECT_NEAR(top.right, 249, 3);
    EXPECT_NEAR(bottom.right, 249, 3);
    EXPECT_GT(bottom.width(), 2 * top.width());

    // Wrapped lines are aligned one by one.
    style.wrap = true;
    EXPECT_NEAR(inkFor(2, false, box).right, 249, 3);
    EXPECT_NEAR(inkFor(1, false, box).centreX(), 150, 2);
    EXPECT_NEAR(inkFor(0, true, box).right, 249, 3);
    EXPECT_NEAR(inkFor(0, false, box).left, 50, 3);
}

// Vertical lines run downwards.
TEST(DrawText, VerticalLines) {
    TextStyle style = Style("Arial", 12);
    style.vertical = true;
    CBaseImage image;
    Draw(image, 100, 200, style, "HHHHHH", RectF{10, 10, 40, 180});
    const InkBox ink = AlphaInk(image.view(), 1);
    EXPECT_GT(ink.height(), 3 * ink.width());
    EXPECT_GE(ink.left, 10);
    EXPECT_LE(ink.right, 49);
    EXPECT_GE(ink.top, 10);
}

// Underline adds ink below the baseline, strikeout a bar through the middle.
TEST(DrawText, UnderlineAndStrikeout) {
    CBaseImage plain, under, struck;
    Draw(plain, 100, 50, Style("Arial", 20), "HH", RectF{5, 5, 0, 0});
    Draw(under, 100, 50, Style("Arial", 20, kFontUnderline), "HH", RectF{5, 5, 0, 0});
    Draw(struck, 100, 50, Style("Arial", 20, kFontStrikeout), "HH", RectF{5, 5, 0, 0});
    const InkBox p = AlphaInk(plain.view());
    EXPECT_GT(AlphaInk(under.view()).bottom, p.bottom);
    // Between the two H's the middle of the line is empty without strikeout.
    int gapX = -1;
    for (int x = p.left; x <= p.right && gapX < 0; ++x) {
        bool column = false;
        for (int y = p.top; y <= p.bottom; ++y)
            column |= (PixelAt(plain.view(), x, y) >> 24) > 0;
        if (!column && x > p.left + 3)
            gapX = x;
    }
    ASSERT_GT(gapX, 0);
    bool bar = false;
    for (int y = p.top; y <= p.bottom; ++y)
        bar |= (PixelAt(struck.view(), gapX, y) >> 24) > 128;
    EXPECT_TRUE(bar);
}

// The family rules over a catalogue of our own, then against the system's
// fonts: aliases resolve, unknown names fall back and still draw.
class FakeFonts : public FontCatalogue {
public:
    std::map<std::string, std::vector<FaceStyle>> families;
    std::string FindFamily(const std::string& name) override {
        return families.count(name) ? name : std::string();
    }
    std::vector<FaceStyle> Faces(const std::string& family) override { return families[family]; }
    std::string SansSerifFamily() override { return "Generic"; }
};

TEST(DrawText, FontFallback) {
    FakeFonts fonts;
    fonts.families["Arial"] = {{false, false}, {true, false}};
    fonts.families["BoldOnly"] = {{true, false}};
    fonts.families["ItalicOnly"] = {{false, true}};
    EXPECT_EQ(ResolveFont(fonts, "Nope", 2).family, "Arial");
    EXPECT_EQ(ResolveFont(fonts, "", 0).family, "Arial");
    const ResolvedFont bold = ResolveFont(fonts, "BoldOnly", kFontUnderline);
    EXPECT_EQ(bold.family, "BoldOnly");
    EXPECT_EQ(bold.style, kFontBold);
    const ResolvedFont italic = ResolveFont(fonts, "ItalicOnly", 0);
    EXPECT_EQ(italic.family, "Arial");
    EXPECT_EQ(italic.style, 0);
    EXPECT_EQ(ResolveFont(fonts, "ItalicOnly", kFontItalic | kFontUnderline).style,
              kFontItalic | kFontUnderline);
    fonts.families.erase("Arial");
    EXPECT_EQ(ResolveFont(fonts, "ItalicOnly", 0).family, "Generic");

    FontCatalogue& system = SystemFonts();
    EXPECT_EQ(system.FindFamily("Arial"), "Liberation Sans");
    EXPECT_EQ(system.FindFamily("nanumgothic"), "NanumGothic");
    EXPECT_EQ(system.FindFamily("No Such Family 123"), "");
    EXPECT_FALSE(system.SansSerifFamily().empty());
    // "NanumSquare Bold" names the bold face alone: asked for regular, it is
    // drawn bold.
    const ResolvedFont boldOnly = ResolveFont(system, "NanumSquare Bold", 0);
    EXPECT_EQ(boldOnly.family, "NanumSquare Bold");
    EXPECT_EQ(boldOnly.style, kFontBold);
    EXPECT_EQ(ResolveFont(system, "NanumSquare", 0).style, 0);
    CBaseImage regular, emboldened;
    const std::string hangul = "\xED\x95\x9C\xEA\xB8\x80";
    Draw(regular, 100, 40, Style("NanumSquare Bold", 16), hangul, RectF{2, 2, 0, 0});
    Draw(emboldened, 100, 40, Style("NanumSquare", 16, kFontBold), hangul, RectF{2, 2, 0, 0});
    EXPECT_TRUE(vstest::SamePixels(regular.view(), emboldened.view()));

    CBaseImage arial, unknown;
    Draw(arial, 120, 40, Style("Arial", 14), "Hello", RectF{4, 4, 0, 0});
    Draw(unknown, 120, 40, Style("No Such Family 123", 14), "Hello", RectF{4, 4, 0, 0});
    EXPECT_FALSE(AlphaInk(unknown.view()).empty());
    EXPECT_TRUE(vstest::SamePixels(arial.view(), unknown.view()));
}

// "NanumSquare Bold" has a bold face only, so any other requested style
// falls back to bold, and bold alone: the requested underline, strikeout
// and italic are not drawn over it.
TEST(DrawText, TheBoldFallbackIsBoldAlone) {
    const std::string hangul = "\xED\x95\x9C\xEA\xB8\x80";
    CBaseImage bold;
    Draw(bold, 100, 40, Style("NanumSquare Bold", 16, kFontBold), hangul, RectF{2, 2, 0, 0});
    ASSERT_FALSE(AlphaInk(bold.view()).empty());
    for (int32_t style :
         {int32_t{kFontUnderline}, int32_t{kFontStrikeout}, kFontItalic | kFontUnderline,
          kFontItalic | kFontUnderline | kFontStrikeout}) {
        CBaseImage fallback;
        Draw(fallback, 100, 40, Style("NanumSquare Bold", 16, style), hangul, RectF{2, 2, 0, 0});
        EXPECT_TRUE(vstest::SamePixels(fallback.view(), bold.view())) << "style " << style;
    }
}

// Hangul and accented Latin find real glyphs (through font fallback where
// the chosen family lacks them) and draw ink; a private-use character shows
// that missing glyphs would be noticed.
TEST(DrawText, NonAsciiDrawsGlyphs) {
    for (const char* text : {"\xED\x95\x9C\xEA\xB8\x80", "\xC3\x89l\xC3\xA8ve \xC3\xBC\xC3\xB1"}) {
        for (const char* font : {"Arial", "NanumGothic"}) {
            EXPECT_EQ(MeasureText(Style(font, 16), text).missingGlyphs, 0) << text << font;
            CBaseImage image;
            Draw(image, 200, 50, Style(font, 16), text, RectF{4, 4, 0, 0});
            EXPECT_GT(AlphaInk(image.view()).width(), 20) << text << font;
        }
    }
    EXPECT_GT(MeasureText(Style("Arial", 16), "\xEE\x80\x80").missingGlyphs, 0);
}

// Several threads set text at once (each with its own font map) and get the
// pixels a single thread gets.
TEST(DrawText, ConcurrentThreadsAgree) {
    const TextStyle styles[3] = {Style("Arial", 13), Style("NanumGothic", 15, kFontBold),
                                 Style("No Such Family 9", 11, kFontItalic)};
    const std::string text = "Vistrel \xED\x95\x9C\xEA\xB8\x80 \xC3\xA9t\xC3\xA9";
    CBaseImage reference[3];
    for (int i = 0; i < 3; ++i)
        Draw(reference[i], 160, 30, styles[i], text, RectF{2, 2, 0, 0}, i + 3);
    std::vector<std::thread> threads;
    std::atomic<int> mismatches{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int round = 0; round < 15; ++round) {
                const int i = (t + round) % 3;
                CBaseImage image;
                Draw(image, 160, 30, styles[i], text, RectF{2, 2, 0, 0}, i + 3);
                if (!vstest::SamePixels(image.view(), reference[i].view()))
                    ++mismatches;
            }
        });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(mismatches.load(), 0);
}

// Nothing is drawn for an image without a bitmap, a size that is not
// positive, or an empty text; broken UTF-8 is drawn, not refused.
TEST(DrawText, BadInputDrawsNothingAndDoesNotFail) {
    CBaseImage empty;
    DrawText(empty, Style("Arial", 12), "x", RectF{}, kBlack, 0);
    CBaseImage image;
    Draw(image, 50, 30, Style("Arial", 0), "x", RectF{});
    EXPECT_TRUE(AlphaInk(image.view(), 1).empty());
    Draw(image, 50, 30, Style("Arial", 12), "", RectF{});
    EXPECT_TRUE(AlphaInk(image.view(), 1).empty());
    Draw(image, 50, 30, Style("Arial", 12), "x", RectF{0, 0, 1e30f, 10});
    EXPECT_TRUE(AlphaInk(image.view(), 1).empty());
    Draw(image, 50, 30, Style("Arial", 12), "a\xFF\xC3", RectF{2, 2, 0, 0}, 9);
    EXPECT_FALSE(AlphaInk(image.view(), 1).empty());
}

// Sizes whose pixel size the text library cannot hold (it counts in 1/1024
// pixel in 32-bit integers) draw and measure nothing instead of text at a
// size of the library's choosing.
TEST(DrawText, SizesBeyondTheLibrarysRangeDrawNothing) {
    for (float size : {2e6f, 1e9f, 1e30f, INFINITY}) {
        CBaseImage image;
        Draw(image, 200, 100, Style("Arial", size), "Hello", RectF{0, 0, 200, 100});
        EXPECT_TRUE(AlphaInk(image.view(), 1).empty()) << size;
        EXPECT_EQ(MeasureText(Style("Arial", size), "Hello", 0).width, 0.0f) << size;
    }
}

// Text in a box is drawn on images of any size: only the box is opened for
// drawing, so an image wider than 32767 pixels (the graphics library's
// largest surface) takes boxed text like any other, and the ink stays in
// the box.
TEST(DrawText, BoxedTextOnAVeryWideImage) {
    CBaseImage image;
    Draw(image, 40000, 40, Style("Arial", 12), "Hello", RectF{39900.5f, 2, 99, 30});
    const InkBox ink = AlphaInk(image.view(), 1);
    EXPECT_FALSE(ink.empty());
    EXPECT_GE(ink.left, 39900);
    EXPECT_LE(ink.bottom, 32);
    // A box wholly outside the image draws nothing.
    Draw(image, 40000, 40, Style("Arial", 12), "Hello", RectF{40000, 0, 50, 30});
    EXPECT_TRUE(AlphaInk(image.view(), 1).empty());
}
