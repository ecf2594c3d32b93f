// Single commands applied in process: each operation must reach the engine
// with the values its reader computed, so the runner's result is compared
// with the engine called directly with the expected arguments.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "image/colour/adjustments.h"
#include "image/filters/gaussian_blur.h"
#include "image/filters/jitter.h"
#include "image/filters/noise.h"
#include "image/filters/oil_paint.h"
#include "image/filters/sharpen.h"
#include "image/filters/smoothing.h"
#include "image/random.h"
#include "image/text/captcha.h"
#include "image/text/draw_text.h"
#include "in_process_helpers.h"
#include "photocmd/result_codes.h"

using namespace Vs4Command;
using Vs4Image::CBaseImage;
using Vs4Image::Status;
using vstest::Checksum;
using vstest::PixelAt;

// Fontconfig keeps its configuration and matched fonts for the life of the
// process; leak checking would report those caches.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

namespace {

struct Case {
    std::string command;
    std::function<Status(CBaseImage&)> direct;  // the engine call the command must make
    int width = 120;                            // expected result size; 0: grown
    int height = 80;
    bool changes = true;  // false when the result may equal the input
};

// Runs each command on a fresh pattern and the direct call on another, and
// compares sizes and pixels. The random generator starts from the same state
// for both.
void ExpectSameAsEngine(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        vstest::InProcessRunner runner;
        CBaseImage viaRunner, direct;
        vstest::MakeColourful(viaRunner, 120, 80);
        vstest::MakeColourful(direct, 120, 80);
        const uint64_t before = Checksum(viaRunner);
        Vs4Image::ResetThreadRandom();
        ASSERT_EQ(runner.Run(viaRunner, c.command), kResultOk);
        Vs4Image::ResetThreadRandom();
        ASSERT_EQ(c.direct(direct), Vs4Image::Ok);
        if (c.width > 0) {
            EXPECT_EQ(viaRunner.width(), c.width);
            EXPECT_EQ(viaRunner.height(), c.height);
        } else {
            EXPECT_GT(viaRunner.width(), 120);
        }
        EXPECT_EQ(Checksum(viaRunner), Checksum(direct));  // the size is part of the sum
        if (c.changes) {
            EXPECT_NE(Checksum(viaRunner), before);  // the operation did something
        }
    }
}

}  // namespace

TEST(RunInProcess, GeometryReachesTheEngineWithTheReadValues) {
    ExpectSameAsEngine({
        {"cmd=thumb&w=60", [](CBaseImage& i) { return i.Resize(60, 0, 7, false); }, 60, 40},
        {"cmd=thumbnail&h=200&itpmode=5&noenlarge=true",
         [](CBaseImage& i) { return i.Resize(0, 200, 5, true); }, 120, 80, false},
        {"cmd=thumb&fit=true&w=50&h=50&ws=false&bgcolor=ff00ff00&scale=50",
         [](CBaseImage& i) { return i.FitInto(50, 50, false, 7, 0xFF00FF00); }, 50, 50},
        {"cmd=thumb&fit=t&w=50&h=60&bgcolor=000000",
         [](CBaseImage& i) { return i.FitInto(50, 60, true, 7, 0xFF000000); }, 50, 60},
        {"cmd=resize&scale=50&w=999", [](CBaseImage& i) { return i.Resize(60, 0, 2, false); }, 60,
         40},
        {"cmd=crop&w=30&h=20&bgcolor=ff0000ff",
         [](CBaseImage& i) { return i.Crop(45, 30, 30, 20, 0xFF0000FF); }, 30, 20},
        {"cmd=crop&x=100&y=70&w=40&h=-5",
         [](CBaseImage& i) { return i.Crop(100, 70, 40, 5, 0xFFFFFFFF); }, 40, 5},
        {"cmd=rotate&angle=90", [](CBaseImage& i) { return i.Rotate(90, 0xFFFFFFFF); }, 80, 120},
        // degree wins over angle; a free angle grows the canvas to the engine's size.
        {"cmd=rotate&degree=30&angle=45&bgcolor=80ff0000",
         [](CBaseImage& i) { return i.Rotate(30, 0x80FF0000); }, 0, 0},
        {"cmd=flip&horizontal=true", [](CBaseImage& i) { return i.Flip(true, false); }},
        {"cmd=flip&vertical=t", [](CBaseImage& i) { return i.Flip(false, true); }},
    });
}

// Every side that a resize, thumbnail or fit computes is at least one pixel:
// a sliver scaled down stays a one-pixel line, letterboxed it still shows.
TEST(RunInProcess, ComputedSidesAreAtLeastOnePixel) {
    struct Sliver {
        int width, height;
        std::string command;
        int wantWidth, wantHeight;
    } cases[] = {
        {65535, 1, "cmd=thumb&w=50", 50, 1},
        {1, 65535, "cmd=thumbnail&h=50", 1, 50},
        {65535, 1, "cmd=resize&w=50&h=0", 50, 1},
        {3, 1, "cmd=resize&scale=10", 1, 1},
        {65535, 1, "cmd=thumb&fit=true&w=50&h=51", 50, 51},
        {1, 65535, "cmd=thumb&fit=true&w=51&h=40", 51, 40},
    };
    for (const Sliver& c : cases) {
        SCOPED_TRACE(c.command + " on " + std::to_string(c.width) + "x" + std::to_string(c.height));
        vstest::InProcessRunner runner;
        runner.settings.maxResizeWidth = runner.settings.maxResizeHeight = 65535;
        CBaseImage image;
        ASSERT_EQ(image.CreateBlank(c.width, c.height, 0xFFFF0000), Vs4Image::Ok);
        ASSERT_EQ(runner.Run(image, c.command), kResultOk);
        EXPECT_EQ(image.width(), c.wantWidth);
        EXPECT_EQ(image.height(), c.wantHeight);
        // The sliver's red is drawn in the middle of the result.
        EXPECT_EQ(PixelAt(image, c.wantWidth / 2, c.wantHeight / 2), 0xFFFF0000u);
    }
}

TEST(RunInProcess, AutoCropPassesColourAndEveryMargin) {
    vstest::InProcessRunner runner;
    CBaseImage image;
    ASSERT_EQ(image.CreateBlank(100, 60, 0xFF00FF00), Vs4Image::Ok);
    CBaseImage inner;
    vstest::MakeColourful(inner, 20, 10);
    image.DrawImageAt(inner, 40, 30, 255);
    // The green border goes; the margins, each different, stay around the rest.
    ASSERT_EQ(runner.Run(image,
                         "cmd=autocrop&bgcolor=00ff00&marginleft=1&margintop=2&"
                         "marginright=3&marginbottom=4"),
              kResultOk);
    EXPECT_EQ(image.width(), 1 + 20 + 3);
    EXPECT_EQ(image.height(), 2 + 10 + 4);
    EXPECT_EQ(PixelAt(image, 1, 2), PixelAt(inner, 0, 0));
}

TEST(RunInProcess, ColourAndFilterFamiliesReachTheEngine) {
    using namespace Vs4Image;
    ExpectSameAsEngine({
        {"cmd=adjust&contrast=10&brightness=-20&saturation=30&hue=40&gamma=50",
         [](CBaseImage& i) { return AdjustImage(i, 10, -20, 30, 40, 50); }},
        {"cmd=adjustrgb&red=150&green=-30&blue=20",
         [](CBaseImage& i) { return AdjustRgb(i, 100, -30, 20); }},
        {"cmd=autolevel&min=0.2&max=0.7", [](CBaseImage& i) { return AutoLevel(i, 0.2f, 0.7f); }},
        {"cmd=negative", [](CBaseImage& i) { return Negative(i); }},
        {"cmd=sepia", [](CBaseImage& i) { return Sepia(i); }},
        {"cmd=gray", [](CBaseImage& i) { return Grayscale(i); }},
        {"cmd=blur&hradius=2&vradius=7", [](CBaseImage& i) { return GaussianBlur(i, 2, 7); }},
        {"cmd=smooth&weight=9", [](CBaseImage& i) { return Smooth(i, 3); }},
        {"cmd=sharpen&weight=4", [](CBaseImage& i) { return Sharpen(i, 4); }},
        {"cmd=jitter&radius=5", [](CBaseImage& i) { return Jitter(i, 5); }},
        {"cmd=noise&amount=120", [](CBaseImage& i) { return Noise(i, 120); }},
        {"cmd=oilpaint&radius=4", [](CBaseImage& i) { return OilPaint(i, 4); }},
    });
}

TEST(RunInProcess, TextAndVerificationCodesReachTheEngine) {
    using namespace Vs4Image;
    ExpectSameAsEngine({
        {"cmd=text&text=Hi+there%21&font=DejaVu+Sans&fontsize=14&fontstyle=1&align=2&wrap=true&"
         "x=5&y=6&w=100&h=60&color=ffff0000&hint=0",
         [](CBaseImage& i) {
             DrawText(i, TextStyle{"DejaVu Sans", 14, 1, 2, true, false, false}, "Hi there!",
                      RectF{5, 6, 100, 60}, 0xFFFF0000, 0);
             return Ok;
         }},
        {"cmd=text&text=%EC%95%88%EB%85%95&utf8=true&vertical=true&rightleft=true&fontsize=16&"
         "x=10&y=5&w=60&h=70",
         [](CBaseImage& i) {
             DrawText(i, TextStyle{"", 16, 0, 0, false, true, true}, "\xEC\x95\x88\xEB\x85\x95",
                      RectF{10, 5, 60, 70}, 0xFFFFFFFF, 5);
             return Ok;
         }},
        {"cmd=__captcha&text=AB%C3%9C&fontsize=20&fontstyle=2&leftmargin=4&flag=7",
         [](CBaseImage& i) {
             return DrawCaptcha(i, CaptchaOptions{"", 20, 2, "AB\xC3\x9C", 4, 7});
         }},
    });
}

TEST(RunInProcess, ReloadReturnsToTheImageAsLoaded) {
    vstest::InProcessRunner runner;
    CBaseImage image;
    image.flags = CBaseImage::kKeepPristine;
    vstest::MakeColourful(image, 120, 80);
    image.KeepPristineCopy();
    const uint64_t original = Checksum(image);
    ASSERT_EQ(runner.Run(image, "cmd=thumb&w=30"), kResultOk);
    ASSERT_EQ(runner.Run(image, "cmd=negative"), kResultOk);
    EXPECT_EQ(runner.Run(image, "cmd=__reload"), kResultOk);
    EXPECT_EQ(image.width(), 120);
    EXPECT_EQ(Checksum(image), original);

    // Without a kept copy nothing happens, and the answer is still 0.
    CBaseImage plain;
    vstest::MakeColourful(plain, 40, 30);
    ASSERT_EQ(runner.Run(plain, "cmd=gray"), kResultOk);
    const uint64_t grey = Checksum(plain);
    EXPECT_EQ(runner.Run(plain, "CMD=__RELOAD"), kResultOk);
    EXPECT_EQ(Checksum(plain), grey);
}

TEST(RunInProcess, UnknownOperationsAndFailuresLeaveTheirCodes) {
    vstest::InProcessRunner runner;
    CBaseImage image;
    vstest::MakeColourful(image, 60, 40);
    const uint64_t before = Checksum(image);
    // Operations of command files or of the handlers are unknown here.
    for (const char* command : {"cmd=layernew&name=a", "cmd=layerblend&from=a&to=b", "cmd=encode",
                                "cmd=umb", "w=5", "cmd=thumbs"})
        EXPECT_EQ(runner.Run(image, command), kResultUnknownOperation) << command;
    // A frame without a name, and a resize without sizes, fail through 200 + status.
    EXPECT_EQ(runner.Run(image, "cmd=frame"), 210);
    EXPECT_EQ(runner.Run(image, "cmd=resize"), 202);
    EXPECT_EQ(runner.Run(image, "cmd=thumb&w=0&h=0"), 202);
    EXPECT_EQ(Checksum(image), before);
    // An image without a bitmap answers the engine's status.
    CBaseImage empty;
    EXPECT_EQ(runner.Run(empty, "cmd=thumb&w=10"), 208);
}
