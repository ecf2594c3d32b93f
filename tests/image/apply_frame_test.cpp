#include "image/frame/apply_frame.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "image/frame/frame_template.h"
#include "image/graphics.h"
#include "image_test_util.h"

using namespace Vs4Image;
using VsTest::ExpectPixels;
using vstest::PixelAt;
using VsTest::Probe;
using VsTest::Rect;
using VsTest::SavePicture;

namespace {

constexpr Argb kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF, kBlack = 0xFF000000;
constexpr Argb kYellow = 0xFFFFFF00, kCyan = 0xFF00FFFF, kMagenta = 0xFFFF00FF;
constexpr Argb kGrey = 0xFF808080, kOrange = 0xFFFF8000;
constexpr Argb kPhotoA = 0xFF112233, kPhotoB = 0xFF778899, kPhotoC = 0xFF445566;

// The 3 x 3 frame picture: one colour per piece; the first column of the top
// and bottom sides and the first row of the left side are black so that
// tiles can be told apart.
void SaveBoxPicture(const std::string& path) {
    const Rect rects[] = {
        {0, 0, 30, 30, kRed},    {30, 0, 30, 30, kGreen},   {30, 0, 1, 30, kBlack},
        {60, 0, 30, 30, kBlue},  {0, 30, 30, 30, kYellow},  {0, 30, 30, 1, kBlack},
        {60, 30, 30, 30, kCyan}, {0, 60, 30, 30, kMagenta}, {30, 60, 30, 30, kGrey},
        {30, 60, 1, 30, kBlack}, {60, 60, 30, 30, kOrange}};
    SavePicture(path, 90, 90, 0xFFFFFFFF, rects);
}

// `repeat` for left, top and bottom sides; right-bottom corner `cornerHeight` high.
std::string BoxTemplate(const std::string& repeat, const std::string& src = "box.png",
                        int cornerHeight = 30) {
    const std::string r = "\" repeat=\"" + repeat + "\"/>\n";
    return "<frame src=\"" + src + R"(" applywidth="400">
  <lefttop x="0" y="0" width="30" height="30" drawx="20" drawy="20"/>
  <righttop x="60" y="0" width="30" height="30"/>
  <rightbottom x="60" y="60" width="30" height=")" +
           std::to_string(cornerHeight) + R"(" drawx="10" drawy="10"/>
  <leftbottom x="0" y="60" width="30" height="30"/>
  <leftcenter x="0" y="30" width="30" height="30)" +
           r + R"(<topcenter x="30" y="0" width="30" height="30)" + r +
           R"(<rightcenter x="60" y="30" width="30" height="30"/>
  <bottomcenter x="30" y="60" width="30" height="30)" +
           r + "</frame>";
}

// 400 x 300: a left quarter, a top band and the rest in three colours.
void MakePhoto(CBaseImage& photo, int w = 400, int h = 300) {
    ASSERT_EQ(photo.CreateBlank(w, h, kPhotoB), Ok);
    Graphics g(*photo.bitmap());
    g.SetRectangle(0, 0, w / 4, h, kPhotoA);
    g.SetRectangle(w / 4, 0, w - w / 4, h / 4, kPhotoC);
}

}  // namespace

// The photo is shrunk into (20, 20, 360, 260); sides sit between the corners,
// stretched ("yes") or tiled ("TRUE": copies at their own size, the last one
// cut where the corner begins); corners are drawn last at their own size.
TEST(ApplyFrame, NinePatchStretchesOrTiles) {
    vstest::TempDir dir;
    SaveBoxPicture(dir / "box.png");
    vstest::WriteFile(dir / "stretch.xml", BoxTemplate("yes"));
    vstest::WriteFile(dir / "tile.xml", BoxTemplate("TRUE", "box.png", 20));
    CBaseImage photo;
    MakePhoto(photo);
    ASSERT_EQ(ApplyFrame(photo, dir.path(), "stretch"), Ok);
    ASSERT_EQ(photo.width(), 400);
    ASSERT_EQ(photo.height(), 300);
    // Photo x = 100 lands on 20 + 100 * 360 / 400 = 110, y = 75 on 85. The
    // top side's black first column becomes one band 340 / 30 wide.
    const std::initializer_list<Probe> stretched = {
        {109, 150, kPhotoA}, {110, 150, kPhotoB}, {150, 84, kPhotoC}, {150, 85, kPhotoB},
        {369, 269, kPhotoB}, {5, 5, kRed},        {29, 29, kRed},     {394, 5, kBlue},
        {370, 0, kBlue},     {394, 294, kOrange}, {5, 294, kMagenta}, {10, 150, kYellow},
        {380, 150, kCyan},   {200, 290, kGrey},   {30, 10, kBlack},   {39, 10, kBlack},
        {60, 10, kGreen},    {360, 10, kGreen},   {10, 60, kYellow}};
    ExpectPixels(photo, stretched);
    MakePhoto(photo);
    ASSERT_EQ(ApplyFrame(photo, dir.path(), "tile"), Ok);
    for (int x = 30; x < 370; x += 30)
        ExpectPixels(photo, {{x, 10, kBlack}, {x + 1, 10, kGreen}, {x, 285, kBlack}});
    for (int y = 30; y < 270; y += 30)
        ExpectPixels(photo, {{10, y, kBlack}, {10, y + 1, kYellow}});
    // The bottom side stops where the (shorter) corner begins: the right side
    // shows beside the corner.
    const std::initializer_list<Probe> tiled = {{369, 10, kGreen},   {370, 10, kBlue},
                                                {10, 270, kMagenta}, {150, 150, kPhotoB},
                                                {385, 275, kCyan},   {385, 285, kOrange}};
    ExpectPixels(photo, tiled);
    // Corners that overlap from top and bottom leave the photo no room.
    vstest::WriteFile(dir / "tight.xml",
                      R"(<frame src="box.png"><lefttop x="0" y="0" width="30" height="30")"
                      R"( drawx="20" drawy="20"/><rightbottom x="60" y="60" width="30")"
                      R"( height="30" drawx="10" drawy="10"/></frame>)");
    MakePhoto(photo, 200, 30);
    ASSERT_EQ(ApplyFrame(photo, dir.path(), "tight"), Ok);
    EXPECT_EQ(PixelAt(photo, 100, 15), 0u);
}

// Landscape photos take the horizontal overlay, portrait and square ones the
// vertical; the photo goes onto the marked corners, scaled.
TEST(ApplyFrame, OverlayChoosesByShape) {
    vstest::TempDir dir;
    SavePicture(dir / "h.png", 100, 50, 0x80FF0000);
    SavePicture(dir / "v.png", 50, 100, 0x800000FF);
    vstest::WriteFile(dir / "pic.xml", R"(<frame>
  <horizontal src="h.png" x1="10" y1="10" x2="90" y2="10" x3="10" y3="40" x4="90" y4="40"/>
  <vertical src="v.png" x1="10" y1="10" x2="40" y2="10" x3="10" y3="90"/>
</frame>)");
    for (int w : {300, 200, 100}) {
        CBaseImage photo;
        ASSERT_EQ(photo.CreateBlank(w, 200, kGreen), Ok);
        ASSERT_EQ(ApplyFrame(photo, dir.path(), "pic"), Ok);
        const Argb outside = PixelAt(photo, w - 3, 197);
        const Argb inside = PixelAt(photo, w / 2, 100);
        EXPECT_EQ(outside & 0xFFFFFF, w > 200 ? 0xFF0000u : 0x0000FFu) << w;
        EXPECT_NEAR(int(outside >> 24), 128, 2) << w;
        EXPECT_EQ(inside >> 24, 255u) << w;
        EXPECT_NEAR(int(inside >> 8 & 0xFF), 127, 2) << w;  // green, half covered
        if (w == 200) {  // the photo's corner at (10 * 4, 10 * 2)
            EXPECT_LT(PixelAt(photo, 38, 100) >> 8 & 0xFF, 10u);
            EXPECT_GT(PixelAt(photo, 42, 100) >> 8 & 0xFF, 100u);
            EXPECT_LT(PixelAt(photo, 100, 18) >> 8 & 0xFF, 10u);
            EXPECT_GT(PixelAt(photo, 100, 22) >> 8 & 0xFF, 100u);
        }
    }
}

// Malformed or escaping templates answer InvalidParameter, a missing
// picture its load status; the image is unchanged in every case.
TEST(ApplyFrame, FailuresLeaveTheImage) {
    vstest::TempDir dir;
    const std::string folder = dir / "frames";
    std::filesystem::create_directory(folder);
    SaveBoxPicture(dir / "box.png");
    SaveBoxPicture(folder + "/box.png");
    vstest::WriteFile(folder + "/broken.xml", "<frame src=\"box.png\"><lefttop x=\"1\"");
    vstest::WriteFile(folder + "/other.xml", "<frames src=\"box.png\"/>");
    vstest::WriteFile(folder + "/nested.xml", "<a><frame src='box.png'/></a>");
    vstest::WriteFile(folder + "/empty.xml", "");
    vstest::WriteFile(folder + "/up.xml", BoxTemplate("yes", "../box.png"));
    vstest::WriteFile(folder + "/abs.xml", BoxTemplate("yes", dir / "box.png"));
    vstest::WriteFile(folder + "/nopic.xml", BoxTemplate("yes", "gone.png"));
    vstest::WriteFile(folder + "/nooverlay.xml", "<frame><vertical x1=\"1\"/></frame>");
    CBaseImage photo, original;
    MakePhoto(photo);
    MakePhoto(original);
    for (const char* name : {"broken", "other", "nested", "empty", "up", "abs", "", "nooverlay"}) {
        EXPECT_EQ(ApplyFrame(photo, folder, name), InvalidParameter) << name;
        EXPECT_TRUE(vstest::SamePixels(photo, original)) << name;
    }
    EXPECT_EQ(ApplyFrame(photo, folder, "nopic"), FileNotFound);
    EXPECT_TRUE(vstest::SamePixels(photo, original));
    CBaseImage none;
    EXPECT_EQ(ApplyFrame(none, dir.path(), "outside"), WrongState);
}
