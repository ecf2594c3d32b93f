// Images beyond the graphics library's largest surface (32767 pixels a
// side) take every drawing operation.
#include <gtest/gtest.h>

#include <fstream>

#include "image/frame/apply_frame.h"
#include "image/graphics.h"
#include "image/text/draw_text.h"
#include "image_test_util.h"

using namespace Vs4Image;
using VsTest::ExpectPixels;
using vstest::PixelAt;

namespace {

constexpr Argb kWhite = 0xFFFFFFFF, kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF;

// Whether the column `at` (or, `row` set, the row) holds a reddish pixel.
bool RedAcross(const CBaseImage& image, int at, bool row = false) {
    for (int i = 0; i < (row ? image.width() : image.height()); ++i) {
        const Argb c = row ? PixelAt(image, i, at) : PixelAt(image, at, i);
        if ((c >> 16 & 0xFF) > 200 && (c >> 8 & 0xFF) < 100 && (c & 0xFF) < 100)
            return true;
    }
    return false;
}

// "Hello" in red Arial 12 into `box`.
void Hello(CBaseImage& image, RectF box) {
    DrawText(image, TextStyle{"Arial"}, "Hello", box, kRed, kTextOutlinePath);
}

// What, the canvas's width, height and colour, the drawing and its check.
using Case = std::tuple<const char*, int, int, Argb, std::function<Status(CBaseImage&)>,
                        std::function<void(const CBaseImage&)>>;

}  // namespace

TEST(LargeImages, EveryDrawingOperationWorksBeyondOneSurface) {
    vstest::TempDir folder;
    VsTest::SavePicture(folder / "corners.png", 30, 30, kBlue);
    std::ofstream(folder / "nine.xml")
        << R"(<frame src="corners.png"><lefttop x="0" y="0" width="10" height="10" drawx="10")"
           R"( drawy="10"/><rightbottom x="20" y="20" width="10" height="10"/></frame>)";
    const VsTest::Rect clearMiddle[] = {{10, 10, 80, 80, 0}};
    VsTest::SavePicture(folder / "over.png", 100, 100, kRed, clearMiddle);
    std::ofstream(folder / "over.xml")
        << R"(<frame><horizontal src="over.png" x1="10" y1="10" x2="90" y2="10" x3="10" y3="90"/>)"
           R"(<vertical src="over.png" x1="10" y1="10" x2="90" y2="10" x3="10" y3="90"/></frame>)";
    const Case cases[] = {
        // Shrunk 650 times, a quarter of the canvas still reads more source
        // than one surface holds.
        {"a very wide source drawn shrunk", 100, 2, kBlue,
         [](CBaseImage& i) {
             CBaseImage source;
             EXPECT_EQ(source.CreateBlank(65000, 1, kRed), Ok);
             for (int x = 32500; x < 65000; ++x)
                 vstest::SetPixel(source, x, 0, kGreen);
             Graphics g(*i.bitmap());
             ImageDrawOptions options;
             options.interpolation = kInterpolationNearestNeighbor;
             g.DrawImage(source.view(), 0, 0, 100, 2, options);
             return Ok;
         },
         [](const CBaseImage& i) {
             for (int x : {0, 10, 49, 50, 75, 99})
                 EXPECT_EQ(PixelAt(i, x, 1), x < 50 ? kRed : kGreen) << x;
         }},
        {"boxed text", 33000, 40, 0,
         [](CBaseImage& i) {
             Hello(i, {32900.5f, 2, 99, 30});
             Hello(i, {33000, 0, 50, 30});
             return Ok;
         },
         [](const CBaseImage& i) {
             const vstest::InkBox ink = vstest::AlphaInk(i.view(), 1);
             EXPECT_GE(ink.left, 32900);
             EXPECT_LE(ink.bottom, 32);
             EXPECT_FALSE(ink.empty());
         }},
        // Across the line where two surfaces meet (x = 20000) the text has
        // the pixels of the same text on a small image.
        {"text without a box", 33000, 40, 0,
         [](CBaseImage& i) {
             Hello(i, {19980, 2, 0, 0});
             Hello(i, {32950, 2, 0, 0});
             return Ok;
         },
         [](const CBaseImage& i) {
             EXPECT_FALSE(vstest::AlphaInk(i, 32900, 0, 100, 40).empty());
             CBaseImage small;
             ASSERT_EQ(small.CreateBlank(100, 40, 0), Ok);
             Hello(small, {10, 2, 0, 0});
             ASSERT_FALSE(vstest::AlphaInk(small.view(), 1).empty());
             int differing = 0;
             for (int y = 0; y < 40; ++y)
                 for (int x = 0; x < 100; ++x)
                     differing += PixelAt(i, 19970 + x, y) != PixelAt(small, x, y);
             EXPECT_EQ(differing, 0);
         }},
        {"rotation of a wide strip", 33000, 2, kRed,
         [](CBaseImage& i) { return i.Rotate(1, kWhite); },
         [](const CBaseImage& i) {
             EXPECT_EQ(i.width(), 32996);
             for (int x : {100, 19997, 20000, 32000})
                 EXPECT_TRUE(RedAcross(i, x)) << "column " << x;
         }},
        {"rotation of a tall strip", 2, 33000, kRed,
         [](CBaseImage& i) { return i.Rotate(359, kWhite); },
         [](const CBaseImage& i) {
             EXPECT_EQ(i.height(), 32996);
             for (int y : {100, 19997, 20000, 32000})
                 EXPECT_TRUE(RedAcross(i, y, true)) << "row " << y;
         }},
        {"nine-patch frame", 33000, 64, kGreen,
         [&](CBaseImage& i) { return ApplyFrame(i, folder.path(), "nine"); },
         [](const CBaseImage& i) {
             ExpectPixels(
                 i, {{5, 5, kBlue}, {20000, 32, kGreen}, {32000, 32, kGreen}, {32995, 60, kBlue}});
         }},
        {"overlay frame", 33000, 64, kGreen,
         [&](CBaseImage& i) { return ApplyFrame(i, folder.path(), "over"); },
         [](const CBaseImage& i) {
             ExpectPixels(
                 i,
                 {{1000, 32, kRed}, {20000, 32, kGreen}, {29000, 32, kGreen}, {32000, 32, kRed}});
         }},
    };
    for (const auto& [name, width, height, colour, run, check] : cases) {
        SCOPED_TRACE(name);
        CBaseImage image;
        ASSERT_EQ(image.CreateBlank(width, height, colour), Ok);
        ASSERT_EQ(run(image), Ok);
        check(image);
    }
}
