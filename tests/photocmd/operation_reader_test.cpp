// Reading commands into operation values: bounds, defaults, aliases, the
// crop's centring and the runners' own operations.
#include "photocmd/operation_reader.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "photocmd/merge_placement.h"

using namespace Vs4Command;

namespace {

class OperationReaderTest : public ::testing::Test {
protected:
    int Result(const std::string& command, Runner runner = Runner::Worker) {
        return ReadOperation(ParseParams(command), 1, 1, settings_, folders_, runner).result;
    }
    template <typename T>
    T As(const std::string& command, Runner runner = Runner::Worker, int w = 1000, int h = 500) {
        OperationReading r = ReadOperation(ParseParams(command), w, h, settings_, folders_, runner);
        EXPECT_EQ(r.result, kResultOk) << command;
        const T* op = std::get_if<T>(&r.op);
        EXPECT_NE(op, nullptr) << command;
        return op ? *op : T{};
    }
    std::array<int, 4> Crop(const std::string& command) {
        CropOp c = As<CropOp>(command, Runner::Worker, 400, 300);
        return {c.x, c.y, c.width, c.height};
    }

    Settings settings_;
    OperationFolders folders_{"/srv/vs/Frame", "/srv/vs/Command/Images"};
};

}  // namespace

TEST_F(OperationReaderTest, RunnersKnowTheirOwnOperations) {
    const Runner runners[] = {Runner::Worker, Runner::InProcess, Runner::WorkerFile,
                              Runner::InProcessFile};
    const struct {
        const char* command;
        std::array<int, 4> results;  // Worker, InProcess, WorkerFile, InProcessFile
    } cases[] = {
        {"cmd=nosuch", {101, 101, 101, 101}},
        {"cmd=encode", {101, 101, 101, 101}},
        {"cmd=THUMB&w=5", {0, 0, 0, 0}},
        {"cmd=__captcha", {101, 0, 101, 0}},
        {"cmd=__reload", {101, 0, 101, 101}},
        {"cmd=layernew&name=a", {101, 101, 0, 0}},
        {"cmd=layercopy&from=a&name=b", {101, 101, 0, 0}},
        {"cmd=layerblend&from=a&to=b", {101, 101, 0, 0}},
    };
    for (const auto& c : cases)
        for (int r = 0; r < 4; ++r)
            EXPECT_EQ(Result(c.command, runners[r]), c.results[r]) << c.command << " runner " << r;
}

TEST_F(OperationReaderTest, ResizeThumbAndScale) {
    EXPECT_EQ(As<ResizeOp>("cmd=thumbnail&w=5000&h=-3").width, 2048);
    EXPECT_EQ(As<ResizeOp>("cmd=thumb&w=5000&h=-3").height, 0);
    settings_.maxResizeWidth = 640;
    EXPECT_EQ(As<ResizeOp>("cmd=thumb&w=5000").width, 640);  // the bound is read at each use
    settings_.maxResizeWidth = 2048;
    ResizeOp r = As<ResizeOp>("cmd=thumb&width=10&w=20&h=30&itpmode=9&noenlarge=true");
    EXPECT_EQ((std::array{r.width, r.height, r.itpMode}), (std::array{10, 30, 7}));
    EXPECT_TRUE(r.noEnlarge);
    EXPECT_EQ(As<ResizeOp>("cmd=thumb&fit=true&w=200").width, 200);  // fit needs both sides
    EXPECT_EQ(As<FitOp>("cmd=thumb&fit=true&w=1&h=60").height, 60);  // 1 is a side
    // A positive scale replaces the asked size, from the current width.
    r = As<ResizeOp>("cmd=resize&scale=50&w=10&h=10");
    EXPECT_EQ((std::array{r.width, r.height, r.itpMode}), (std::array{500, 0, 2}));
    EXPECT_EQ(As<ResizeOp>("cmd=resize&s=50", Runner::Worker, 100, 100).width, 50);
    EXPECT_EQ(As<ResizeOp>("cmd=resize&s=10", Runner::Worker, 3, 1).width, 1);  // at least 1
    EXPECT_FALSE(As<ResizeOp>("cmd=thumb&scale=50&noenlarge=true").noEnlarge);
    EXPECT_FALSE(As<ResizeOp>("cmd=resize&noenlarge=true&w=5").noEnlarge);
    EXPECT_EQ(As<ResizeOp>("cmd=resize&scale=-5&w=7").width, 7);
    EXPECT_EQ(As<ResizeOp>("cmd=resize&scale=2000000000").width, 2048);
}

TEST_F(OperationReaderTest, CropCentresAndCountsNegativeSizesFromTheEdge) {
    EXPECT_EQ(Crop("cmd=crop&w=100&h=100"), (std::array{150, 100, 100, 100}));
    EXPECT_EQ(Crop("cmd=crop&x=10&y=10"), (std::array{10, 10, 390, 290}));
    EXPECT_EQ(Crop("cmd=crop&x=5&y=20&w=-10&h=-30"), (std::array{5, 20, 385, 250}));
    EXPECT_EQ(Crop("cmd=crop&x=10&w=100&h=100"), (std::array{150, 100, 100, 100}));
    EXPECT_EQ(Crop("cmd=crop&y=10&w=100&h=100"), (std::array{150, 100, 100, 100}));
    EXPECT_EQ(Crop("cmd=crop&w=500&h=100"), (std::array{-50, 100, 500, 100}));
    EXPECT_EQ(Crop("cmd=crop&x=0&y=0&w=1&h=1"), (std::array{0, 0, 1, 1}));
    // x is clamped to -1, which centres; the width to -2048 before it counts back.
    EXPECT_EQ(Crop("cmd=crop&x=-9&y=9999&w=-9999"), (std::array{1224, 150, -2872, 150}));
    EXPECT_EQ(As<CropOp>("cmd=crop&w=5&bgcolor=ff0000").bgColor, 0xFFFF0000u);
}

TEST_F(OperationReaderTest, GeometryAndFiltersClampTheirParameters) {
    EXPECT_EQ(As<RotateOp>("cmd=rotate&angle=400").degrees, 360);
    EXPECT_EQ(As<RotateOp>("cmd=rotate&angle=-30").degrees, 0);
    AutoCropOp a = As<AutoCropOp>("cmd=autocrop&marginleft=300&margintop=-1&marginright=5");
    EXPECT_EQ((std::array{a.left, a.top, a.right, a.bottom}), (std::array{256, 0, 5, 0}));
    EXPECT_EQ(a.bgColor, 0xFFFFFFFFu);
    EXPECT_EQ(As<SmoothOp>("cmd=smooth&weight=9").weight, 3);
    EXPECT_EQ(As<SmoothOp>("cmd=smooth").weight, 1);
    EXPECT_EQ(As<SharpenOp>("cmd=sharpen&weight=9").weight, 5);
    EXPECT_EQ(As<JitterOp>("cmd=jitter&radius=1").radius, 2);
    EXPECT_EQ(As<JitterOp>("cmd=jitter").radius, 8);
    EXPECT_EQ(As<NoiseOp>("cmd=noise&amount=-5").amount, 0);
    EXPECT_EQ(As<NoiseOp>("cmd=noise").amount, 20);
    EXPECT_EQ(As<OilPaintOp>("cmd=oilpaint&radius=50").radius, 8);
    BlurOp b = As<BlurOp>("cmd=blur&hradius=0.5&vradius=300");
    EXPECT_EQ((std::array{b.hRadius, b.vRadius}), (std::array{1.0f, 256.0f}));
    EXPECT_EQ(As<BlurOp>("cmd=blur").hRadius, 5.0f);
    EXPECT_EQ(As<BlurOp>("cmd=blur&hradius=1e999").hRadius, 256.0f);
    AdjustOp adj = As<AdjustOp>("cmd=adjust&contrast=500&gamma=-7");
    EXPECT_EQ((std::array{adj.contrast, adj.gamma}), (std::array{500, -7}));  // the engine clamps
    EXPECT_EQ(As<AdjustRgbOp>("cmd=adjustrgb&red=150").red, 150);
    EXPECT_EQ(As<AdjustRgbOp>("cmd=adjustrgb&red=150", Runner::InProcess).red, 100);
    EXPECT_EQ(As<AdjustRgbOp>("cmd=adjustrgb&blue=-150", Runner::InProcessFile).blue, -100);
    AutoLevelOp l = As<AutoLevelOp>("cmd=autolevel&max=0.9");
    EXPECT_EQ((std::array{l.min, l.max}), (std::array{0.0f, 0.9f}));
}

TEST_F(OperationReaderTest, TextReadsStyleRectangleAndDecodedText) {
    TextOp t = As<TextOp>(
        "cmd=text&text=a%26b+c&font=Arial&fontsize=1&fontstyle=99&align=7&x=-5&y=3000&w=50"
        "&color=80ff0000&hint=9&wrap=true&rightleft=t");
    EXPECT_EQ(t.text, "a&b c");
    EXPECT_EQ(t.font, "Arial");
    EXPECT_EQ(t.fontSize, 2.0f);
    EXPECT_EQ((std::array{t.fontStyle, t.align, t.x, t.y, t.width, t.hint}),
              (std::array{15, 2, 0, 2048, 50, 5}));
    EXPECT_EQ(t.color, 0x80FF0000u);
    EXPECT_TRUE(t.wrap && t.rightToLeft && !t.vertical);
    t = As<TextOp>("cmd=text&fontsize=5000&vertical=true");
    EXPECT_EQ(t.fontSize, 1000.0f);
    EXPECT_TRUE(t.vertical && !t.wrap && !t.rightToLeft);
    EXPECT_EQ(As<TextOp>("cmd=text").fontSize, 12.0f);
    // The verification-code text and font always decode as UTF-8.
    CaptchaOp c = As<CaptchaOp>(
        "cmd=__captcha&text=%C3%A9&font=%C3%A9&fontsize=1&flag=7&leftmargin=-3", Runner::InProcess);
    EXPECT_EQ(c.text + c.font, "\xC3\xA9\xC3\xA9");
    EXPECT_EQ(c.fontSize, 2.0f);
    EXPECT_EQ((std::array{c.flag, c.leftMargin}), (std::array{7, -3}));
}

TEST_F(OperationReaderTest, MergeSourcesFollowTheRunner) {
    MergeOp m = As<MergeOp>("cmd=merge&file=logo.png&a=300&x=-4&y=9999&itpmode=-1&fit=true");
    EXPECT_EQ(m.source, MergeOp::Source::File);
    EXPECT_EQ(m.path, "/srv/vs/Command/Images/logo.png");
    EXPECT_EQ((std::array{m.alpha, m.x, m.y, m.itpMode}), (std::array{255, 0, 2048, 0}));
    EXPECT_TRUE(m.fit);
    // Through the worker the image folder is always the base, and imgno is not read.
    EXPECT_EQ(As<MergeOp>("cmd=merge&file=/etc/x.png&imgno=a").path,
              "/srv/vs/Command/Images//etc/x.png");
    m = As<MergeOp>("cmd=merge&imgno=Logo&file=x.png", Runner::InProcess);
    EXPECT_EQ(m.source, MergeOp::Source::NamedImage);
    EXPECT_EQ(m.imageName, "Logo");
    // Relative names cannot climb out of the image folder.
    EXPECT_EQ(Result("cmd=merge&file=../secret.png"), 210);
    EXPECT_EQ(Result("cmd=merge&file=a/../../b.png", Runner::InProcess), 210);
    EXPECT_EQ(Result("cmd=merge&file=a/..", Runner::InProcess), 210);
    EXPECT_EQ(As<MergeOp>("cmd=merge&file=logo..png").path, "/srv/vs/Command/Images/logo..png");
    EXPECT_EQ(As<MergeOp>("cmd=merge&file=a/..b/c", Runner::InProcess).path,
              "/srv/vs/Command/Images/a/..b/c");
}

TEST_F(OperationReaderTest, LayerNamesAreTrimmedAndLowerCased) {
    LayerNewOp n =
        As<LayerNewOp>("cmd=layernew&name= Logo &alpha=-1&file=bg.png", Runner::InProcessFile);
    EXPECT_EQ(n.name, "logo");
    EXPECT_EQ((std::array{n.alpha, int(n.bgColor)}), (std::array{0, 0}));
    EXPECT_EQ(n.path, "/srv/vs/Command/Images/bg.png");
    EXPECT_EQ(As<LayerNewOp>("cmd=layernew&name=a", Runner::WorkerFile).path, "");
    EXPECT_EQ(Result("cmd=layernew&name=a&file=../x.png", Runner::WorkerFile), 210);
    LayerCopyOp c = As<LayerCopyOp>("cmd=layercopy&from=\tA \t&name=B&a=128", Runner::WorkerFile);
    EXPECT_EQ(c.from + c.name, "ab");
    EXPECT_EQ(c.alpha, 128);
    LayerBlendOp b = As<LayerBlendOp>("cmd=layerblend&from=A&to=Background&method= Multiply",
                                      Runner::WorkerFile);
    EXPECT_EQ(b.to, "background");
    EXPECT_EQ(b.method, " multiply");  // lower-cased but not trimmed
    EXPECT_EQ(b.alpha, 255);
}

TEST(MergePlacement, AlignmentWordsOverrideThePosition) {
    const struct {
        const char *align, *valign;
        int width, height, overlayWidth, overlayHeight, x, y;
    } cases[] = {
        {"", "", 400, 300, 101, 51, 7, 9},  // no words: (x, y) as asked
        {"RIGHT", "bottom", 400, 300, 101, 51, 299, 249},
        {"Center", "middle", 400, 300, 101, 51, 149, 124},  // 299 / 2
        {"center", "middle", 100, 100, 201, 103, -50, -1},  // halves truncate toward zero
        {"left", "top", 400, 300, 101, 51, 0, 0},
        {" left", " top", 400, 300, 101, 51, 7, 9},  // not words the placement knows
    };
    for (const auto& c : cases) {
        MergeOp op;
        op.x = 7;
        op.y = 9;
        op.align = c.align;
        op.valign = c.valign;
        MergePosition p = PlaceMerge(op, c.width, c.height, c.overlayWidth, c.overlayHeight);
        EXPECT_EQ((std::array{p.x, p.y}), (std::array{c.x, c.y})) << c.align << c.valign;
    }
}
