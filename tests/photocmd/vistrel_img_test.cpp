// vistrel-img end to end: the built program runs as a child process on a
// real photo in a temporary home folder.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "image/base_image.h"
#include "photocmd/result_codes.h"
#include "support/child_process.h"
#include "support/shell.h"
#include "support/temp_dir.h"

#ifdef VS_IMG_EXE

namespace fs = std::filesystem;
using Vs4Image::CBaseImage;
using vstest::Quoted;
using vstest::Shell;

namespace {

struct Outcome {
    int exitCode = -1;
    std::string output;  // standard output and error together
};

class VistrelImgTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(home_ / "Command/Images");
        fs::create_directories(home_ / "Frame");
        photo_ = work_ / "photo.jpg";
        ASSERT_TRUE(Shell("convert wizard: -quality 95 " + Quoted(photo_)));
    }

    // Runs vistrel-img with the arguments (program first: `program`).
    Outcome Run(const std::vector<std::string>& args, const std::string& program = VS_IMG_EXE) {
        std::vector<std::string> argv{program};
        argv.insert(argv.end(), args.begin(), args.end());
        std::string log = work_ / "output.txt";
        Outcome outcome;
        vstest::ChildProcess child(argv, log);
        EXPECT_TRUE(child.started());
        std::optional<int> status = child.WaitExit(std::chrono::seconds(120));
        EXPECT_TRUE(status.has_value());
        if (status && WIFEXITED(*status))
            outcome.exitCode = WEXITSTATUS(*status);
        outcome.output = vstest::ReadFile(log);
        return outcome;
    }
    Outcome RunHome(std::vector<std::string> args) {
        args.insert(args.begin(), {"--home", home_.path()});
        return Run(args);
    }

    vstest::TempDir home_;
    vstest::TempDir work_;
    std::string photo_;
};

std::string Head(const std::string& path, size_t n) {
    return vstest::ReadFile(path).substr(0, n);
}

}  // namespace

TEST_F(VistrelImgTest, RunsCommandsInOrderAndWritesTheOutputsFormat) {
    const struct {
        std::string out, magic, size;
        std::vector<std::string> commands;
    } cases[] = {
        {"out.png", "\x89PNG\r\n\x1a\n", "300x400", {"cmd=thumb&w=300", "cmd=text&text=Hi"}},
        {"out.BMP", "BM", "100x50", {"cmd=rotate&angle=90", "cmd=crop&x=0&y=0&w=100&h=50"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{photo_, work_ / c.out};
        args.insert(args.end(), c.commands.begin(), c.commands.end());
        Outcome o = RunHome(args);
        ASSERT_EQ(o.exitCode, 0) << o.output;
        EXPECT_NE(o.output.find(c.size), std::string::npos) << o.output;
        EXPECT_EQ(Head(work_ / c.out, c.magic.size()), c.magic);
        CBaseImage result;
        ASSERT_EQ(result.LoadFromFile(work_ / c.out), Vs4Image::Ok);
        EXPECT_EQ(std::to_string(result.width()) + "x" + std::to_string(result.height()), c.size);
    }
}

TEST_F(VistrelImgTest, JpegQualityAndMetadataFollowTheSettings) {
    ASSERT_TRUE(Shell("exiv2 -M'set Exif.Image.Artist VistrelTest' " + Quoted(photo_)));
    vstest::WriteFile(home_ / "vistrel5.ini",
                      "[ImageProcessing]\nImageJpegQuality=95\nPersistMetadata=true\n");
    vstest::WriteFile(work_ / "low.ini", "[ImageProcessing]\nImageJpegQuality=10\n");
    const std::string high = work_ / "high.jpg", low = work_ / "low.jpeg";
    ASSERT_EQ(RunHome({photo_, high, "cmd=gray"}).exitCode, 0);
    ASSERT_EQ(RunHome({"--ini", work_ / "low.ini", photo_, low, "cmd=gray"}).exitCode, 0);
    EXPECT_LT(fs::file_size(low) * 2, fs::file_size(high));
    // The metadata goes along only when the settings say so.
    CBaseImage kept, dropped;
    ASSERT_EQ(kept.LoadFromFile(high), Vs4Image::Ok);
    ASSERT_EQ(dropped.LoadFromFile(low), Vs4Image::Ok);
    EXPECT_TRUE(std::any_of(kept.properties().begin(), kept.properties().end(),
                            [](const Vs4Image::PropertyItem& item) { return item.id == 0x013B; }));
    EXPECT_TRUE(dropped.properties().empty());
}

TEST_F(VistrelImgTest, CommandFilesFramesAndImagesComeFromTheHomeFolder) {
    vstest::WriteFile(home_ / "Command/poster.vscmd",
                      "cmd=resize&w=<%w%>\r\ncmd=text&text=<%title%>&x=10&y=10\r\n");
    ASSERT_TRUE(Shell("convert logo: -resize 100x " + Quoted(home_ / "Command/Images/stamp.png")));
    ASSERT_TRUE(Shell("convert -size 30x30 xc:gold " + Quoted(home_ / "Frame/gold.png")));
    vstest::WriteFile(
        home_ / "Frame/gold.xml",
        "<frame src=\"gold.png\">"
        "<lefttop x=\"0\" y=\"0\" width=\"10\" height=\"10\" drawx=\"8\" drawy=\"8\"/>"
        "</frame>");
    const std::string out = work_ / "out.jpg";
    Outcome o =
        RunHome({"--image", "Logo=" + (home_ / "Command/Images/stamp.png"), photo_, out,
                 "cmd=Poster&w=240&title=Hi", "cmd=frame&name=gold", "cmd=merge&file=stamp.png",
                 "cmd=merge&imgno=Logo&a=128", "cmd=thumb&fit=true&w=64&h=64"});
    ASSERT_EQ(o.exitCode, 0) << o.output;
    EXPECT_NE(o.output.find("64x64"), std::string::npos) << o.output;
    // Reading the settings and folders leaves no server folders behind.
    EXPECT_FALSE(fs::exists(home_ / "LogFiles"));
    EXPECT_FALSE(fs::exists(home_ / "TempFiles"));
    EXPECT_FALSE(fs::exists(home_ / "Cache"));
}

// The result codes themselves are checked in process; here they must become
// the exit code and the printed result, with no output written. A FIFO (here
// behind a link), like anything else that is not a regular file, is refused
// at once as a missing file: opening it must not wait for a writer that never
// comes (merge files and layer pictures are read by the same file reader).
TEST_F(VistrelImgTest, FailuresPrintAndExitWithTheResultCode) {
    const std::string pipe = work_ / "pipe.png", out = work_ / "out.jpg";
    ASSERT_TRUE(Shell("mkfifo " + Quoted(pipe)));
    fs::create_symlink(pipe, work_ / "link.png");
    const struct {
        std::vector<std::string> args;
        int code;
    } cases[] = {
        {{photo_, out, "cmd=nosuchfile"}, 103},  // no such command file
        {{work_ / "missing.jpg", out, "cmd=gray"}, 210},
        {{work_ / "link.png", out, "cmd=gray"}, 210},
        {{photo_, work_ / "out.gif", "cmd=gray"}, 202},  // no encoder for the format
        // A bad command line answers 2 with the usage.
        {{photo_, out}, 2},
        {{"--colour", photo_, out, "cmd=gray"}, 2},
        {{"--ini", work_ / "none.ini", photo_, out, "cmd=gray"}, 2},
    };
    for (const auto& c : cases) {
        Outcome o = RunHome(c.args);
        EXPECT_EQ(o.exitCode, c.code) << c.args[0] << " " << c.args.back() << ": " << o.output;
        const std::string printed = c.code == 2 ? "usage:" : "result " + std::to_string(c.code);
        EXPECT_NE(o.output.find(printed), std::string::npos) << o.output;
        EXPECT_FALSE(fs::exists(out) || fs::exists(work_ / "out.gif")) << c.args.back();
    }
}

TEST_F(VistrelImgTest, TheIniBesideTheProgramLimitsTheImageSize) {
    // Installed into its own folder, the program reads vistrel5.ini there.
    std::string program = vstest::InstallProgram(VS_IMG_EXE, home_.path());
    vstest::WriteFile(home_ / "vistrel5.ini", "[ImageProcessing]\nMaxImagePixels=1000\n");
    Outcome o = Run({photo_, work_ / "out.jpg", "cmd=gray"}, program);
    EXPECT_EQ(o.exitCode, 203) << o.output;
    vstest::WriteFile(home_ / "vistrel5.ini", "[ImageProcessing]\nMaxImagePixels=400000\n");
    EXPECT_EQ(Run({photo_, work_ / "out.jpg", "cmd=gray"}, program).exitCode, 0);
}

#endif  // VS_IMG_EXE
