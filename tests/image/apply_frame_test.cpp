#include "image/frame/apply_frame.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "image/graphics.h"
#include "image/ink_probe.h"
#include "support/temp_dir.h"

using namespace Vs4Image;
using vstest::PixelAt;

namespace {

constexpr Argb kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF, kBlack = 0xFF000000;
constexpr Argb kYellow = 0xFFFFFF00, kCyan = 0xFF00FFFF, kMagenta = 0xFFFF00FF;
constexpr Argb kGrey = 0xFF808080, kOrange = 0xFFFF8000;
constexpr Argb kPhotoA = 0xFF112233, kPhotoB = 0xFF778899, kPhotoC = 0xFF445566;

struct Rect {
    int x, y, w, h;
    Argb colour;
};

// A picture of solid rectangles, saved as PNG.
void SavePicture(const std::string& path, int w, int h, Argb background,
                 std::initializer_list<Rect> rects) {
    CBaseImage image;
    ASSERT_EQ(image.CreateBlank(w, h, background), Ok);
    {
        Graphics g(*image.bitmap());
        for (const Rect& r : rects)
            g.SetRectangle(r.x, r.y, r.w, r.h, r.colour);
    }
    ASSERT_EQ(image.SaveToFile(path, 90, 0), Ok);
}

// The 3 x 3 frame picture: one colour per piece; the top side's first column
// and the left side's first row are black so that tiles can be told apart.
void SaveBoxPicture(const std::string& path) {
    SavePicture(path, 90, 90, 0xFFFFFFFF,
                {{0, 0, 30, 30, kRed},
                 {30, 0, 30, 30, kGreen},
                 {30, 0, 1, 30, kBlack},
                 {60, 0, 30, 30, kBlue},
                 {0, 30, 30, 30, kYellow},
                 {0, 30, 30, 1, kBlack},
                 {60, 30, 30, 30, kCyan},
                 {0, 60, 30, 30, kMagenta},
                 {30, 60, 30, 30, kGrey},
                 {60, 60, 30, 30, kOrange}});
}

std::string BoxTemplate(const std::string& repeat, const std::string& src = "box.png") {
    return "<frame src=\"" + src + R"(" applywidth="400">
  <lefttop x="0" y="0" width="30" height="30" drawx="20" drawy="20"/>
  <righttop x="60" y="0" width="30" height="30"/>
  <rightbottom x="60" y="60" width="30" height="30" drawx="10" drawy="10"/>
  <leftbottom x="0" y="60" width="30" height="30"/>
  <leftcenter x="0" y="30" width="30" height="30" repeat=")" +
           repeat + R"("/>
  <topcenter x="30" y="0" width="30" height="30" repeat=")" +
           repeat + R"("/>
  <rightcenter x="60" y="30" width="30" height="30"/>
  <bottomcenter x="30" y="60" width="30" height="30"/>
</frame>)";
}

// 400 x 300: a left quarter, a top band and the rest in three colours.
void MakePhoto(CBaseImage& photo, int w = 400, int h = 300) {
    ASSERT_EQ(photo.CreateBlank(w, h, kPhotoB), Ok);
    Graphics g(*photo.bitmap());
    g.SetRectangle(0, 0, w / 4, h, kPhotoA);
    g.SetRectangle(w / 4, 0, w - w / 4, h / 4, kPhotoC);
}

}  // namespace

// The photo is shrunk into (20, 20, 360, 260); sides sit between the corners
// and the corners are drawn last at their own size.
TEST(ApplyFrame, NinePatchLayout) {
    vstest::TempDir dir;
    SaveBoxPicture(dir / "box.png");
    vstest::WriteFile(dir / "stretch.xml", BoxTemplate("yes"));
    CBaseImage photo;
    MakePhoto(photo);
    ASSERT_EQ(ApplyFrame(photo, dir.path(), "stretch"), Ok);
    ASSERT_EQ(photo.width(), 400);
    ASSERT_EQ(photo.height(), 300);
    const PixelView v = photo.view();
    // Photo x = 100 lands on 20 + 100 * 360 / 400 = 110, y = 75 on 85.
    EXPECT_EQ(PixelAt(v, 109, 150), kPhotoA);
    EXPECT_EQ(PixelAt(v, 110, 150), kPhotoB);
    EXPECT_EQ(PixelAt(v, 150, 84), kPhotoC);
    EXPECT_EQ(PixelAt(v, 150, 85), kPhotoB);
    EXPECT_EQ(PixelAt(v, 369, 269), kPhotoB);
    EXPECT_EQ(PixelAt(v, 5, 5), kRed);
    EXPECT_EQ(PixelAt(v, 29, 29), kRed);
    EXPECT_EQ(PixelAt(v, 394, 5), kBlue);
    EXPECT_EQ(PixelAt(v, 370, 0), kBlue);
    EXPECT_EQ(PixelAt(v, 394, 294), kOrange);
    EXPECT_EQ(PixelAt(v, 5, 294), kMagenta);
    EXPECT_EQ(PixelAt(v, 10, 150), kYellow);
    EXPECT_EQ(PixelAt(v, 380, 150), kCyan);
    EXPECT_EQ(PixelAt(v, 200, 290), kGrey);
    // "yes" stretches: the top side's black first column becomes one wide
    // band at its start (340 / 30 pixels), and appears nowhere else.
    EXPECT_EQ(PixelAt(v, 30, 10), kBlack);
    EXPECT_EQ(PixelAt(v, 39, 10), kBlack);
    EXPECT_EQ(PixelAt(v, 60, 10), kGreen);
    EXPECT_EQ(PixelAt(v, 360, 10), kGreen);
    EXPECT_EQ(PixelAt(v, 10, 60), kYellow);
}

// "TRUE" tiles: copies at the piece's own size one after another, the last
// one cut off where the corner begins.
TEST(ApplyFrame, NinePatchTiles) {
    vstest::TempDir dir;
    SaveBoxPicture(dir / "box.png");
    vstest::WriteFile(dir / "tile.xml", BoxTemplate("TRUE"));
    CBaseImage photo;
    MakePhoto(photo);
    ASSERT_EQ(ApplyFrame(photo, dir.path(), "tile"), Ok);
    const PixelView v = photo.view();
    for (int x = 30; x < 370; x += 30) {
        EXPECT_EQ(PixelAt(v, x, 10), kBlack) << x;
        EXPECT_EQ(PixelAt(v, x + 1, 10), kGreen) << x;
    }
    EXPECT_EQ(PixelAt(v, 369, 10), kGreen);
    EXPECT_EQ(PixelAt(v, 370, 10), kBlue);
    for (int y = 30; y < 270; y += 30) {
        EXPECT_EQ(PixelAt(v, 10, y), kBlack) << y;
        EXPECT_EQ(PixelAt(v, 10, y + 1), kYellow) << y;
    }
    EXPECT_EQ(PixelAt(v, 10, 270), kMagenta);
    EXPECT_EQ(PixelAt(v, 150, 150), kPhotoB);
}

// Pieces reaching outside the frame picture draw only their part inside it,
// in its place; the photo still fills the inner area.
TEST(ApplyFrame, PiecesOutsideThePicture) {
    vstest::TempDir dir;
    SaveBoxPicture(dir / "box.png");
    vstest::WriteFile(dir / "wide.xml", R"(<frame src="box.png">
  <lefttop x="-10" y="-10" width="40" height="40" drawx="20" drawy="20"/>
  <rightbottom x="60" y="60" width="30" height="30" drawx="10" drawy="10"/>
  <topcenter x="80" y="0" width="20" height="30"/>
</frame>)");
    CBaseImage photo;
    MakePhoto(photo);
    ASSERT_EQ(ApplyFrame(photo, dir.path(), "wide"), Ok);
    const PixelView v = photo.view();
    EXPECT_EQ(PixelAt(v, 5, 5), 0u);      // outside the picture: nothing
    EXPECT_EQ(PixelAt(v, 12, 12), kRed);  // picture (2, 2)
    EXPECT_EQ(PixelAt(v, 39, 39), kRed);  // picture (29, 29)
    EXPECT_EQ(PixelAt(v, 35, 50), kPhotoA);
    EXPECT_EQ(PixelAt(v, 394, 294), kOrange);
    // The top side stretches 20 pixels onto 360 from x = 40; its first 10
    // lie inside the picture and cover the first half.
    EXPECT_EQ(PixelAt(v, 40, 10), kBlue);
    EXPECT_EQ(PixelAt(v, 219, 10), kBlue);
    EXPECT_EQ(PixelAt(v, 221, 10), 0u);
    EXPECT_EQ(PixelAt(v, 399, 10), 0u);
}

// Landscape photos take the horizontal overlay, portrait and square ones the
// vertical overlay; the photo goes onto the marked corners, scaled.
TEST(ApplyFrame, OverlayChoosesByShape) {
    vstest::TempDir dir;
    SavePicture(dir / "h.png", 100, 50, 0x80FF0000, {});
    SavePicture(dir / "v.png", 50, 100, 0x800000FF, {});
    vstest::WriteFile(dir / "pic.xml", R"(<frame>
  <horizontal src="h.png" x1="10" y1="10" x2="90" y2="10" x3="10" y3="40" x4="90" y4="40"/>
  <vertical src="v.png" x1="10" y1="10" x2="40" y2="10" x3="10" y3="90"/>
</frame>)");
    for (int w : {300, 200, 100}) {
        CBaseImage photo;
        ASSERT_EQ(photo.CreateBlank(w, 200, 0xFF00FF00), Ok);
        ASSERT_EQ(ApplyFrame(photo, dir.path(), "pic"), Ok);
        EXPECT_EQ(photo.width(), w);
        const Argb outside = PixelAt(photo.view(), w - 3, 197);
        const Argb inside = PixelAt(photo.view(), w / 2, 100);
        if (w > 200) {
            EXPECT_EQ(outside >> 16 & 0xFF, 255u) << w;  // red overlay alone
            EXPECT_EQ(outside & 0xFF, 0u) << w;
        } else {
            EXPECT_EQ(outside & 0xFF, 255u) << w;  // blue overlay alone
            EXPECT_EQ(outside >> 16 & 0xFF, 0u) << w;
        }
        EXPECT_NEAR(int(outside >> 24), 128, 2) << w;
        EXPECT_EQ(inside >> 24, 255u) << w;                 // photo under the overlay
        EXPECT_NEAR(int(inside >> 8 & 0xFF), 127, 2) << w;  // green, half covered
    }
    // The vertical overlay puts the photo's corner at (10 * 4, 10 * 2) on a
    // 200 x 200 image.
    CBaseImage square;
    ASSERT_EQ(square.CreateBlank(200, 200, 0xFF00FF00), Ok);
    ASSERT_EQ(ApplyFrame(square, dir.path(), "pic"), Ok);
    EXPECT_LT(PixelAt(square.view(), 38, 100) >> 8 & 0xFF, 10u);
    EXPECT_GT(PixelAt(square.view(), 42, 100) >> 8 & 0xFF, 100u);
    EXPECT_LT(PixelAt(square.view(), 100, 18) >> 8 & 0xFF, 10u);
    EXPECT_GT(PixelAt(square.view(), 100, 22) >> 8 & 0xFF, 100u);
}

// Below 251 pixels wide the overlay's first row and column are made opaque.
TEST(ApplyFrame, OverlayOpaqueEdgeBelow251) {
    vstest::TempDir dir;
    SavePicture(dir / "clear.png", 100, 100, 0x00000000, {});
    vstest::WriteFile(dir / "clear.xml", R"(<frame>
  <horizontal src="clear.png" x1="20" y1="20" x2="80" y2="20" x3="20" y3="80"/>
  <vertical src="clear.png" x1="20" y1="20" x2="80" y2="20" x3="20" y3="80"/>
</frame>)");
    for (int w : {250, 251}) {
        CBaseImage photo;
        ASSERT_EQ(photo.CreateBlank(w, 300, 0xFF00FF00), Ok);
        ASSERT_EQ(ApplyFrame(photo, dir.path(), "clear"), Ok);
        const PixelView v = photo.view();
        const uint32_t expected = w < 251 ? 255 : 0;
        for (int x = 0; x < w; x += 10)
            EXPECT_EQ(PixelAt(v, x, 0) >> 24, expected) << w << " x " << x;
        for (int y = 0; y < 300; y += 10)
            EXPECT_EQ(PixelAt(v, 0, y) >> 24, expected) << w << " y " << y;
        EXPECT_EQ(PixelAt(v, 5, 5) >> 24, 0u);
        EXPECT_EQ(PixelAt(v, w / 2, 150), 0xFF00FF00u);
    }
}

// Missing, malformed or escaping templates answer 2, a missing picture its
// load status; the image is unchanged in every case.
TEST(ApplyFrame, FailuresLeaveTheImage) {
    vstest::TempDir dir;
    const std::string folder = dir / "frames";
    std::filesystem::create_directory(folder);
    SaveBoxPicture(dir / "box.png");
    SaveBoxPicture(folder + "/box.png");
    vstest::WriteFile(dir / "outside.xml", BoxTemplate("yes"));
    vstest::WriteFile(folder + "/broken.xml", "<frame src=\"box.png\"><lefttop x=\"1\"");
    vstest::WriteFile(folder + "/other.xml", "<frames src=\"box.png\"/>");
    vstest::WriteFile(folder + "/empty.xml", "");
    vstest::WriteFile(folder + "/up.xml", BoxTemplate("yes", "../box.png"));
    vstest::WriteFile(folder + "/abs.xml", BoxTemplate("yes", dir / "box.png"));
    vstest::WriteFile(folder + "/nopic.xml", BoxTemplate("yes", "gone.png"));
    vstest::WriteFile(folder + "/nooverlay.xml", "<frame><vertical x1=\"1\"/></frame>");

    CBaseImage photo;
    MakePhoto(photo);
    CBaseImage original;
    MakePhoto(original);
    for (const char* name :
         {"missing", "broken", "other", "empty", "up", "abs", "../outside", "", "nooverlay"}) {
        EXPECT_EQ(ApplyFrame(photo, folder, name), InvalidParameter) << name;
        EXPECT_TRUE(vstest::SamePixels(photo.view(), original.view())) << name;
    }
    EXPECT_EQ(ApplyFrame(photo, folder, "nopic"), FileNotFound);
    EXPECT_TRUE(vstest::SamePixels(photo.view(), original.view()));

    CBaseImage none;
    EXPECT_EQ(ApplyFrame(none, dir.path(), "outside"), WrongState);
}

// Piece sizes and inner-area numbers at the ends of the 32-bit range are
// taken in stride: no arithmetic on them may overflow, and the frame is
// still drawn from what lies on the image.
TEST(ApplyFrame, EnormousPieceNumbers) {
    vstest::TempDir dir;
    SaveBoxPicture(dir / "box.png");
    vstest::WriteFile(dir / "huge.xml", R"(<frame src="box.png">
  <lefttop x="0" y="0" width="-2147483648" height="-2147483648" drawx="2147483647" drawy="-2147483648"/>
  <righttop x="60" y="0" width="-2147483648" height="2147483647"/>
  <rightbottom x="60" y="60" width="-2147483648" height="-2147483648" drawx="2147483647" drawy="2147483647"/>
  <leftbottom x="0" y="60" width="-2147483648" height="-2147483648"/>
  <leftcenter x="0" y="30" width="30" height="2147483647" repeat="true"/>
  <topcenter x="30" y="0" width="2147483647" height="30" repeat="true"/>
  <rightcenter x="60" y="30" width="2147483647" height="1" repeat="true"/>
  <bottomcenter x="30" y="60" width="1" height="2147483647" repeat="true"/>
</frame>)");
    vstest::WriteFile(dir / "big.xml", R"(<frame src="box.png">
  <lefttop x="0" y="0" width="2147483647" height="2147483647" drawx="-2147483648" drawy="-2147483648"/>
  <righttop x="60" y="0" width="2147483647" height="2147483647"/>
  <rightbottom x="60" y="60" width="2147483647" height="2147483647" drawx="-2147483648" drawy="-2147483648"/>
  <leftbottom x="0" y="60" width="2147483647" height="2147483647"/>
  <leftcenter x="0" y="30" width="30" height="1" repeat="true"/>
  <topcenter x="30" y="0" width="1" height="30" repeat="true"/>
</frame>)");
    for (const char* name : {"huge", "big"}) {
        CBaseImage photo;
        MakePhoto(photo, 40, 30);
        EXPECT_EQ(ApplyFrame(photo, dir.path(), name), Ok) << name;
        EXPECT_EQ(photo.width(), 40);
        EXPECT_EQ(photo.height(), 30);
    }
}
