// Bad input: missing, empty, unknown, truncated, corrupt and oversized files
// give a status and leave the object empty.
#include <gtest/gtest.h>

#include <filesystem>

#include "image/base_image.h"
#include "image_test_util.h"

using namespace Vs4Image;

namespace {

class LimitGuard {
public:
    explicit LimitGuard(int64_t pixels) { SetMaxImagePixels(pixels); }
    ~LimitGuard() { SetMaxImagePixels(Bitmap::kDefaultMaxPixels); }
};

void ExpectEmpty(const CBaseImage& image) {
    EXPECT_FALSE(image.HasBitmap());
    EXPECT_EQ(image.width(), 0);
    EXPECT_EQ(image.height(), 0);
    EXPECT_TRUE(image.properties().empty());
}

}  // namespace

TEST(Limits, MissingEmptyAndUnknownFiles) {
    VsTest::TempDir dir;
    CBaseImage image;
    ASSERT_EQ(image.CreateBlank(2, 2, 0xFFFFFFFF), Ok);
    EXPECT_EQ(image.LoadFromFile(dir / "missing.jpg"), FileNotFound);
    ExpectEmpty(image);
    EXPECT_EQ(image.LoadFromFile(dir / "no/such/dir.jpg"), FileNotFound);
    VsTest::WriteBytes(dir / "empty.jpg", {});
    EXPECT_EQ(image.LoadFromFile(dir / "empty.jpg"), UnknownImageFormat);
    VsTest::WriteBytes(dir / "text.jpg", {'h', 'e', 'l', 'l', 'o'});
    EXPECT_EQ(image.LoadFromFile(dir / "text.jpg"), UnknownImageFormat);
    EXPECT_EQ(image.LoadFromMemory(nullptr, 0), UnknownImageFormat);
    ExpectEmpty(image);

    // A file longer than any length the loader takes (32 bits) is refused
    // before it is read into memory (the file is sparse: no disk is used).
    const std::string huge = dir / "huge.bmp";
    VsTest::WriteBytes(huge, {'B', 'M'});
    std::filesystem::resize_file(huge, (uint64_t(1) << 32) + 1);
    EXPECT_EQ(image.LoadFromFile(huge), OutOfMemory);
    ExpectEmpty(image);
}

TEST(Limits, TruncatedAndCorruptFilesFailWithoutAPartialImage) {
    VsTest::TempDir dir;
    for (const char* name : {"r.jpg", "r_p.jpg", "r.png", "r.gif", "r.tif", "r.webp", "r.bmp"}) {
        const std::string path = dir / name;
        const std::string options = std::string(name) == "r_p.jpg" ? "-interlace Plane " : "";
        ASSERT_TRUE(VsTest::Run("convert -size 300x200 plasma:fractal " + options + path));
        const std::vector<uint8_t> whole = VsTest::ReadBytes(path);
        CBaseImage image;
        ASSERT_EQ(image.LoadFromMemory(whole.data(), uint32_t(whole.size())), Ok) << name;
        for (size_t keep : {whole.size() / 2, size_t(40), size_t(12)}) {
            EXPECT_NE(image.LoadFromMemory(whole.data(), uint32_t(keep)), Ok)
                << name << " " << keep;
            ExpectEmpty(image);
        }
        if (std::string(name) == "r.jpg") {
            // Only the end marker missing: every row is there, so it decodes.
            EXPECT_EQ(image.LoadFromMemory(whole.data(), uint32_t(whole.size() - 2)), Ok);
        }
        // Garbage after a valid signature.
        std::vector<uint8_t> corrupt = whole;
        for (size_t i = 16; i < corrupt.size(); ++i)
            corrupt[i] = uint8_t(i * 37 + 11);
        EXPECT_NE(image.LoadFromMemory(corrupt.data(), uint32_t(corrupt.size())), Ok) << name;
        ExpectEmpty(image);
    }
}

TEST(Limits, ImagesAboveThePixelLimitAreRefusedBeforeDecoding) {
    VsTest::TempDir dir;
    ASSERT_TRUE(VsTest::Run("convert rose: " + dir / "rose.png"));  // 70 x 46 = 3220 pixels
    {
        LimitGuard limit(3000);
        CBaseImage image;
        EXPECT_EQ(image.LoadFromFile(dir / "rose.png"), OutOfMemory);
        ExpectEmpty(image);
        EXPECT_EQ(image.CreateBlank(60, 60, 0xFFFFFFFF), OutOfMemory);
        ExpectEmpty(image);
        EXPECT_EQ(image.CreateBlank(50, 60, 0xFFFFFFFF), Ok);
    }
    CBaseImage blank;
    EXPECT_EQ(blank.CreateBlank(70000, 10, 0xFFFFFFFF), OutOfMemory);
    EXPECT_EQ(blank.CreateBlank(20000, 20000, 0xFFFFFFFF), OutOfMemory);  // 4e8 pixels
    EXPECT_EQ(blank.CreateBlank(0, 10, 0xFFFFFFFF), InvalidParameter);
}

// A palette index beyond the colours the header declares is black, even when
// more entries follow in the file.
TEST(Limits, PaletteIndicesBeyondTheDeclaredColoursAreBlack) {
    VsTest::TempDir dir;
    const std::string path = dir / "two.bmp";
    ASSERT_TRUE(VsTest::Run("convert -size 4x1 xc:red xc:blue +append -type Palette BMP3:" + path));
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
