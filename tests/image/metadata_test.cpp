// EXIF metadata: read into property items, written back into JPEG files on
// request, never into PNG files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "image/base_image.h"
#include "image_test_util.h"

using namespace Vs4Image;

namespace {

const PropertyItem* Find(const CBaseImage& image, uint32_t id) {
    for (const PropertyItem& item : image.properties())
        if (item.id == id)
            return &item;
    return nullptr;
}

std::string Output(const std::string& command) {
    std::string text;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    char buffer[4096];
    size_t n;
    while (pipe && (n = fread(buffer, 1, sizeof buffer, pipe.get())) > 0)
        text.append(buffer, n);
    return text;
}

// A 40 x 30 JPEG carrying a maker, an original date and orientation 6.
std::string MakeExifJpeg(const VsTest::TempDir& dir) {
    const std::string path = dir / "exif.jpg";
    EXPECT_TRUE(VsTest::Run("convert -size 40x30 gradient:white-black " + path));
    EXPECT_TRUE(
        VsTest::Run("exiv2 -M'set Exif.Image.Make TestMaker' "
                    "-M'set Exif.Photo.DateTimeOriginal 2020:01:02 03:04:05' "
                    "-M'set Exif.Image.Orientation 6' "
                    "-M'set Exif.GPSInfo.GPSLatitudeRef N' " +
                    path));
    return path;
}

}  // namespace

// EXIF entries of every directory become property items as stored (the
// orientation is not applied); saved as JPEG with keep metadata they are
// written back, without it and into PNG never.
TEST(Metadata, ExifEntriesBecomePropertyItemsAndOnlyJpegKeepsThem) {
    VsTest::TempDir dir;
    CBaseImage image;
    ASSERT_EQ(image.LoadFromFile(MakeExifJpeg(dir)), Ok);
    EXPECT_EQ(image.width(), 40);  // orientation 6 would turn it to 30 x 40
    const PropertyItem* make = Find(image, 0x010F);
    ASSERT_NE(make, nullptr);
    EXPECT_EQ(make->type, 2);
    EXPECT_EQ(std::string(make->value.begin(), make->value.end()), std::string("TestMaker\0", 10));
    ASSERT_NE(Find(image, 0x0112), nullptr);
    EXPECT_EQ(Find(image, 0x0112)->type, 3);
    EXPECT_EQ(Find(image, 0x0112)->value, (std::vector<uint8_t>{6, 0}));
    ASSERT_NE(Find(image, 0x9003), nullptr);  // in the EXIF directory
    ASSERT_NE(Find(image, 0x0001), nullptr);  // in the GPS directory

    const std::string kept = dir / "kept.jpg", dropped = dir / "dropped.jpg", png = dir / "x.png";
    ASSERT_EQ(image.SaveToFile(kept, 90, 1), Ok);
    ASSERT_EQ(image.SaveToFile(dropped, 90, 0), Ok);
    ASSERT_EQ(image.SaveToFile(png, 90, 1), Ok);
    const std::string listing = Output("exiv2 -pt '" + kept + "' 2>&1");
    for (const char* want : {"TestMaker", "2020:01:02 03:04:05", "Exif.Image.Orientation"})
        EXPECT_NE(listing.find(want), std::string::npos) << listing;
    CBaseImage again, without, fromPng;
    ASSERT_EQ(again.LoadFromFile(kept), Ok);
    ASSERT_NE(Find(again, 0x9003), nullptr);
    EXPECT_EQ(Find(again, 0x010F)->value, make->value);
    ASSERT_EQ(without.LoadFromFile(dropped), Ok);
    EXPECT_TRUE(without.properties().empty());
    ASSERT_EQ(fromPng.LoadFromFile(png), Ok);
    EXPECT_TRUE(fromPng.properties().empty());
}

namespace {

// The EXIF entries exiv2 lists for a file, one line each ("key type count
// value"); for the entries that hold file offsets only the key, as the new
// file places its directories and thumbnail elsewhere.
std::vector<std::string> ExifListing(const std::string& path) {
    std::vector<std::string> lines;
    std::istringstream in(Output("exiv2 -pt '" + path + "' 2>/dev/null"));
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
// interoperability directory besides the main, EXIF and GPS entries; saved
// with keep metadata, the new file has every one of them.
TEST(Metadata, KeepMetadataKeepsEveryEntryThumbnailAndInteroperabilityIncluded) {
    VsTest::TempDir dir;
    const std::string photo = dir / "cam.jpg", kept = dir / "kept.jpg";
    ASSERT_TRUE(VsTest::Run("convert rose: -resize 400x '" + photo + "'"));
    ASSERT_TRUE(VsTest::Run("convert rose: -resize 160x '" + (dir / "cam-thumb.jpg") + "'"));
    ASSERT_TRUE(VsTest::Run(
        "exiv2 -M'set Exif.Image.Make Canon' -M'set Exif.Image.Model Canon EOS 5D' "
        "-M'set Exif.Image.Orientation 1' -M'set Exif.Photo.DateTimeOriginal 2020:01:02 03:04:05' "
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
    ASSERT_EQ(image.Resize(200, 0, 7, false), Ok);
    ASSERT_EQ(image.SaveToFile(kept, 90, 1), Ok);
    EXPECT_EQ(ExifListing(kept), before);
}

// A big-endian TIFF's entries arrive with their values in little-endian order.
TEST(Metadata, BigEndianValuesArriveLittleEndian) {
    VsTest::TempDir dir;
    const std::string path = dir / "msb.tif";
    ASSERT_TRUE(VsTest::Run("convert rose: -define tiff:endian=msb " + path));
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
