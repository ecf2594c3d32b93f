#include "image/frame/frame_template.h"

#include <gtest/gtest.h>

#include <climits>

#include "image/frame/apply_frame.h"
#include "image/ink_probe.h"

using namespace Vs4Image;

TEST(FrameTemplate, TextToIntRule) {
    EXPECT_EQ(TextToInt("12"), 12);
    EXPECT_EQ(TextToInt("  -5"), -5);
    EXPECT_EQ(TextToInt("+7px"), 7);
    EXPECT_EQ(TextToInt("12.9"), 12);
    EXPECT_EQ(TextToInt("abc"), 0);
    EXPECT_EQ(TextToInt(""), 0);
    EXPECT_EQ(TextToInt("-"), 0);
    EXPECT_EQ(TextToInt("99999999999"), INT_MAX);
    EXPECT_EQ(TextToInt("-99999999999"), INT_MIN);
}

// Nine-patch: attribute names in any case, numbers by the integer rule,
// "true" in any case tiles, missing pieces read as zero.
TEST(FrameTemplate, ReadsNinePatch) {
    const char* xml = R"(<?xml version="1.0" encoding="utf-8"?>
<frame SRC="box.png" ApplyWidth="640">
  <lefttop X="1" y="2" Width="30" HEIGHT="31" DrawX="20" drawy="21"/>
  <rightbottom x="60" y="60" width="30px" height="abc" drawx="10" drawy="-3"/>
  <leftcenter x="0" y="30" width="30" height="30" repeat="TRUE"/>
  <topcenter x="30" y="0" width="30" height="30" repeat="yes"/>
  <rightcenter x="60" y="30" width="30" height="30" Repeat="True"/>
  <LeftBottom x="9" y="9" width="9" height="9"/>
</frame>)";
    FrameTemplate f;
    ASSERT_EQ(ParseFrameTemplate(xml, f), Ok);
    EXPECT_EQ(f.kind, kFrameNinePatch);
    EXPECT_EQ(f.src, "box.png");
    EXPECT_EQ(f.applyWidth, 640);
    const FramePiece& lt = f.pieces[kLeftTop];
    EXPECT_EQ(lt.x, 1);
    EXPECT_EQ(lt.y, 2);
    EXPECT_EQ(lt.width, 30);
    EXPECT_EQ(lt.height, 31);
    EXPECT_EQ(lt.drawX, 20);
    EXPECT_EQ(lt.drawY, 21);
    const FramePiece& rb = f.pieces[kRightBottom];
    EXPECT_EQ(rb.width, 30);
    EXPECT_EQ(rb.height, 0);
    EXPECT_EQ(rb.drawY, -3);
    EXPECT_TRUE(f.pieces[kLeftCenter].repeat);
    EXPECT_FALSE(f.pieces[kTopCenter].repeat);
    EXPECT_TRUE(f.pieces[kRightCenter].repeat);
    // Element paths are exact: "LeftBottom" is not "leftbottom".
    EXPECT_EQ(f.pieces[kLeftBottom].width, 0);
    EXPECT_EQ(f.pieces[kRightTop].width, 0);
    EXPECT_EQ(f.pieces[kBottomCenter].height, 0);
}

TEST(FrameTemplate, ReadsOverlayAndRefusesNonTemplates) {
    FrameTemplate f;
    ASSERT_EQ(ParseFrameTemplate(R"(<frame applywidth="3">
      <horizontal src="h.png" x1="1" y1="2" x2="3" y2="4" x3="5" y3="6" x4="7" y4="8"/>
    </frame>)",
                                 f),
              Ok);
    EXPECT_EQ(f.kind, kFrameOverlay);
    EXPECT_EQ(f.horizontal.src, "h.png");
    EXPECT_EQ(f.horizontal.x1, 1);
    EXPECT_EQ(f.horizontal.y3, 6);
    EXPECT_EQ(f.horizontal.y4, 8);
    EXPECT_EQ(f.vertical.src, "");
    EXPECT_EQ(f.vertical.x2, 0);

    for (const char* bad :
         {"", "<frame", "<frames/>", "<frame></fram>", "just text", "<a><frame src='x'/></a>"}) {
        FrameTemplate g;
        g.applyWidth = 5;
        EXPECT_EQ(ParseFrameTemplate(bad, g), InvalidParameter) << bad;
        EXPECT_EQ(g.kind, kFrameUnknown);
    }
}

TEST(FrameTemplate, PathsStayInTheFolder) {
    std::string path;
    EXPECT_TRUE(ResolveFramePath("/srv/frame", "gold.xml", path));
    EXPECT_EQ(path, "/srv/frame/gold.xml");
    EXPECT_TRUE(ResolveFramePath("/srv/frame/", "wood/oak.png", path));
    EXPECT_EQ(path, "/srv/frame/wood/oak.png");
    EXPECT_TRUE(ResolveFramePath("/srv/frame", "..gold", path));
    for (const char* bad : {"", "/etc/passwd", "../gold.xml", "wood/../../x", "a/..", ".."})
        EXPECT_FALSE(ResolveFramePath("/srv/frame", bad, path)) << bad;
    EXPECT_FALSE(ResolveFramePath("/srv/frame", std::string_view("a\0b", 3), path));
}

// A piece rectangle that reaches outside the frame picture is cut to it and
// remembers where the cut part sits.
TEST(FrameTemplate, CutPieceClipsToThePicture) {
    CBaseImage picture;
    ASSERT_EQ(picture.CreateBlank(90, 90, 0xFF102030), Ok);
    FramePiece rec;
    rec.x = 80;
    rec.y = -5;
    rec.width = 30;
    rec.height = 20;
    FramePieceImage piece = CutPiece(picture.view(), rec);
    ASSERT_TRUE(piece.bitmap);
    EXPECT_EQ(piece.bitmap->width(), 10);
    EXPECT_EQ(piece.bitmap->height(), 15);
    EXPECT_EQ(piece.offsetX, 0);
    EXPECT_EQ(piece.offsetY, 5);
    EXPECT_EQ(vstest::PixelAt(piece.bitmap->view(), 9, 14), 0xFF102030u);
    rec.x = 1000;
    EXPECT_FALSE(CutPiece(picture.view(), rec).bitmap);
    rec.x = INT_MAX;
    rec.width = INT_MAX;
    EXPECT_FALSE(CutPiece(picture.view(), rec).bitmap);
    rec.x = -10;
    rec.y = -INT_MAX;
    rec.height = INT_MAX;
    EXPECT_FALSE(CutPiece(picture.view(), rec).bitmap);
    rec.y = 5;
    piece = CutPiece(picture.view(), rec);
    ASSERT_TRUE(piece.bitmap);
    EXPECT_EQ(piece.bitmap->width(), 90);
    EXPECT_EQ(piece.bitmap->height(), 85);
    EXPECT_EQ(piece.offsetX, 10);
    rec.width = 0;
    EXPECT_FALSE(CutPiece(picture.view(), rec).bitmap);
}
