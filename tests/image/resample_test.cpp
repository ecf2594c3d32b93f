// The resampler on known patterns, for every interpolation mode.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "image/base_image.h"
#include "image/resample.h"
#include "image_test_util.h"

using namespace Vs4Image;
using VsTest::At;

namespace {

bool AllEqual(const CBaseImage& image, uint32_t colour) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (At(image, x, y) != colour)
                return false;
    return true;
}

}  // namespace

TEST(Resample, UniformImagesStayUniformInEveryMode) {
    for (uint32_t colour : {0xFFFFFFFFu, 0xFF000000u, 0xFF3366CCu, 0x80C86432u, 0x00000000u}) {
        for (uint32_t mode = 0; mode <= 8; ++mode) {
            for (auto size : {std::pair{37, 91}, std::pair{300, 7}, std::pair{1, 1}}) {
                CBaseImage image;
                ASSERT_EQ(image.CreateBlank(123, 45, colour), Ok);
                ASSERT_EQ(image.Resize(size.first, size.second, mode, false), Ok);
                EXPECT_TRUE(AllEqual(image, colour))
                    << std::hex << colour << std::dec << " mode " << mode << " to " << size.first;
            }
        }
    }
}

TEST(Resample, NearestNeighbourCopiesPixelsExactly) {
    CBaseImage original, image;
    VsTest::MakePattern(original, 20, 10, true);
    VsTest::MakePattern(image, 20, 10, true);
    ASSERT_EQ(image.Resize(40, 30, 5, false), Ok);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            ASSERT_EQ(At(image, x, y), At(original, x / 2, y / 3));
    VsTest::MakePattern(image, 20, 10, true);
    ASSERT_EQ(image.Resize(10, 5, 5, false), Ok);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 10; ++x)
            ASSERT_EQ(At(image, x, y), At(original, 2 * x + 1, 2 * y + 1));
}

TEST(Resample, SameSizeKeepsOpaquePixelsInEveryMode) {
    CBaseImage original;
    VsTest::MakePattern(original, 31, 17, false);
    for (uint32_t mode = 0; mode <= 7; ++mode) {
        CBaseImage image;
        VsTest::MakePattern(image, 31, 17, false);
        ASSERT_EQ(image.Resize(31, 17, mode, false), Ok);
        EXPECT_TRUE(VsTest::SamePixels(original, image)) << "mode " << mode;
    }
}

TEST(Resample, HighQualityModesAverageWhenShrinking) {
    // One-pixel stripes: shrunk eight times, the widened kernels give the
    // average grey; nearest neighbour picks single stripes.
    CBaseImage stripes;
    ASSERT_EQ(stripes.CreateBlank(256, 16, 0xFF000000), Ok);
    for (int y = 0; y < 16; ++y)
        for (int x = 1; x < 256; x += 2)
            VsTest::Set(stripes, x, y, 0xFFFFFFFF);
    for (uint32_t mode : {2u, 6u, 7u}) {
        CBaseImage image;
        ASSERT_EQ(image.CreateBlank(256, 16, 0xFF000000), Ok);
        image.DrawImageAt(stripes, 0, 0, 255);
        ASSERT_EQ(image.Resize(32, 2, mode, false), Ok);
        // The outermost columns see the stripes mirrored at the edge.
        for (int x = 1; x < 31; ++x)
            EXPECT_NEAR(int(At(image, x, 0) & 0xFF), 128, 6) << "mode " << mode << " x " << x;
    }
    CBaseImage nearest;
    ASSERT_EQ(nearest.CreateBlank(256, 16, 0xFF000000), Ok);
    nearest.DrawImageAt(stripes, 0, 0, 255);
    ASSERT_EQ(nearest.Resize(32, 2, 5, false), Ok);
    const uint32_t first = At(nearest, 0, 0) & 0xFF;
    EXPECT_TRUE(first == 0 || first == 255);
}

TEST(Resample, EdgesAreMirroredAndTransparentPixelsDoNotBleed) {
    // A white image enlarged: no black creeps in from beyond the edges.
    for (uint32_t mode = 0; mode <= 7; ++mode) {
        CBaseImage image;
        ASSERT_EQ(image.CreateBlank(3, 3, 0xFFFFFFFF), Ok);
        VsTest::Set(image, 1, 1, 0xFFFFFFFF);
        ASSERT_EQ(image.Resize(30, 30, mode, false), Ok);
        EXPECT_EQ(At(image, 0, 0), 0xFFFFFFFFu) << mode;
        EXPECT_EQ(At(image, 29, 29), 0xFFFFFFFFu) << mode;
    }
    // Left half transparent red, right half opaque blue: every visible pixel
    // of the result is pure blue.
    for (uint32_t mode = 0; mode <= 7; ++mode) {
        CBaseImage image;
        ASSERT_EQ(image.CreateBlank(20, 4, 0xFF0000FF), Ok);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 10; ++x)
                VsTest::Set(image, x, y, 0x00FF0000);
        ASSERT_EQ(image.Resize(13, 3, mode, false), Ok);
        for (int x = 0; x < 13; ++x) {
            const uint32_t p = At(image, x, 1);
            if ((p >> 24) != 0) {
                EXPECT_EQ(p & 0xFFFFFF, 0x0000FFu) << "mode " << mode << " x " << x;
            }
        }
    }
}

TEST(Resample, AWindowMatchesTheSameAreaOfTheWholeResult) {
    CBaseImage source;
    VsTest::MakePattern(source, 64, 48, true);
    for (uint32_t mode : {3u, 5u, 7u}) {
        CBaseImage whole, window;
        ASSERT_EQ(whole.CreateBlank(100, 80, 0), Ok);
        ASSERT_EQ(window.CreateBlank(30, 20, 0), Ok);
        ASSERT_EQ(Resample(source.view(), whole.view(), mode), Ok);
        ASSERT_EQ(ResampleWindow(source.view(), 100, 80, 40, 50, window.view(), mode), Ok);
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 30; ++x)
                ASSERT_EQ(At(window, x, y), At(whole, 40 + x, 50 + y));
    }
}

TEST(Resample, MatchesAReferenceCatmullRomResizeInsideTheEdges) {
    // ImageMagick's Catrom filter is the same cubic, widened when shrinking.
    VsTest::TempDir dir;
    ASSERT_TRUE(VsTest::Run("convert -size 240x160 plasma:fractal -seed 7 -blur 0x2 PNG24:" +
                            dir / "src.png"));
    struct Case {
        uint32_t mode;
        int w, h;
        const char* filter;
        double meanTolerance;
    } cases[] = {{4, 480, 320, "Catrom", 1.0},
                 {7, 120, 80, "Catrom", 1.0},
                 {7, 30, 20, "Catrom", 1.0},
                 {6, 60, 40, "Triangle", 1.0}};
    for (const Case& c : cases) {
        const std::string size = std::to_string(c.w) + "x" + std::to_string(c.h);
        ASSERT_TRUE(VsTest::Run("convert " + dir / "src.png" + " -filter " + c.filter +
                                " -resize " + size + "! PNG24:" + dir / "ref.png"));
        CBaseImage ours, reference;
        ASSERT_EQ(ours.LoadFromFile(dir / "src.png"), Ok);
        ASSERT_EQ(ours.Resize(c.w, c.h, c.mode, false), Ok);
        ASSERT_EQ(reference.LoadFromFile(dir / "ref.png"), Ok);
        double total = 0;
        int count = 0;
        const int margin = c.w / 10;
        for (int y = margin; y < c.h - margin; ++y)
            for (int x = margin; x < c.w - margin; ++x)
                for (int ch = 0; ch < 3; ++ch, ++count)
                    total += std::abs(int(ours.view().pixel(x, y)[ch]) -
                                      int(reference.view().pixel(x, y)[ch]));
        EXPECT_LT(total / count, c.meanTolerance) << "mode " << c.mode << " to " << size;
    }
}

// Turning a tall image into a wide one with a kernel that is not widened
// touches only a few source rows per output row; the work memory must not
// grow with the source rows the output spans (a 64 x 8000 image stretched to
// 8000 x 64 once asked for 8000 filtered rows of 8000 pixels, half a
// gigabyte). Run in a child process so that its peak memory is its own.
TEST(Resample, WorkMemoryDoesNotGrowWithTheRowsSpanned) {
    CBaseImage image;
    VsTest::MakePattern(image, 64, 8000, true);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        rusage before{}, after{};
        getrusage(RUSAGE_SELF, &before);
        const bool ok = image.Resize(8000, 64, 3, false) == Ok && image.width() == 8000;
        getrusage(RUSAGE_SELF, &after);
        // ru_maxrss is in kilobytes: allow 64 MB over the result's 2 MB.
        _exit(ok && after.ru_maxrss - before.ru_maxrss < 64 * 1024 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}
