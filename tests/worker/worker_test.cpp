// The real worker process driven through its link: every step gives the
// pixels the same step gives in process, and a worker that dies or hangs costs
// the step it was on and is replaced for the next.
#include <gtest/gtest.h>
#include <signal.h>

#include <unistd.h>

#include <cmath>

#include "image/graphics.h"
#include "photocmd/apply_operation.h"
#include "server/test_folder.h"
#include "support/pixels.h"
#include "support/shell.h"
#include "support/text_count.h"
#include "worker/worker_link.h"
#include "worker/worker_process.h"

using namespace Vs4Command;
using namespace Vs5Worker;

// Fontconfig keeps its caches for the life of the process (the text step).
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
extern "C" const char* __lsan_default_options() {
    return "print_suppressions=0";
}

namespace {

using vstest::Shell;

const std::string kWorker = VS_BIN_DIR "/vistrelremt";

struct WorkerFixture : ::testing::Test {
    explicit WorkerFixture(const std::string& ini = "[ImageProcessing]\nWorkerTimeout=2\n")
        : folder(ini), worker(folder.config(), kWorker) {}
    void SetUp() override {
        Vs4Image::GraphicsStartup();
        photo = folder.path() + "/rose.jpg";
        ASSERT_TRUE(Shell("convert rose: -resize 200% " + photo));
        ASSERT_TRUE(
            Shell("convert logo: -resize 64x48! " + folder.config().imageFolder() + "/logo.png"));
        ASSERT_TRUE(worker.Start());
    }
    // The image the worker holds, through a lossless encode, and the image the
    // same steps make of `path` in process.
    void Fetch(WorkerLink& link, Vs4Image::CBaseImage& out) {
        std::vector<uint8_t> png;
        ASSERT_EQ(link.Encode({"png", 90, false}, png), 0u);
        ASSERT_EQ(out.LoadFromMemory(png.data(), static_cast<uint32_t>(png.size())), Vs4Image::Ok);
    }
    void InProcess(const std::string& path, const std::vector<Operation>& steps,
                   Vs4Image::CBaseImage& out) {
        ASSERT_EQ(out.LoadFromFile(path), Vs4Image::Ok);
        LayerSet layers(out);
        NamedImageTable none;
        MergeFileLoader plain;
        ApplyContext context{none, plain, &layers};
        for (const Operation& op : steps)
            ASSERT_EQ(ApplyOperation(op, out, context), Vs4Image::Ok);
    }
    TestModuleFolder folder;
    CWorkerProcess worker;
    std::string photo;
};

}  // namespace

TEST_F(WorkerFixture, EveryStepGivesTheInProcessPixels) {
    const std::string logo = folder.config().imageFolder() + "/logo.png";
    const TextOp text{.font = "DejaVu Sans",
                      .fontSize = 14,
                      .text = "Vistrel",
                      .width = 120,
                      .height = 40,
                      .color = 0xFFFF0000};
    const std::vector<std::vector<Operation>> cases = {
        // An enlargement first decodes at full size.
        {ResizeOp{200, 0, 7, false}, CropOp{10, 5, 160, 100, 0xFFFFFFFF},
         AutoCropOp{0xFFFFFFFF, 1, 1, 1, 1}, RotateOp{90, 0}, RotateOp{30, 0xFF00FF00},
         FlipOp{true, true}},
        {FitOp{100, 100, true, 2, 0xFF0000FF},
         MergeOp{MergeOp::Source::File, logo, "", 200, 3, 4, "right", "", 7, false}, text},
        {AdjustOp{20, -10, 30, 15, 40}, AdjustRgbOp{10, -20, 30}, AutoLevelOp{0.1f, 0.9f},
         NegativeOp{}, SepiaOp{}, GrayOp{}, BlurOp{3, 6}, SmoothOp{2}, SharpenOp{3}, OilPaintOp{3}},
        {LayerNewOp{"top", logo, 180, 0x40FFFFFF}, LayerCopyOp{"background", "copy", 128},
         LayerBlendOp{"top", "copy", "multiply", 200},
         LayerBlendOp{"copy", "background", "screen", 255}},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        WorkerLink link(&worker);
        ASSERT_EQ(link.LoadFile({photo, "", ""}), 0u);
        EXPECT_EQ(link.width(), 140);
        for (const Operation& op : cases[i])
            ASSERT_EQ(link.Apply(op), 0u);
        Vs4Image::CBaseImage got, expected;
        Fetch(link, got);
        InProcess(photo, cases[i], expected);
        EXPECT_EQ(vstest::Checksum(got), vstest::Checksum(expected));
    }
}

TEST_F(WorkerFixture, SizesBytesFilesAndFailures) {
    WorkerLink link(&worker);
    ASSERT_EQ(link.LoadFile({photo, "", ""}), 0u);
    ASSERT_EQ(link.Apply(CropOp{0, 0, 10, 10, 0}), 0u);
    // Save with metadata, then load the written bytes back through opcode 3.
    const std::string out = folder.path() + "/out.jpg";
    ASSERT_EQ(link.SaveFile({out, 80, true, "", ""}), 0u);
    std::string bytes = vstest::ReadFile(out);
    ASSERT_EQ(link.LoadBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), 0u);
    EXPECT_EQ(link.width(), 10);
    // The engine's statuses come back as they are.
    std::vector<uint8_t> encoded;
    EXPECT_EQ(link.Encode({"gif", 90, false}, encoded), 2u);
    EXPECT_EQ(link.SaveFile({std::string(300, 'x') + ".jpg", 90, false, "", ""}), 2u);
    EXPECT_NE(link.Apply(FrameOp{folder.config().frameFolder(), "none"}), 0u);
    EXPECT_EQ(worker.starts(), 1u);  // failures of steps are not failures of the worker
}

TEST_F(WorkerFixture, AKilledOrHungWorkerCostsOneStepAndIsReplaced) {
    for (int signal : {SIGKILL, SIGSTOP}) {
        SCOPED_TRACE(signal);
        const uint32_t starts = worker.starts();
        WorkerLink link(&worker);
        ASSERT_EQ(link.LoadFile({photo, "", ""}), 0u);
        kill(worker.pid(), signal);
        EXPECT_EQ(link.Apply(BlurOp{5, 5}), 1u);  // EOF, or nothing within WorkerTimeout
        WorkerLink next(&worker);
        EXPECT_EQ(next.LoadFile({photo, "", ""}), 0u);
        EXPECT_EQ(next.width(), 140);
        EXPECT_EQ(worker.starts(), starts + 1);
    }
    EXPECT_EQ(vstest::CountOf(folder.requestLog(), "is created successfully"), 3u);
}

TEST(WorkerStart, AMissingProgramIsLoggedAndNothingRuns) {
    TestModuleFolder folder("[Server]\n");
    CWorkerProcess worker(folder.config(), folder.path() + "/no-such-worker");
    EXPECT_FALSE(worker.Start());
    WorkerLink link(&worker);
    EXPECT_EQ(link.LoadFile({"/x.jpg", "", ""}), 1u);
    EXPECT_NE(folder.requestLog().find("# Remote image process failed to created(error:2)."),
              std::string::npos);
}

namespace {

// Peak signal-to-noise ratio of the colour channels, in dB.
double Psnr(const Vs4Image::CBaseImage& a, const Vs4Image::CBaseImage& b) {
    double sum = 0;
    int64_t n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            for (int c = 0; c < 3; ++c) {
                double d = double(a.view().pixel(x, y)[c]) - double(b.view().pixel(x, y)[c]);
                sum += d * d;
                ++n;
            }
    return sum == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / (sum / double(n)));
}

}  // namespace

// A photo whose first step shrinks it is decoded at a reduced size; the
// thumbnail keeps the full path's size and stays within 40 dB of it, while a
// first crop still sees every pixel of the full decode.
TEST_F(WorkerFixture, ShrinkOnLoadKeepsSizeAndQualityAndCropsSeeFullPixels) {
    const std::string large = folder.path() + "/large.jpg";
    const std::string source = "/usr/share/backgrounds/gnome/adwaita-l.webp";
    ASSERT_TRUE(Shell("convert " + (access(source.c_str(), R_OK) == 0 ? source : "rose:") +
                      " -resize 1200x800! -quality 92 " + large))
        << "needs ImageMagick";
    const struct {
        Operation op;
        double minPsnr;  // 0: the pixels must be the same
    } cases[] = {
        {ResizeOp{300, 0, 7, false}, 40},
        {ResizeOp{0, 150, 2, true}, 40},
        {CropOp{600, 400, 320, 200, 0}, 0},
    };
    for (const auto& c : cases) {
        WorkerLink link(&worker);
        ASSERT_EQ(link.LoadFile({large, "", ""}), 0u);
        EXPECT_EQ(link.width(), 1200);  // the size of the header, before any decode
        ASSERT_EQ(link.Apply(c.op), 0u);
        Vs4Image::CBaseImage got, expected;
        Fetch(link, got);
        InProcess(large, {c.op}, expected);
        ASSERT_EQ(got.width(), expected.width());
        ASSERT_EQ(got.height(), expected.height());
        if (c.minPsnr == 0) {
            EXPECT_EQ(vstest::Checksum(got), vstest::Checksum(expected));
        } else {  // close to the full path, but not it: the decode was reduced
            EXPECT_GE(Psnr(got, expected), c.minPsnr);
            EXPECT_NE(vstest::Checksum(got), vstest::Checksum(expected));
        }
    }
}
