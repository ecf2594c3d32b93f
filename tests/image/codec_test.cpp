// Decoding and encoding through the image object, and EXIF metadata.
#include <gtest/gtest.h>

#include <sstream>

#include "image/codecs/codec.h"
#include "image/codecs/probe.h"
#include "image_test_util.h"

using namespace Vs4Image;
using VsTest::At;

namespace {

const PropertyItem* Find(const CBaseImage& image, uint32_t id) {
    for (const PropertyItem& item : image.properties())
        if (item.id == id)
            return &item;
    return nullptr;
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
            ASSERT_EQ(fromFile.CreateBlank(1, 1, 0x80FFFFFF), Ok);  // loading clears the flag
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

// Each layout is made from rose: (70 x 46) and read back by ImageMagick for
// the reference, in one shell run. Variants our code decodes alike share a row.
TEST(Codecs, RealFileLayoutsDecodeToTheRightColours) {
    VsTest::TempDir dir;
    const std::pair<const char*, int> cases[] = {
        {"-quality 90 a.jpg", 2},
        {"-colorspace Gray -interlace Plane b.jpg", 2},
        {"-colorspace CMYK c.jpg", 3},
        {"-colors 16 -interlace PNG PNG8:b.png", 0},
        {"-depth 16 PNG48:c.png", 1},
        {"-colorspace Gray -depth 16 -strip PNG:f.png", 1},  // no gamma: taken as sRGB
        {"-colorspace Gray -alpha set -channel A -evaluate set 50% +channel PNG:d.png", 1},
        {"-alpha set -channel A -evaluate set 40% +channel -define tiff:endian=msb "
         "-define tiff:tile-geometry=16x16 -compress zip b.tif",
         1},
        {"-colors 16 -type Palette -compress lzw TIFF64:c.tif", 1},
        {"-define webp:lossless=true a.webp", 0},
        {"a.gif", 0},
        {"-interlace GIF b.gif", 0},
        {"BMP2:b.bmp", 0},
        {"-colors 16 -type Palette BMP3:c.bmp", 0},
        {"-colors 8 -type Palette -define bmp:bits-per-pixel=4 BMP3:d.bmp", 0},
        {"-flip -define bmp:top-down=true BMP3:e.bmp", 0},
        {"-define bmp:subtype=RGB565 BMP:f.bmp", 1},
        {"-alpha set -channel A -evaluate set 60% +channel BMP:g.bmp", 0},
    };
    std::string make = "cd " + dir.path();
    std::vector<std::string> files;
    for (const auto& [options, tolerance] : cases) {
        const std::string o = options, last = o.substr(o.rfind(' ') + 1);
        files.push_back(last.substr(last.find(':') + 1));
        // The reference reads the file back; layouts without alpha are made
        // opaque, as ImageMagick's reading of palette files may leave it unset.
        make += " && convert rose: " + o.substr(0, o.size() - last.size()) + "-write " + last +
                " +delete " + files.back() + (o.find("alpha") == o.npos ? " -alpha opaque" : "") +
                " -colorspace sRGB -depth 8 PNG32:ref" + std::to_string(files.size()) + ".png";
    }
    ASSERT_TRUE(VsTest::Shell(make));
    for (size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(cases[i].first);
        CBaseImage ours, reference;
        ASSERT_EQ(ours.LoadFromFile(dir / files[i]), Ok);
        ASSERT_EQ(reference.LoadFromFile(dir / ("ref" + std::to_string(i + 1) + ".png")), Ok);
        ASSERT_EQ(ours.width(), 70);
        ASSERT_EQ(ours.height(), 46);
        EXPECT_LE(VsTest::MaxDifference(ours, reference), cases[i].second);
        if (files[i].ends_with(".jpg")) {  // the size probe reads the frame header
            std::vector<uint8_t> jpeg = VsTest::ReadBytes(dir / files[i]);
            int w = 0, h = 0;
            EXPECT_TRUE(ProbeJpegSize(jpeg.data(), jpeg.size(), w, h) && w == 70 && h == 46);
            EXPECT_FALSE(ProbeJpegSize(jpeg.data(), 3, w, h));
            jpeg[0] = 0;  // no start-of-image marker
            EXPECT_FALSE(ProbeJpegSize(jpeg.data(), jpeg.size(), w, h));
        }
        // JPEG decodes at the smallest scale not below the hint (2/8; one side
        // is enough); other formats ignore it.
        const bool jpeg = files[i].ends_with(".jpg");
        for (const DecodeHint hint : {DecodeHint{17, 12}, {17, 0}, {0, 12}}) {
            ASSERT_EQ(ours.LoadFromFile(dir / files[i], hint), Ok);
            EXPECT_EQ(ours.width(), jpeg ? 18 : 70);
            EXPECT_EQ(ours.height(), jpeg ? 12 : 46);
        }
        if (files[i] == "b.tif") {  // big-endian: the entries' values arrive little-endian
            ASSERT_EQ(VsTest::ReadBytes(dir / files[i]).at(0), 'M');
            for (const auto& [id, value] : {std::pair{0x0100, 70}, {0x0101, 46}}) {
                const PropertyItem* item = Find(ours, id);
                ASSERT_TRUE(item && item->value.size() >= 2) << id;
                EXPECT_EQ(item->value[0] | item->value[1] << 8, value) << id;
            }
        }
    }
}

// Saving needs a bitmap and a name our encoders know (the last extension of
// the file name); refused, nothing is written or appended.
TEST(Codecs, UnknownExtensionsAndFormatNamesWriteNothing) {
    VsTest::TempDir dir;
    CBaseImage image;
    EXPECT_EQ(image.SaveToFile(dir / "none.png", 90, 0), WrongState);
    ASSERT_EQ(image.CreateBlank(4, 4, 0xFFFFFFFF), Ok);
    for (const char* refused : {"a.gif", "noextension", "a.png.txt", ""}) {
        EXPECT_EQ(image.SaveToFile(dir / refused, 90, 0), InvalidParameter) << refused;
        EXPECT_FALSE(std::filesystem::exists(dir / refused) && *refused) << refused;
    }
    std::vector<uint8_t> untouched = {9};
    EXPECT_EQ(image.SaveToStream("gif", 90, 0, untouched), InvalidParameter);
    EXPECT_EQ(untouched, std::vector<uint8_t>{9});
    EXPECT_EQ(CBaseImage::GetEncoderClsid("image/jpeg"), 1);
    EXPECT_GE(CBaseImage::GetEncoderClsid("image/bmp"), 0);
    EXPECT_EQ(CBaseImage::GetEncoderClsid("image/JPEG"), -1);
}

namespace {

// The EXIF entries exiv2 lists for a file, one line each ("key type count
// value"); for the entries that hold file offsets only the key, as the new
// file places its directories and thumbnail elsewhere.
std::vector<std::string> ExifListing(const std::string& path) {
    std::vector<std::string> lines;
    EXPECT_TRUE(VsTest::Shell("exiv2 -pt '" + path + "' > '" + path + ".txt'"));
    std::istringstream in(vstest::ReadFile(path + ".txt"));
    for (std::string line; std::getline(in, line);) {
        const std::string key = line.substr(0, line.find(' '));
        const bool offset = key.ends_with("Tag") || key == "Exif.Thumbnail.JPEGInterchangeFormat";
        lines.push_back(offset ? key : line);
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

}  // namespace

// A camera photo's EXIF entries (main, EXIF, GPS, interoperability, and a
// thumbnail in IFD1) become property items; saved as JPEG with keep metadata
// the new file has every one of them, as PNG none.
TEST(Metadata, ExifEntriesBecomePropertyItemsAndOnlyJpegKeepsThem) {
    VsTest::TempDir dir;
    const std::string photo = dir / "cam.jpg", kept = dir / "kept.jpg";
    ASSERT_TRUE(VsTest::Shell(
        "convert rose: -resize 400x '" + photo + "' && convert rose: -resize 160x '" +
        (dir / "cam-thumb.jpg") +
        "' && exiv2 -M'set Exif.Image.Make Canon' -M'set Exif.Image.Model Canon EOS 5D' "
        "-M'set Exif.Image.Orientation 6' -M'set Exif.Photo.DateTimeOriginal 2020:01:02 03:04:05' "
        "-M'set Exif.Photo.ExposureTime 1/125' -M'set Exif.Photo.ISOSpeedRatings 400' "
        "-M'set Exif.GPSInfo.GPSLatitudeRef N' -M'set Exif.GPSInfo.GPSLatitude 37/1 30/1 0/1' "
        "-M'set Exif.Iop.InteroperabilityIndex R98' "
        "-M'set Exif.Iop.InteroperabilityVersion 48 49 48 48' "
        "-M'set Exif.Thumbnail.XResolution 180/1' -M'set Exif.Thumbnail.YResolution 180/1' "
        "-M'set Exif.Thumbnail.ResolutionUnit 2' '" +
        photo + "' && exiv2 -it '" + photo + "'"));
    const std::vector<std::string> before = ExifListing(photo);
    ASSERT_EQ(before.size(), 19u);  // the thumbnail's picture and its IFD1 entries are there
    CBaseImage image;
    ASSERT_EQ(image.LoadFromFile(photo), Ok);
    EXPECT_EQ(image.width(), 400);  // orientation 6 would turn it
    ASSERT_EQ(image.Resize(200, 0, 7, false), Ok);
    ASSERT_EQ(image.SaveToFile(kept, 90, 1), Ok);
    ASSERT_EQ(image.SaveToFile(dir / "x.png", 90, 1), Ok);
    EXPECT_EQ(ExifListing(kept), before);
    ASSERT_EQ(image.LoadFromFile(dir / "x.png"), Ok);
    EXPECT_TRUE(image.properties().empty());
}
