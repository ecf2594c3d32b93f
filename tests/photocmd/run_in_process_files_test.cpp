// In-process operations that take files or other images: frames from the
// frame folder, merges from the image folder, absolute paths, the
// connection's named images and the merge loader.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "image/frame/apply_frame.h"
#include "in_process_helpers.h"
#include "photocmd/result_codes.h"
#include "support/temp_dir.h"

using namespace Vs4Command;
using Vs4Image::CBaseImage;
using vstest::Checksum;
using vstest::PixelAt;

namespace {

constexpr Vs4Image::Argb kRed = 0xFFFF0000;
constexpr Vs4Image::Argb kBlue = 0xFF0000FF;

class InProcessFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(home_ / "Frame");
        std::filesystem::create_directories(home_ / "Command/Images");
        runner_.folders = {home_ / "Frame", home_ / "Command/Images"};
        CBaseImage red;
        ASSERT_EQ(red.CreateBlank(10, 6, kRed), Vs4Image::Ok);
        ASSERT_EQ(red.SaveToFile(home_ / "Command/Images/red.png", 90, 0), Vs4Image::Ok);
        ASSERT_EQ(red.SaveToFile(home_ / "outside.png", 90, 0), Vs4Image::Ok);
    }
    void Blue(CBaseImage& image) { ASSERT_EQ(image.CreateBlank(40, 30, kBlue), Vs4Image::Ok); }

    vstest::TempDir home_;
    vstest::InProcessRunner runner_;
};

}  // namespace

TEST_F(InProcessFilesTest, MergePlacesAFileOfTheImageFolder) {
    CBaseImage image;
    Blue(image);
    // The alignment words win over x and y.
    ASSERT_EQ(runner_.Run(image, "cmd=merge&file=red.png&align=RIGHT&valign=bottom&x=3&y=3"),
              kResultOk);
    EXPECT_EQ(PixelAt(image, 30, 24), kRed);
    EXPECT_EQ(PixelAt(image, 39, 29), kRed);
    EXPECT_EQ(PixelAt(image, 29, 29), kBlue);
    EXPECT_EQ(PixelAt(image, 3, 3), kBlue);

    // At (x, y) with half opacity.
    Blue(image);
    ASSERT_EQ(runner_.Run(image, "cmd=merge&file=red.png&x=5&y=7&a=128"), kResultOk);
    Vs4Image::Argb mixed = PixelAt(image, 5, 7);
    EXPECT_EQ(mixed >> 24, 0xFFu);
    EXPECT_NEAR(int((mixed >> 16) & 255), 128, 1);
    EXPECT_NEAR(int(mixed & 255), 127, 1);
    EXPECT_EQ(PixelAt(image, 4, 7), kBlue);
    EXPECT_EQ(PixelAt(image, 15, 7), kBlue);

    // fit stretches the overlay over the whole image.
    Blue(image);
    ASSERT_EQ(runner_.Run(image, "cmd=merge&file=red.png&fit=true"), kResultOk);
    EXPECT_EQ(PixelAt(image, 0, 0), kRed);
    EXPECT_EQ(PixelAt(image, 39, 29), kRed);

    // An absolute path is taken as it is.
    Blue(image);
    ASSERT_EQ(runner_.Run(image, "cmd=merge&file=" + (home_ / "outside.png")), kResultOk);
    EXPECT_EQ(PixelAt(image, 0, 0), kRed);
}

TEST_F(InProcessFilesTest, MergeFailuresLeaveTheImage) {
    CBaseImage image;
    Blue(image);
    const uint64_t before = Checksum(image);
    EXPECT_EQ(runner_.Run(image, "cmd=merge&file=missing.png"), 210);
    EXPECT_EQ(runner_.Run(image, "cmd=merge&file=ab"), 210);  // too short to be a path
    EXPECT_EQ(runner_.Run(image, "cmd=merge"), 210);
    // A relative name cannot climb out of the image folder.
    EXPECT_EQ(runner_.Run(image, "cmd=merge&file=../../outside.png"), 210);
    EXPECT_EQ(Checksum(image), before);
}

TEST_F(InProcessFilesTest, MergeTakesTheConnectionsImagesByExactName) {
    CBaseImage image;
    Blue(image);
    ASSERT_EQ(runner_.named.FindOrCreate("Logo").CreateBlank(4, 4, kRed), Vs4Image::Ok);
    ASSERT_EQ(runner_.Run(image, "cmd=merge&imgno=Logo&align=center&valign=middle"), kResultOk);
    EXPECT_EQ(PixelAt(image, 18, 13), kRed);
    EXPECT_EQ(PixelAt(image, 21, 16), kRed);
    EXPECT_EQ(PixelAt(image, 17, 13), kBlue);

    // imgno wins over file; other spellings are other names, and a name that
    // is not there is added empty and answers 202.
    Blue(image);
    const uint64_t before = Checksum(image);
    EXPECT_EQ(runner_.Run(image, "cmd=merge&imgno=logo&file=red.png"), 202);
    EXPECT_EQ(runner_.Run(image, "cmd=merge&imgno=Logo "), 202);
    EXPECT_EQ(Checksum(image), before);
    EXPECT_EQ(runner_.named.size(), 3u);
    EXPECT_FALSE(runner_.named.Find("logo")->HasBitmap());
    EXPECT_EQ(runner_.Run(image, "cmd=merge&imgno=logo"), 202);  // still empty

    // An image merged onto itself is drawn from a copy.
    CBaseImage& self = runner_.named.FindOrCreate("self");
    vstest::MakeColourful(self, 20, 20);
    const Vs4Image::Argb corner = PixelAt(self, 0, 0);
    ASSERT_EQ(runner_.Run(self, "cmd=merge&imgno=self&x=10&y=10"), kResultOk);
    EXPECT_EQ(PixelAt(self, 10, 10), corner);
    EXPECT_EQ(PixelAt(self, 19, 19), PixelAt(self, 9, 9));
}

TEST_F(InProcessFilesTest, MergeFilesGoThroughTheLoaderWhenOneIsGiven) {
    std::string asked;
    InProcessContext context{runner_.named, runner_.settings, runner_.folders,
                             [&](const std::string& path, CBaseImage& overlay) {
                                 asked = path;
                                 return overlay.CreateBlank(2, 2, kRed);
                             }};
    CBaseImage image;
    Blue(image);
    ASSERT_EQ(RunCommandInProcess(context, image, ParseParams("cmd=merge&file=any.png")),
              kResultOk);
    EXPECT_EQ(asked, home_ / "Command/Images/any.png");
    EXPECT_EQ(PixelAt(image, 1, 1), kRed);
    // Its status is the operation's.
    context.loadMergeFile = [](const std::string&, CBaseImage&) { return Vs4Image::AccessDenied; };
    EXPECT_EQ(RunCommandInProcess(context, image, ParseParams("cmd=merge&file=any.png")), 212);
}

TEST_F(InProcessFilesTest, FramesComeFromTheFrameFolder) {
    CBaseImage frame;
    ASSERT_EQ(frame.CreateBlank(30, 30, kRed), Vs4Image::Ok);
    ASSERT_EQ(frame.SaveToFile(home_ / "Frame/red.png", 90, 0), Vs4Image::Ok);
    vstest::WriteFile(
        home_ / "Frame/thin.xml",
        "<frame src=\"red.png\">"
        "<lefttop x=\"0\" y=\"0\" width=\"10\" height=\"10\" drawx=\"4\" drawy=\"4\"/>"
        "<rightbottom x=\"20\" y=\"20\" width=\"10\" height=\"10\" drawx=\"6\" "
        "drawy=\"6\"/>"
        "</frame>");
    CBaseImage viaRunner, direct;
    vstest::MakeColourful(viaRunner, 60, 40);
    vstest::MakeColourful(direct, 60, 40);
    ASSERT_EQ(runner_.Run(viaRunner, "cmd=frame&name=thin"), kResultOk);
    ASSERT_EQ(Vs4Image::ApplyFrame(direct, home_ / "Frame", "thin"), Vs4Image::Ok);
    EXPECT_EQ(Checksum(viaRunner), Checksum(direct));
    EXPECT_EQ(PixelAt(viaRunner, 0, 0), kRed);

    // Missing templates and names that leave the folder answer 202.
    const uint64_t before = Checksum(viaRunner);
    EXPECT_EQ(runner_.Run(viaRunner, "cmd=frame&name=nosuch"), 202);
    EXPECT_EQ(runner_.Run(viaRunner, "cmd=frame&name=../Frame/thin"), 202);
    EXPECT_EQ(runner_.Run(viaRunner, "cmd=frame&name=" + (home_ / "Frame/thin")), 202);
    EXPECT_EQ(Checksum(viaRunner), before);
}
