// EXIF metadata: read into property items, written back into JPEG files on
// request, never into PNG files.
#include <gtest/gtest.h>

#include <sstream>

#include "image_test_util.h"

using namespace Vs4Image;

namespace {

const PropertyItem* Find(const CBaseImage& image, uint32_t id) {
    for (const PropertyItem& item : image.properties())
        if (item.id == id)
            return &item;
    return nullptr;
}

// The EXIF entries exiv2 lists for a file, one line each ("key type count
// value"); for the entries that hold file offsets only the key, as the new
// file places its directories and thumbnail elsewhere.
std::vector<std::string> ExifListing(const std::string& path) {
    std::vector<std::string> lines;
    EXPECT_TRUE(VsTest::Shell("exiv2 -pt '" + path + "' > '" + path + ".txt'"));
    std::istringstream in(vstest::ReadFile(path + ".txt"));
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string key, word, normalised;
        words >> key;
        const bool offset = key.ends_with("Tag") || key == "Exif.Thumbnail.JPEGInterchangeFormat";
        normalised = key;
        while (!offset && words >> word)
            normalised += " " + word;
        lines.push_back(normalised);
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

}  // namespace

// A camera photo carries a thumbnail (IFD1 with its picture) and an
// interoperability directory besides the main, EXIF and GPS entries. Every
// entry becomes a property item as stored (the orientation is not applied);
// saved as JPEG with keep metadata, the new file has every one of them,
// without it and as PNG none.
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
    const PropertyItem* make = Find(image, 0x010F);
    ASSERT_NE(make, nullptr);
    EXPECT_EQ(make->type, 2);
    EXPECT_EQ(std::string(make->value.begin(), make->value.end()), std::string("Canon\0", 6));
    ASSERT_NE(Find(image, 0x0112), nullptr);
    EXPECT_EQ(Find(image, 0x0112)->type, 3);
    EXPECT_EQ(Find(image, 0x0112)->value, (std::vector<uint8_t>{6, 0}));
    ASSERT_NE(Find(image, 0x9003), nullptr);  // in the EXIF directory
    ASSERT_NE(Find(image, 0x0001), nullptr);  // in the GPS directory

    ASSERT_EQ(image.Resize(200, 0, 7, false), Ok);
    ASSERT_EQ(image.SaveToFile(kept, 90, 1), Ok);
    ASSERT_EQ(image.SaveToFile(dir / "dropped.jpg", 90, 0), Ok);
    ASSERT_EQ(image.SaveToFile(dir / "x.png", 90, 1), Ok);
    EXPECT_EQ(ExifListing(kept), before);
    CBaseImage again;
    ASSERT_EQ(again.LoadFromFile(kept), Ok);
    EXPECT_EQ(again.properties().size(), image.properties().size());
    for (const char* other : {"dropped.jpg", "x.png"}) {
        ASSERT_EQ(again.LoadFromFile(dir / other), Ok);
        EXPECT_TRUE(again.properties().empty()) << other;
    }
}

// A big-endian TIFF's entries arrive with their values in little-endian order.
TEST(Metadata, BigEndianValuesArriveLittleEndian) {
    VsTest::TempDir dir;
    const std::string path = dir / "msb.tif";
    ASSERT_TRUE(VsTest::Shell("convert rose: -define tiff:endian=msb " + path));
    const std::vector<uint8_t> bytes = VsTest::ReadBytes(path);
    ASSERT_GE(bytes.size(), 2u);
    ASSERT_EQ(std::string(bytes.begin(), bytes.begin() + 2), "MM");
    CBaseImage image;
    ASSERT_EQ(image.LoadFromFile(path), Ok);
    for (const auto& [id, value] : {std::pair{0x0100, 70}, {0x0101, 46}}) {  // rose: is 70 x 46
        const PropertyItem* item = Find(image, id);
        ASSERT_NE(item, nullptr) << id;
        ASSERT_GE(item->value.size(), 2u);
        EXPECT_EQ(item->value[0], value) << id;
        EXPECT_EQ(item->value[1], 0) << id;
    }
}
