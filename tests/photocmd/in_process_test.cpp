// The in-process runners (EXEC2 and vistrel-img) on drawn images: commands
// and command files reach their operations, seen in sizes and known pixels,
// and failures leave their codes and the image as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "photocmd/result_codes.h"
#include "photocmd/run_in_process.h"
#include "support/pixels.h"
#include "support/temp_dir.h"

using namespace Vs4Command;
using Vs4Image::Argb;
using Vs4Image::CBaseImage;
using vstest::Checksum;
using vstest::PixelAt;

// Fontconfig keeps its caches for the life of the process (text and codes).
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

namespace {

constexpr Argb kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF, kWhite = 0xFFFFFFFF;

class InProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(home_ / "Frame");
        std::filesystem::create_directories(home_ / "Images");
        folders_ = {home_ / "Frame", home_ / "Images"};
        CBaseImage red;
        ASSERT_EQ(red.CreateBlank(10, 6, kRed), Vs4Image::Ok);
        ASSERT_EQ(red.SaveToFile(home_ / "Images/red.png", 90, 0), Vs4Image::Ok);
        ASSERT_EQ(red.SaveToFile(home_ / "outside.png", 90, 0), Vs4Image::Ok);
    }
    // 40 x 20 in quadrants: red, green above; blue, white below.
    void Quadrants(CBaseImage& image) {
        ASSERT_EQ(image.CreateBlank(40, 20, kWhite), Vs4Image::Ok);
        const Argb colours[] = {kRed, kGreen, kBlue};
        for (int i = 0; i < 3; ++i) {
            CBaseImage part;
            ASSERT_EQ(part.CreateBlank(20, 10, colours[i]), Vs4Image::Ok);
            image.DrawImageAt(part, i % 2 * 20, i / 2 * 10, 255);
        }
    }
    int Run(CBaseImage& image, const std::string& command) {
        return RunCommandInProcess(named_, image, ParseParams(command), settings_, folders_);
    }
    int RunFile(CBaseImage& image, const std::string& content) {
        CommandFile file;
        ParseCommandFileContent(content, file);
        return RunCommandFileInProcess(named_, image, file, ParamMap{}, settings_, folders_);
    }

    vstest::TempDir home_;
    Settings settings_;
    OperationFolders folders_;
    NamedImageTable named_;
};

}  // namespace

TEST_F(InProcessTest, CommandsReachTheirOperations) {
    const struct {
        std::string command;
        int width, height, x, y;
        Argb at;  // the pixel at (x, y) afterwards
    } cases[] = {
        {"cmd=thumb&w=20", 20, 10, 2, 2, kRed},
        {"cmd=thumbnail&h=200&noenlarge=true", 40, 20, 35, 15, kWhite},
        {"cmd=thumb&fit=true&w=40&h=40&bgcolor=000000", 40, 40, 20, 2, 0xFF000000},
        {"cmd=resize&scale=50&w=999", 20, 10, 17, 2, kGreen},
        {"cmd=crop&x=20&y=0&w=20&h=10", 20, 10, 0, 0, kGreen},
        {"cmd=crop&x=30&y=15&w=20&h=10&bgcolor=ff0000ff", 20, 10, 15, 8, kBlue},
        {"cmd=rotate&angle=180", 40, 20, 5, 5, kWhite},
        {"cmd=rotate&degree=90&angle=45", 20, 40, 15, 5, kWhite},  // counter-clockwise
        {"cmd=flip&horizontal=true", 40, 20, 5, 5, kGreen},
        {"cmd=flip&vertical=t", 40, 20, 5, 5, kBlue},
        {"cmd=negative", 40, 20, 5, 5, 0xFF00FFFF},
        {"cmd=merge&file=red.png&align=RIGHT&valign=bottom&x=3&y=3", 40, 20, 39, 19, kRed},
        {"cmd=merge&file=red.png&x=30&y=14&a=255", 40, 20, 30, 14, kRed},
        {"cmd=merge&file=red.png&fit=true", 40, 20, 39, 19, kRed},
        {"cmd=merge&file=" + (home_ / "outside.png") + "&x=25", 40, 20, 25, 0, kRed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        CBaseImage image;
        Quadrants(image);
        ASSERT_EQ(Run(image, c.command), kResultOk);
        EXPECT_EQ(image.width(), c.width);
        EXPECT_EQ(image.height(), c.height);
        EXPECT_EQ(PixelAt(image, c.x, c.y), c.at);
    }
    // Autocrop: the white around a red block goes, and each margin stays.
    CBaseImage image, block;
    ASSERT_EQ(image.CreateBlank(50, 40, kWhite), Vs4Image::Ok);
    ASSERT_EQ(block.CreateBlank(20, 10, kRed), Vs4Image::Ok);
    image.DrawImageAt(block, 15, 12, 255);
    ASSERT_EQ(Run(image, "cmd=autocrop&marginleft=1&margintop=2&marginright=3&marginbottom=4"), 0);
    EXPECT_EQ(image.width(), 24);
    EXPECT_EQ(image.height(), 16);
    EXPECT_EQ(PixelAt(image, 1, 2), kRed);
}

TEST_F(InProcessTest, FailuresLeaveTheirCodesAndTheImage) {
    vstest::WriteFile(home_ / "Frame/thin.xml", "<frame src=\"red.png\"></frame>");
    const struct {
        std::string command;
        int code;
    } cases[] = {
        {"cmd=frame", 210},
        {"cmd=frame&name=nosuch", 202},
        {"cmd=frame&name=../Frame/thin", 202},
        {"cmd=thumb&w=0&h=0", 202},
        {"cmd=merge&file=missing.png", 210},
        {"cmd=merge&file=ab", 210},
        {"cmd=merge&imgno=nobody&file=red.png", 202},
    };
    CBaseImage image;
    Quadrants(image);
    const uint64_t before = Checksum(image);
    for (const auto& c : cases)
        EXPECT_EQ(Run(image, c.command), c.code) << c.command;
    EXPECT_EQ(Checksum(image), before);
    CBaseImage empty;  // no bitmap: the engine's status
    EXPECT_EQ(Run(empty, "cmd=thumb&w=10"), 208);
}

TEST_F(InProcessTest, SelfMergesLoadersAndReload) {
    CBaseImage image;
    // An image merged onto itself is drawn from a copy.
    CBaseImage& self = named_.FindOrCreate("self");
    vstest::MakeColourful(self, 20, 20);
    const Argb corner = PixelAt(self, 0, 0);
    ASSERT_EQ(Run(self, "cmd=merge&imgno=self&x=10&y=10"), kResultOk);
    EXPECT_EQ(PixelAt(self, 19, 19), PixelAt(self, 9, 9));
    EXPECT_EQ(PixelAt(self, 10, 10), corner);

    // Merge files go through the loader when one is given; its status is the answer.
    Quadrants(image);
    std::string asked;
    InProcessContext context{named_, settings_, folders_,
                             [&](const std::string& path, CBaseImage& o) {
                                 asked = path;
                                 return o.CreateBlank(2, 2, kBlue);
                             }};
    ASSERT_EQ(RunCommandInProcess(context, image, ParseParams("cmd=merge&file=any.png")), 0);
    EXPECT_EQ(asked, home_ / "Images/any.png");
    EXPECT_EQ(PixelAt(image, 1, 1), kBlue);
    context.loadMergeFile = [](const std::string&, CBaseImage&) { return Vs4Image::AccessDenied; };
    EXPECT_EQ(RunCommandInProcess(context, image, ParseParams("cmd=merge&file=any.png")), 212);

    // The reload returns to the image as loaded; without a kept copy it does nothing.
    CBaseImage kept;
    kept.flags = CBaseImage::kKeepPristine;
    Quadrants(kept);
    kept.KeepPristineCopy();
    ASSERT_EQ(Run(kept, "cmd=thumb&w=10"), kResultOk);
    EXPECT_EQ(Run(kept, "cmd=__reload"), kResultOk);
    EXPECT_EQ(PixelAt(kept, 39, 0), kGreen);
    Quadrants(image);
    ASSERT_EQ(Run(image, "cmd=negative"), kResultOk);
    EXPECT_EQ(Run(image, "CMD=__RELOAD"), kResultOk);
    EXPECT_EQ(PixelAt(image, 39, 0), 0xFFFF00FFu);
    EXPECT_EQ(Run(image, "cmd=__captcha&text=AB&fontsize=8"), kResultOk);
}

TEST_F(InProcessTest, CommandFilesRunTheirLinesOnLayers) {
    // Yellow; its negative (blue) multiplied by the layer's negated green
    // (magenta) stays blue. " logo" is no layer name: that line acts on the image.
    CBaseImage image;
    ASSERT_EQ(image.CreateBlank(40, 30, 0xFFFFFF00), Vs4Image::Ok);
    ASSERT_EQ(RunFile(image,
                      "cmd=layernew&name= Logo &bgcolor=ff00ff00\r\n"
                      "cmd=negative&layer=LOGO\n"
                      "cmd=negative&layer= logo\n"
                      "cmd=layerblend&from=LOGO &to= Background&method=Multiply\n"),
              kResultOk);
    EXPECT_EQ(PixelAt(image, 5, 5), kBlue);

    // A grey copy blended back makes the image grey; an unblended layer is not seen;
    // a picture of the image folder is stretched over a new layer.
    vstest::MakeColourful(image, 40, 30);
    ASSERT_EQ(RunFile(image,
                      "cmd=layercopy&from=background&name=copy\ncmd=gray&layer=copy\n"
                      "cmd=layernew&name=unused&bgcolor=ffff0000\n"
                      "cmd=layerblend&from=copy&to=background\n"),
              kResultOk);
    const Argb grey = PixelAt(image, 7, 3);
    EXPECT_TRUE(((grey >> 16) & 255) == (grey & 255) && ((grey >> 8) & 255) == (grey & 255));
    ASSERT_EQ(
        RunFile(image,
                "cmd=layernew&name=pic&file=red.png\ncmd=layerblend&from=pic&to=background\n"),
        kResultOk);
    EXPECT_EQ(PixelAt(image, 39, 29), kRed);
}

TEST_F(InProcessTest, FailingLinesStopTheRunWithTheirStatus) {
    CBaseImage image;
    ASSERT_EQ(image.CreateBlank(100, 10, kWhite), Vs4Image::Ok);
    const uint64_t white = Checksum(image);
    // Either failure stops the run: the negative after it never runs.
    const struct {
        const char* lines;
        int code;
    } failures[] = {
        {"cmd=layernew&name=a\ncmd=layernew&name=A\n", 202},
        {"cmd=layernew&name=  \n", 202},
        {"cmd=layernew&name=background\n", 202},
        {"cmd=layercopy&from=nosuch&name=b\n", 202},
        {"cmd=layercopy&from=background&name=background\n", 202},
        {"cmd=layerblend&from=nosuch&to=background\n", 202},
        {"cmd=layernew&name=s\ncmd=crop&x=0&y=0&w=10&h=10&layer=s\n"
         "cmd=layerblend&from=s&to=background\n",
         211},
        {"cmd=layernew&name=pic&file=missing.png\n", 210},
    };
    for (const auto& f : failures) {
        EXPECT_EQ(RunFile(image, std::string(f.lines) + "cmd=negative\n"), f.code) << f.lines;
        EXPECT_EQ(Checksum(image), white) << f.lines;
    }
    EXPECT_EQ(RunFile(image, "; only\n;comments\n\n"), kResultUnknownOperation);
    // Layers do not outlive their run.
    EXPECT_EQ(RunFile(image, "cmd=layernew&name=a\n"), kResultOk);
    EXPECT_EQ(RunFile(image, "cmd=layernew&name=a\n"), kResultOk);
    // Each line cuts one column; only the first 16 of 20 run.
    std::string twenty;
    for (int i = 0; i < 20; ++i)
        twenty += "cmd=crop&x=0&y=0&w=-1\n";
    EXPECT_EQ(RunFile(image, twenty), kResultOk);
    EXPECT_EQ(image.width(), 84);
    // A line of blanks is a command without cmd: the first line runs, then 101.
    EXPECT_EQ(RunFile(image, "cmd=crop&x=0&y=0&w=-1\n   \ncmd=crop&x=0&y=0&w=-1\n"),
              kResultUnknownOperation);
    EXPECT_EQ(image.width(), 83);
}
