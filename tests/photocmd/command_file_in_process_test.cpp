// Command files run in process: lines in order on their layers, the layer
// operations and their statuses, and the ends of a run.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "image/blend/blend_layer.h"
#include "image/colour/adjustments.h"
#include "image/filters/sharpen.h"
#include "image/text/draw_text.h"
#include "in_process_helpers.h"
#include "photocmd/result_codes.h"
#include "support/temp_dir.h"

using namespace Vs4Command;
using Vs4Image::CBaseImage;
using vstest::Checksum;
using vstest::PixelAt;

namespace {

constexpr Vs4Image::Argb kWhite = 0xFFFFFFFF;
constexpr Vs4Image::Argb kBlue = 0xFF0000FF;

class CommandFileInProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(home_ / "Command/Images");
        runner_.folders = {home_ / "Frame", home_ / "Command/Images"};
        ASSERT_EQ(white_.CreateBlank(40, 30, kWhite), Vs4Image::Ok);
    }
    // Runs `content` as a command file on `image` for the request.
    int Run(CBaseImage& image, const std::string& content, const std::string& request = "") {
        CommandFile file;
        ParseCommandFileContent(content, file);
        return runner_.RunFile(image, file, request);
    }

    vstest::TempDir home_;
    vstest::InProcessRunner runner_;
    CBaseImage white_;  // 40 x 30, opaque white
};

}  // namespace

TEST_F(CommandFileInProcessTest, LayerNamesAreTrimmedButTheLineLayerIsNot) {
    // " Logo " creates "logo"; layer=LOGO finds it, layer=" logo" does not
    // and acts on the image; "LOGO " in from= is trimmed again.
    ASSERT_EQ(Run(white_,
                  "cmd=layernew&name= Logo &bgcolor=ff0000ff\n"
                  "cmd=gray&layer=LOGO\n"
                  "cmd=negative&layer= logo\n"
                  "cmd=layerblend&from=LOGO &to= Background&method=Multiply\n"),
              kResultOk);
    CBaseImage base, layer;
    ASSERT_EQ(base.CreateBlank(40, 30, kWhite), Vs4Image::Ok);
    ASSERT_EQ(layer.CreateBlank(40, 30, kBlue), Vs4Image::Ok);
    Vs4Image::Grayscale(layer);
    Vs4Image::Negative(base);
    ASSERT_EQ(Vs4Image::BlendLayer(base, layer, "multiply", 255), Vs4Image::Ok);
    EXPECT_EQ(Checksum(white_), Checksum(base));
    EXPECT_NE(PixelAt(white_, 0, 0), PixelAt(layer, 0, 0));
}

TEST_F(CommandFileInProcessTest, FailingLayerLinesStopTheRunWithTheirStatus) {
    const uint64_t white = Checksum(white_);
    // Taken names and missing sources answer 202, layers of different sizes
    // 211; either stops the run, so the negative after it never runs and
    // the image is left as it was.
    const struct {
        const char* lines;
        int code;
    } failures[] = {
        {"cmd=layernew&name=a\ncmd=layernew&name=A\n", 202},
        {"cmd=layernew&name=  \n", 202},
        {"cmd=layernew&name=background\n", 202},
        {"cmd=layercopy&from=nosuch&name=b\n", 202},
        {"cmd=layercopy&from=background&name=\n", 202},
        {"cmd=layercopy&from=background&name=background\n", 202},
        {"cmd=layernew&name=a\ncmd=layercopy&from=background&name=a\n", 202},
        {"cmd=layerblend&from=nosuch&to=background\n", 202},
        {"cmd=layernew&name=a\ncmd=layerblend&from=a\n", 202},
        {"cmd=layernew&name=small&bgcolor=ff0000ff\ncmd=crop&x=0&y=0&w=10&h=10&layer=small\n"
         "cmd=layerblend&from=small&to=background\n",
         211},
    };
    for (const auto& f : failures) {
        EXPECT_EQ(Run(white_, std::string(f.lines) + "cmd=negative\n"), f.code) << f.lines;
        EXPECT_EQ(Checksum(white_), white) << f.lines;
    }
    // Layers do not outlive their run: the same name is free again.
    EXPECT_EQ(Run(white_, "cmd=layernew&name=a\n"), kResultOk);
    EXPECT_EQ(Run(white_, "cmd=layernew&name=a\n"), kResultOk);
}

TEST_F(CommandFileInProcessTest, CopiesAndPicturesBecomeLayers) {
    CBaseImage image, expected;
    vstest::MakeColourful(image, 40, 30);
    vstest::MakeColourful(expected, 40, 30);
    // A grey copy blended back normally makes the image grey; a layer left
    // unblended is not in the result.
    ASSERT_EQ(Run(image,
                  "cmd=layercopy&from=background&name=copy\n"
                  "cmd=gray&layer=copy\n"
                  "cmd=layernew&name=unused&bgcolor=ffff0000\n"
                  "cmd=layerblend&from=copy&to=background\n"),
              kResultOk);
    Vs4Image::Grayscale(expected);
    EXPECT_EQ(Checksum(image), Checksum(expected));

    // A picture of the image folder is stretched over a new layer.
    CBaseImage picture;
    ASSERT_EQ(picture.CreateBlank(4, 3, kBlue), Vs4Image::Ok);
    ASSERT_EQ(picture.SaveToFile(home_ / "Command/Images/blue.png", 90, 0), Vs4Image::Ok);
    ASSERT_EQ(Run(image,
                  "cmd=layernew&name=pic&file=blue.png\n"
                  "cmd=layerblend&from=pic&to=background\n"),
              kResultOk);
    EXPECT_EQ(PixelAt(image, 0, 0), kBlue);
    EXPECT_EQ(PixelAt(image, 39, 29), kBlue);
    // A picture that cannot be loaded answers its load status.
    EXPECT_EQ(Run(image, "cmd=layernew&name=pic&file=missing.png\n"), 210);
    EXPECT_EQ(Run(image, "cmd=layernew&name=pic&file=../../x.png\n"), 210);
}

TEST_F(CommandFileInProcessTest, ThePosterRunsItsLinesInOrder) {
    CBaseImage image, expected;
    vstest::MakeColourful(image, 800, 400);
    vstest::MakeColourful(expected, 800, 400);
    ASSERT_EQ(Run(image, vstest::kPosterFile, "cmd=poster&title=Hello&w=400"), kResultOk);
    ASSERT_EQ(expected.Resize(400, 0, 2, false), Vs4Image::Ok);
    Vs4Image::TextStyle style;
    style.size = 24;
    Vs4Image::DrawText(expected, style, "Hello", {10, 10, 0, 0}, 0xFFFF0000, 5);
    ASSERT_EQ(Vs4Image::Sharpen(expected, 2), Vs4Image::Ok);
    EXPECT_EQ(image.width(), 400);
    EXPECT_EQ(image.height(), 200);
    EXPECT_EQ(Checksum(image), Checksum(expected));

    // Without w the resize has no size and fails: 202, nothing else runs.
    CBaseImage unchanged;
    vstest::MakeColourful(unchanged, 80, 40);
    const uint64_t before = Checksum(unchanged);
    EXPECT_EQ(Run(unchanged, vstest::kPosterFile, "cmd=poster&title=Hello"), 202);
    EXPECT_EQ(Checksum(unchanged), before);
}

TEST_F(CommandFileInProcessTest, RunsStopAtTheLimitAtBlankLinesAndAtUnknownOperations) {
    CBaseImage image;
    ASSERT_EQ(image.CreateBlank(100, 10, kWhite), Vs4Image::Ok);
    // Each line cuts one column; only the first 16 of 20 run.
    std::string twenty;
    for (int i = 0; i < 20; ++i)
        twenty += "cmd=crop&x=0&y=0&w=-1\n";
    EXPECT_EQ(Run(image, twenty), kResultOk);
    EXPECT_EQ(image.width(), 84);

    EXPECT_EQ(Run(image, "; only\n;comments\n\n"), kResultUnknownOperation);
    // A line of blanks is a command without cmd: the first line runs, then 101.
    EXPECT_EQ(Run(image, "cmd=crop&x=0&y=0&w=-1\n   \ncmd=crop&x=0&y=0&w=-1\n"),
              kResultUnknownOperation);
    EXPECT_EQ(image.width(), 83);
    // The reload is for single commands only; verification codes work on layers.
    EXPECT_EQ(Run(image, "cmd=__reload\n"), kResultUnknownOperation);
    EXPECT_EQ(Run(image,
                  "cmd=layernew&name=code&bgcolor=ffffffff\n"
                  "cmd=__captcha&text=AB&fontsize=8&layer=code\n"
                  "cmd=layerblend&from=code&to=background\n"),
              kResultOk);
}
