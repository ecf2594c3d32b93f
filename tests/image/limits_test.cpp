// Bad input: missing, empty, unknown, truncated, damaged and
// oversized files give a status and leave the object empty.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "image_test_util.h"

using namespace Vs4Image;

namespace {

void ExpectEmpty(const CBaseImage& image) {
    EXPECT_FALSE(image.HasBitmap());
    EXPECT_EQ(image.width(), 0);
    EXPECT_EQ(image.height(), 0);
    EXPECT_TRUE(image.properties().empty());
}

}  // namespace

// Refused: missing, empty and unknown files, a file beyond 32-bit lengths
// before it is read (sparse: no disk used), an image above the pixel limit.
TEST(Limits, MissingEmptyUnknownAndOversizedFiles) {
    VsTest::TempDir dir;
    ASSERT_TRUE(VsTest::Shell("convert rose: " + dir / "rose.png"));  // 70 x 46 = 3220 pixels
    vstest::WriteFile(dir / "empty.jpg", "");
    vstest::WriteFile(dir / "text.jpg", "hello");
    vstest::WriteFile(dir / "huge.bmp", "BM");
    std::filesystem::resize_file(dir / "huge.bmp", (uint64_t(1) << 32) + 1);
    SetMaxImagePixels(3000);
    for (const auto& [name, status] : {std::pair{"missing.jpg", FileNotFound},
                                       {"no/such/dir.jpg", FileNotFound},
                                       {"empty.jpg", UnknownImageFormat},
                                       {"text.jpg", UnknownImageFormat},
                                       {"huge.bmp", OutOfMemory},
                                       {"rose.png", OutOfMemory}}) {
        CBaseImage image;
        ASSERT_EQ(image.CreateBlank(2, 2, 0xFFFFFFFF), Ok);
        EXPECT_EQ(image.LoadFromFile(dir / name), status) << name;
        ExpectEmpty(image);
    }
    CBaseImage image;
    EXPECT_EQ(image.CreateBlank(60, 60, 0xFFFFFFFF), OutOfMemory);
    ExpectEmpty(image);
    EXPECT_EQ(image.CreateBlank(50, 60, 0xFFFFFFFF), Ok);
    SetMaxImagePixels(Bitmap::kDefaultMaxPixels);
    EXPECT_EQ(image.CreateBlank(70000, 10, 0xFFFFFFFF), OutOfMemory);
    EXPECT_EQ(image.CreateBlank(20000, 20000, 0xFFFFFFFF), OutOfMemory);  // 4e8 pixels
    EXPECT_EQ(image.CreateBlank(0, 10, 0xFFFFFFFF), InvalidParameter);
}

// Files cut short fail; damaged at random (fixed seed) they decode whole or
// fail leaving the object empty.
TEST(Limits, TruncatedCorruptAndDamagedFilesNeverLeaveHalfAnImage) {
    VsTest::TempDir dir;
    std::vector<std::string> writes = {"f.jpg", "f.png", "f.gif", "f.tif", "f.webp", "f.bmp"};
    writes.push_back("-interlace Plane p.jpg");  // settings stay with later writes: last
    writes.push_back("-colors 8 -type Palette BMP3:4.bmp");
    std::string make = "cd " + dir.path() + " && convert -size 48x32 plasma:fractal -alpha set";
    std::vector<std::string> files;
    for (const std::string& w : writes) {
        const std::string last = w.substr(w.rfind(' ') + 1);
        files.push_back(last.substr(last.find(':') + 1));
        make += " \\( +clone " + w.substr(0, w.size() - last.size()) + "-write " + last +
                " +delete \\)";
    }
    ASSERT_TRUE(VsTest::Shell(make + " null:"));
    std::mt19937 random(20261206);
    for (const std::string& name : files) {
        SCOPED_TRACE(name);
        const std::vector<uint8_t> whole = VsTest::ReadBytes(dir / name);
        CBaseImage image;
        ASSERT_EQ(image.LoadFromMemory(whole.data(), uint32_t(whole.size())), Ok);
        for (size_t keep : {whole.size() / 2, size_t(40), size_t(12)}) {
            EXPECT_NE(image.LoadFromMemory(whole.data(), uint32_t(keep)), Ok) << keep;
            ExpectEmpty(image);
        }
        if (name == "f.jpg") {  // only the end marker missing: every row is there
            EXPECT_EQ(image.LoadFromMemory(whole.data(), uint32_t(whole.size() - 2)), Ok);
        }
        for (int round = 0; round < 200; ++round) {
            std::vector<uint8_t> damaged = whole;
            // Every other round damages the headers, where the sizes and
            // offsets are.
            for (int i = 1 + int(random() % 8); i > 0; --i)
                damaged[round % 2 ? random() % std::min<size_t>(damaged.size(), 96)
                                  : random() % damaged.size()] = uint8_t(random());
            if (round % 5 == 0)
                damaged.resize(random() % damaged.size() + 1);
            const Status status = image.LoadFromMemory(damaged.data(), uint32_t(damaged.size()));
            ASSERT_EQ(image.HasBitmap(), status == Ok);
            EXPECT_EQ(image.width() > 0, status == Ok);
        }
    }
}

// A palette index beyond the colours the header declares is black, even when
// more entries follow in the file.
TEST(Limits, PaletteIndicesBeyondTheDeclaredColoursAreBlack) {
    VsTest::TempDir dir;
    const std::string path = dir / "two.bmp";
    ASSERT_TRUE(
        VsTest::Shell("convert -size 4x1 xc:red xc:blue +append -type Palette BMP3:" + path));
    std::vector<uint8_t> bmp = VsTest::ReadBytes(path);
    ASSERT_GT(bmp.size(), 54u);
    bmp[46] = 1, bmp[47] = bmp[48] = bmp[49] = 0;  // one colour declared
    CBaseImage image;
    ASSERT_EQ(image.LoadFromMemory(bmp.data(), uint32_t(bmp.size())), Ok);
    int black = 0;
    for (int x = 0; x < 8; ++x)
        black += VsTest::At(image, x, 0) == 0xFF000000u;
    EXPECT_EQ(black, 4);
}
