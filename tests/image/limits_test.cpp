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

// Overwrites a big-endian 16-bit number.
void Put16(std::vector<uint8_t>& bytes, size_t at, uint16_t v) {
    bytes[at] = uint8_t(v >> 8);
    bytes[at + 1] = uint8_t(v);
}

uint32_t Crc32(const uint8_t* p, size_t n) {
    uint32_t crc = 0xFFFFFFFF;
    for (size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

void Put32(std::vector<uint8_t>& bytes, size_t at, uint32_t v) {
    Put16(bytes, at, uint16_t(v >> 16));
    Put16(bytes, at + 2, uint16_t(v));
}

// A little-endian TIFF header and one directory: grey, 8 bits, one strip.
std::vector<uint8_t> TinyTiff(uint32_t width, uint32_t height) {
    std::vector<uint8_t> t = {'I', 'I', 42, 0, 8, 0, 0, 0};
    auto add16 = [&](uint32_t v) { t.push_back(uint8_t(v)), t.push_back(uint8_t(v >> 8)); };
    auto add32 = [&](uint32_t v) { add16(v & 0xFFFF), add16(v >> 16); };
    const uint32_t entries[][3] = {{256, 4, width}, {257, 4, height}, {258, 3, 8},
                                   {259, 3, 1},     {262, 3, 1},      {273, 4, 200},
                                   {277, 3, 1},     {278, 4, height}, {279, 4, 16}};
    add16(9);
    for (const auto& e : entries) {
        add16(e[0]), add16(e[1]), add32(1);
        if (e[1] == 3)
            add16(e[2]), add16(0);
        else
            add32(e[2]);
    }
    add32(0);
    t.resize(216, 0x80);
    return t;
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

TEST(Limits, HeadersClaimingHugeSizesAreRefusedWithOutOfMemory) {
    VsTest::TempDir dir;
    // JPEG: the height and width of the frame header.
    ASSERT_TRUE(VsTest::Run("convert -size 16x16 xc:gray " + dir / "s.jpg"));
    std::vector<uint8_t> jpeg = VsTest::ReadBytes(dir / "s.jpg");
    for (size_t i = 2; i + 8 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) {
            Put16(jpeg, i + 5, 60000);
            Put16(jpeg, i + 7, 60000);
            break;
        }
    CBaseImage image;
    EXPECT_EQ(image.LoadFromMemory(jpeg.data(), uint32_t(jpeg.size())), OutOfMemory);
    ExpectEmpty(image);
    // GIF: the logical screen.
    ASSERT_TRUE(VsTest::Run("convert -size 16x16 xc:gray " + dir / "s.gif"));
    std::vector<uint8_t> gif = VsTest::ReadBytes(dir / "s.gif");
    gif[6] = gif[7] = gif[8] = gif[9] = 0xFF;
    EXPECT_EQ(image.LoadFromMemory(gif.data(), uint32_t(gif.size())), OutOfMemory);
    // BMP: a header alone, claiming 50000 x 50000.
    ASSERT_TRUE(VsTest::Run("convert -size 16x16 xc:gray BMP3:" + dir / "s.bmp"));
    std::vector<uint8_t> bmp = VsTest::ReadBytes(dir / "s.bmp");
    bmp.resize(54);
    bmp[18] = 0x50, bmp[19] = 0xC3, bmp[20] = bmp[21] = 0;
    bmp[22] = 0x50, bmp[23] = 0xC3, bmp[24] = bmp[25] = 0;
    EXPECT_EQ(image.LoadFromMemory(bmp.data(), uint32_t(bmp.size())), OutOfMemory);
    ExpectEmpty(image);
    // PNG: the header chunk, with its checksum made right.
    ASSERT_TRUE(VsTest::Run("convert -size 16x16 xc:gray " + dir / "s.png"));
    std::vector<uint8_t> png = VsTest::ReadBytes(dir / "s.png");
    Put32(png, 16, 40000);
    Put32(png, 20, 40000);
    Put32(png, 29, Crc32(png.data() + 12, 17));
    EXPECT_EQ(image.LoadFromMemory(png.data(), uint32_t(png.size())), OutOfMemory);
    // Lossless WebP: 14-bit sides, all ones, 16384 x 16384.
    ASSERT_TRUE(
        VsTest::Run("convert -size 16x16 xc:gray -define webp:lossless=true " + dir / "s.webp"));
    std::vector<uint8_t> webp = VsTest::ReadBytes(dir / "s.webp");
    ASSERT_EQ(std::string(webp.begin() + 12, webp.begin() + 16), "VP8L");
    webp[21] = webp[22] = webp[23] = 0xFF;
    webp[24] |= 0x0F;
    EXPECT_EQ(image.LoadFromMemory(webp.data(), uint32_t(webp.size())), OutOfMemory);
    // TIFF: a directory claiming 40000 x 40000; the small one decodes.
    std::vector<uint8_t> tiff = TinyTiff(40000, 40000);
    EXPECT_EQ(image.LoadFromMemory(tiff.data(), uint32_t(tiff.size())), OutOfMemory);
    ExpectEmpty(image);
    tiff = TinyTiff(4, 4);
    EXPECT_EQ(image.LoadFromMemory(tiff.data(), uint32_t(tiff.size())), Ok);
    EXPECT_EQ(VsTest::At(image, 3, 3), 0xFF808080u);
}
