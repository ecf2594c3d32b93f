#include <gtest/gtest.h>

#include "image/base_image.h"
#include "photocmd/layer_set.h"
#include "photocmd/named_images.h"

using namespace Vs4Command;
using Vs4Image::CBaseImage;

namespace {

Vs4Image::Argb FirstPixel(const CBaseImage& image) {
    const uint8_t* p = image.view().pixel(0, 0);
    return Vs4Image::MakeArgb(p[3], p[2], p[1], p[0]);
}

}  // namespace

TEST(LayerSet, LinesActOnNamedLayersOrTheBackground) {
    CBaseImage background;
    ASSERT_EQ(background.CreateBlank(40, 30, 0xFFFFFFFF), Vs4Image::Ok);
    LayerSet layers(background);
    EXPECT_EQ(&layers.Target(""), &background);
    EXPECT_EQ(&layers.Target("background"), &background);

    CBaseImage* logo = nullptr;
    ASSERT_EQ(layers.NewLayer("logo", 0x80FF0000, &logo), Vs4Image::Ok);
    ASSERT_NE(logo, nullptr);
    EXPECT_EQ(logo->width(), 40);
    EXPECT_EQ(logo->height(), 30);
    EXPECT_EQ(FirstPixel(*logo), 0x80FF0000u);
    EXPECT_EQ(&layers.Target("logo"), logo);
    // The line's layer value is matched exactly: " logo" is not "logo".
    EXPECT_EQ(&layers.Target(" logo"), &background);
    EXPECT_EQ(&layers.Target("nosuch"), &background);

    // A taken or empty name fails with status 2 and leaves the first layer.
    CBaseImage* again = nullptr;
    EXPECT_EQ(layers.NewLayer("logo", 0, &again), Vs4Image::InvalidParameter);
    EXPECT_EQ(again, nullptr);
    EXPECT_EQ(layers.Find("logo"), logo);
    EXPECT_EQ(layers.NewLayer("", 0, &again), Vs4Image::InvalidParameter);
    EXPECT_EQ(layers.NewLayer("background", 0, &again), Vs4Image::InvalidParameter);
    EXPECT_EQ(layers.size(), 2u);
}

TEST(LayerSet, CopyAndBlendCheckTheirLayers) {
    CBaseImage background;
    ASSERT_EQ(background.CreateBlank(40, 30, 0xFFFFFFFF), Vs4Image::Ok);
    LayerSet layers(background);
    CBaseImage *from = nullptr, *copy = nullptr;
    EXPECT_EQ(layers.NewCopyTarget("missing", "b", &from, &copy), Vs4Image::InvalidParameter);
    EXPECT_EQ(layers.NewCopyTarget("", "b", &from, &copy), Vs4Image::InvalidParameter);
    EXPECT_EQ(layers.NewCopyTarget("background", "", &from, &copy), Vs4Image::InvalidParameter);
    EXPECT_EQ(layers.NewCopyTarget("background", "background", &from, &copy),
              Vs4Image::InvalidParameter);
    ASSERT_EQ(layers.NewCopyTarget("background", "b", &from, &copy), Vs4Image::Ok);
    EXPECT_EQ(from, &background);
    EXPECT_EQ(copy->width(), 40);
    EXPECT_EQ(FirstPixel(*copy), 0u);  // transparent until the copy is drawn
    EXPECT_EQ(layers.NewCopyTarget("background", "b", &from, &copy), Vs4Image::InvalidParameter);

    CBaseImage *layer = nullptr, *base = nullptr;
    EXPECT_EQ(layers.BlendPair("b", "background", &layer, &base), Vs4Image::Ok);
    EXPECT_EQ(base, &background);
    EXPECT_EQ(layers.BlendPair("b", "nosuch", &layer, &base), Vs4Image::InvalidParameter);
    EXPECT_EQ(layer, nullptr);

    // Layers of different sizes cannot be blended: status 11.
    ASSERT_EQ(background.CreateBlank(12, 10, 0), Vs4Image::Ok);
    EXPECT_EQ(layers.BlendPair("b", "background", &layer, &base), Vs4Image::ValueOverflow);
}

TEST(NamedImageTable, MergeSourcesNeedABitmap) {
    NamedImageTable table;
    CBaseImage* overlay = nullptr;
    // A name that is not there is added empty, and the merge fails with 2.
    EXPECT_EQ(FindMergeSource(table, "Logo", &overlay), Vs4Image::InvalidParameter);
    EXPECT_EQ(overlay, nullptr);
    EXPECT_EQ(table.size(), 1u);
    ASSERT_EQ(table.FindOrCreate("Logo").CreateBlank(4, 4, 0xFF00FF00), Vs4Image::Ok);
    EXPECT_EQ(FindMergeSource(table, "Logo", &overlay), Vs4Image::Ok);
    EXPECT_EQ(overlay, table.Find("Logo"));
    // Names are exact: case and blanks count.
    EXPECT_EQ(FindMergeSource(table, "logo", &overlay), Vs4Image::InvalidParameter);
    EXPECT_EQ(table.Find(" Logo"), nullptr);
    EXPECT_EQ(table.size(), 2u);
    // The empty name is a name too.
    EXPECT_EQ(table.Find(""), nullptr);
    table.FindOrCreate("");
    EXPECT_NE(table.Find(""), nullptr);
}
