// Decoding and encoding through the image object: round trips, the formats
// and layouts real files come in, and the choice of encoder.
#include <gtest/gtest.h>

#include "image/base_image.h"
#include "image/codecs/codec.h"
#include "image/codecs/probe.h"
#include "image_test_util.h"

using namespace Vs4Image;
using VsTest::At;

namespace {

// Decodes `path` with ImageMagick into a PNG that our PNG reader loads, the
// reference for formats whose decoding may round differently.
void LoadReference(const VsTest::TempDir& dir, const std::string& path, CBaseImage& out) {
    const std::string ref = dir / "reference.png";
    ASSERT_TRUE(VsTest::Run("convert '" + path + "' -colorspace sRGB -depth 8 PNG32:" + ref));
    ASSERT_EQ(out.LoadFromFile(ref), Ok);
}

}  // namespace

TEST(Codecs, LosslessFormatsRoundTripExactly) {
    VsTest::TempDir dir;
    for (bool alpha : {false, true}) {
        CBaseImage original;
        VsTest::MakePattern(original, 37, 23, alpha);
        for (const char* ext : {"png", "bmp"}) {
            const std::string path = dir / (std::string("pattern.") + ext);
            ASSERT_EQ(original.SaveToFile(path, 90, 0), Ok) << ext;
            CBaseImage fromFile;
            ASSERT_EQ(fromFile.LoadFromFile(path), Ok) << ext;
            EXPECT_TRUE(VsTest::SamePixels(original, fromFile)) << ext << " alpha " << alpha;
            EXPECT_FALSE(fromFile.hasTransparency());

            std::vector<uint8_t> stream = {1, 2, 3};  // saving appends
            ASSERT_EQ(original.SaveToStream(ext, 90, 0, stream), Ok);
            CBaseImage fromBytes;
            ASSERT_EQ(fromBytes.LoadFromMemory(stream.data() + 3, uint32_t(stream.size() - 3)), Ok);
            EXPECT_TRUE(VsTest::SamePixels(original, fromBytes)) << ext;
        }
    }
}

TEST(Codecs, RealFileLayoutsDecodeToTheRightColours) {
    VsTest::TempDir dir;
    struct Case {
        const char* name;
        const char* options;  // ImageMagick output options and file name
        int tolerance;
    };
    const Case cases[] = {
        {"jpeg", "-quality 90 rose.jpg", 2},
        {"progressive", "-interlace Plane rose_p.jpg", 2},
        {"grey jpeg", "-colorspace Gray rose_g.jpg", 2},
        {"cmyk jpeg", "-colorspace CMYK rose_cmyk.jpg", 3},
        {"grey png", "-colorspace Gray PNG8:rose_g.png", 0},
        {"palette png", "-colors 16 PNG8:rose_p.png", 0},
        {"16-bit png", "-depth 16 PNG48:rose_16.png", 1},
        {"interlaced png", "-interlace PNG rose_i.png", 0},
        {"grey alpha png",
         "-colorspace Gray -alpha set -channel A -evaluate set 50% +channel "
         "PNG:rose_ga.png",
         1},
        {"tiff", "-compress lzw rose.tif", 0},
        {"big-endian tiff", "-define tiff:endian=msb -compress zip rose_msb.tif", 0},
        {"tiled tiff", "-define tiff:tile-geometry=16x16 rose_tiled.tif", 0},
        {"webp", "-define webp:lossless=true rose.webp", 0},
        {"gif", "rose.gif", 0},
        {"interlaced gif", "-interlace GIF rose_i.gif", 0},
        {"bmp", "BMP3:rose.bmp", 0},
        {"os/2 bmp", "BMP2:rose2.bmp", 0},
        {"palette bmp", "-colors 16 -type Palette BMP3:rose_p.bmp", 0},
        {"4-bit bmp", "-colors 8 -type Palette -define bmp:bits-per-pixel=4 BMP3:rose_4.bmp", 0},
        {"top-down bmp", "-flip -define bmp:top-down=true BMP3:rose_td.bmp", 0},
        {"rgb565 bmp", "-define bmp:subtype=RGB565 BMP:rose_565.bmp", 1},
        {"alpha bmp", "-alpha set -channel A -evaluate set 60% +channel BMP:rose_a.bmp", 0},
        {"cmyk tiff", "-colorspace CMYK rose_cmyk.tif", 1},
        {"alpha tiff", "-alpha set -channel A -evaluate set 40% +channel rose_a.tif", 1},
        {"palette tiff", "-colors 16 -type Palette rose_p.tif", 1},
        {"grey tiff", "-colorspace Gray rose_g.tif", 0},
        {"bigtiff", "TIFF64:rose64.tif", 0},
    };
    for (const Case& c : cases) {
        const std::string options = c.options;
        const std::string file = options.substr(options.rfind(' ') + 1);
        const std::string path = dir / file.substr(file.find(':') + 1);
        ASSERT_TRUE(VsTest::Run("cd " + dir.path() + " && convert rose: " + options)) << c.name;
        CBaseImage ours, reference;
        if (std::string(c.name) == "big-endian tiff") {
            ASSERT_EQ(VsTest::ReadBytes(path).at(0), 'M');
        }
        ASSERT_EQ(ours.LoadFromFile(path), Ok) << c.name;
        LoadReference(dir, path, reference);
        ASSERT_EQ(ours.width(), 70) << c.name;
        ASSERT_EQ(ours.height(), 46) << c.name;
        EXPECT_LE(VsTest::MaxDifference(ours, reference), c.tolerance) << c.name;
    }
}

TEST(Codecs, JpegDecodesAtAReducedSizeOnlyWhenHinted) {
    VsTest::TempDir dir;
    const std::string path = dir / "big.jpg";
    ASSERT_TRUE(VsTest::Run("convert -size 800x600 gradient:red-blue " + path));
    CBaseImage full, reduced, png;
    ASSERT_EQ(full.LoadFromFile(path), Ok);
    EXPECT_EQ(full.width(), 800);
    ASSERT_EQ(reduced.LoadFromFile(path, DecodeHint{150, 100}), Ok);
    EXPECT_EQ(reduced.width(), 200);  // 800 x 2/8, the smallest scale not below the hint
    EXPECT_EQ(reduced.height(), 150);
    ASSERT_EQ(reduced.LoadFromFile(path, DecodeHint{150, 0}), Ok);  // one side is enough
    EXPECT_EQ(reduced.width(), 200);
    ASSERT_EQ(reduced.LoadFromFile(path, DecodeHint{0, 100}), Ok);
    EXPECT_EQ(reduced.width(), 200);
    const std::string pngPath = dir / "big.png";
    ASSERT_EQ(full.SaveToFile(pngPath, 0, 0), Ok);
    ASSERT_EQ(png.LoadFromFile(pngPath, DecodeHint{150, 100}), Ok);
    EXPECT_EQ(png.width(), 800);  // other formats ignore the hint
}

// The file extension or format name (any case) chooses the encoder; other
// formats are refused and nothing is written.
TEST(Codecs, TheExtensionOrFormatNameChoosesTheEncoder) {
    VsTest::TempDir dir;
    CBaseImage image;
    std::vector<uint8_t> stream;
    EXPECT_EQ(image.SaveToFile(dir / "none.png", 90, 0), WrongState);
    ASSERT_EQ(image.CreateBlank(4, 4, 0xFFFFFFFF), Ok);
    for (const auto& [name, format] : {std::pair{"a.JPG", ImageFormat::Jpeg},
                                       {"b.Jpeg", ImageFormat::Jpeg},
                                       {"c.BMP", ImageFormat::Bmp},
                                       {"d.png", ImageFormat::Png}}) {
        ASSERT_EQ(image.SaveToFile(dir / name, 90, 0), Ok) << name;
        EXPECT_EQ(DetectImageFormat(VsTest::ReadBytes(dir / name).data(), 8), format) << name;
    }
    for (const char* refused : {"a.gif", "a.tif", "a.webp", "noextension", "a.png.txt", ""}) {
        EXPECT_EQ(image.SaveToFile(dir / refused, 90, 0), InvalidParameter) << refused;
        EXPECT_FALSE(std::filesystem::exists(dir / refused) && *refused) << refused;
    }
    ASSERT_EQ(image.SaveToStream("PNG", 90, 0, stream), Ok);
    EXPECT_EQ(DetectImageFormat(stream.data(), stream.size()), ImageFormat::Png);
    std::vector<uint8_t> untouched = {9};
    EXPECT_EQ(image.SaveToStream("gif", 90, 0, untouched), InvalidParameter);
    EXPECT_EQ(untouched, std::vector<uint8_t>{9});
    EXPECT_EQ(CBaseImage::GetEncoderClsid("image/jpeg"), 1);
    EXPECT_GE(CBaseImage::GetEncoderClsid("image/bmp"), 0);
    EXPECT_EQ(CBaseImage::GetEncoderClsid("image/JPEG"), -1);
}

// The JPEG size probe reads the frame header of JPEG files only.
TEST(Codecs, JpegSizeProbe) {
    VsTest::TempDir dir;
    ASSERT_TRUE(VsTest::Run("convert rose: " + dir / "rose.jpg"));
    std::vector<uint8_t> jpeg = VsTest::ReadBytes(dir / "rose.jpg");
    int w = 0, h = 0;
    ASSERT_TRUE(ProbeJpegSize(jpeg.data(), jpeg.size(), w, h));
    EXPECT_EQ(w, 70);
    EXPECT_EQ(h, 46);
    EXPECT_FALSE(ProbeJpegSize(jpeg.data(), 3, w, h));
    jpeg[0] = 0;  // no start-of-image marker
    EXPECT_FALSE(ProbeJpegSize(jpeg.data(), jpeg.size(), w, h));
}
