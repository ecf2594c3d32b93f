// Damaged files of every format, from a fixed seed: each decode either
// succeeds with a whole image or fails and leaves the object empty; the
// sanitizers catch any read outside the input.
#include <gtest/gtest.h>

#include <random>

#include "image/base_image.h"
#include "image_test_util.h"

using namespace Vs4Image;

TEST(CodecFuzz, DamagedFilesNeverCrashOrLeaveHalfAnImage) {
    VsTest::TempDir dir;
    const char* files[] = {"f.jpg", "f.png", "f.gif", "f.tif", "f.webp", "f.bmp", "f4.bmp"};
    std::mt19937 random(20261206);
    for (const char* name : files) {
        const std::string path = dir / name;
        const std::string prefix =
            std::string(name) == "f4.bmp" ? "-colors 8 -type Palette BMP3:" : "";
        ASSERT_TRUE(VsTest::Run("convert -size 48x32 plasma:fractal -alpha set " + prefix + path));
        const std::vector<uint8_t> whole = VsTest::ReadBytes(path);
        for (int round = 0; round < 200; ++round) {
            std::vector<uint8_t> damaged = whole;
            const int changes = 1 + int(random() % 8);
            // Every other round damages the headers, where the sizes and
            // offsets are.
            for (int i = 0; i < changes; ++i) {
                const size_t at = (round % 2 ? random() % std::min<size_t>(damaged.size(), 96)
                                             : random() % damaged.size());
                damaged[at] = uint8_t(random());
            }
            if (round % 5 == 0)
                damaged.resize(random() % damaged.size() + 1);
            CBaseImage image;
            const Status status = image.LoadFromMemory(damaged.data(), uint32_t(damaged.size()));
            if (status == Ok) {
                ASSERT_TRUE(image.HasBitmap()) << name;
                EXPECT_GT(image.width(), 0);
            } else {
                EXPECT_FALSE(image.HasBitmap()) << name;
            }
        }
    }
}
