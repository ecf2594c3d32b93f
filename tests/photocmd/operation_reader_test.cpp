#include <gtest/gtest.h>

#include <array>
#include <string>

#include "photocmd/operation_reader.h"

using namespace Vs4Command;

namespace {

class OperationReaderTest : public ::testing::Test {
protected:
    OperationReading Read(const std::string& command, int w = 1000, int h = 500,
                          Runner runner = Runner::Worker) {
        return ReadOperation(ParseParams(command), w, h, settings_, folders_, runner);
    }
    template <typename T>
    T ReadAs(const std::string& command, int w = 1000, int h = 500,
             Runner runner = Runner::Worker) {
        OperationReading r = Read(command, w, h, runner);
        EXPECT_EQ(r.result, kResultOk) << command;
        const T* op = std::get_if<T>(&r.op);
        EXPECT_NE(op, nullptr) << command;
        return op ? *op : T{};
    }

    Settings settings_;
    OperationFolders folders_{"/srv/vs/Frame", "/srv/vs/Command/Images"};
};

}  // namespace

TEST_F(OperationReaderTest, RunnersKnowTheirOwnOperations) {
    EXPECT_EQ(Read("cmd=nosuch").result, kResultUnknownOperation);
    EXPECT_EQ(Read("w=5").result, kResultUnknownOperation);
    EXPECT_EQ(Read("cmd=umb").result, kResultUnknownOperation);
    EXPECT_EQ(Read("cmd=encode", 1, 1, Runner::InProcess).result, kResultUnknownOperation);
    EXPECT_EQ(Read("cmd=THUMB&w=5").result, kResultOk);

    EXPECT_EQ(Read("cmd=__captcha", 1, 1, Runner::Worker).result, kResultUnknownOperation);
    EXPECT_EQ(Read("cmd=__captcha", 1, 1, Runner::WorkerFile).result, kResultUnknownOperation);
    EXPECT_EQ(Read("cmd=__captcha", 1, 1, Runner::InProcess).result, kResultOk);
    EXPECT_EQ(Read("cmd=__captcha", 1, 1, Runner::InProcessFile).result, kResultOk);

    EXPECT_EQ(Read("cmd=__reload", 1, 1, Runner::InProcess).result, kResultOk);
    EXPECT_EQ(Read("cmd=__reload", 1, 1, Runner::InProcessFile).result, kResultUnknownOperation);
    EXPECT_EQ(Read("cmd=__reload", 1, 1, Runner::Worker).result, kResultUnknownOperation);
    EXPECT_EQ(Read("cmd=__reload", 1, 1, Runner::WorkerFile).result, kResultUnknownOperation);

    for (Runner r : {Runner::Worker, Runner::InProcess})
        EXPECT_EQ(Read("cmd=layernew&name=a", 1, 1, r).result, kResultUnknownOperation);
    for (Runner r : {Runner::WorkerFile, Runner::InProcessFile}) {
        EXPECT_EQ(Read("cmd=layernew&name=a", 1, 1, r).result, kResultOk);
        EXPECT_EQ(Read("cmd=layercopy&from=a&name=b", 1, 1, r).result, kResultOk);
        EXPECT_EQ(Read("cmd=layerblend&from=a&to=b", 1, 1, r).result, kResultOk);
    }
}

TEST_F(OperationReaderTest, ThumbResizesOrFits) {
    // The plain readings (mode 7, no noenlarge, fit, contain) are checked
    // through the runner in run_in_process_test.cpp.
    EXPECT_EQ(ReadAs<ResizeOp>("cmd=thumbnail&w=5000&h=-3").width, 2048);
    EXPECT_EQ(ReadAs<ResizeOp>("cmd=thumb&w=5000&h=-3").height, 0);
    settings_.maxResizeWidth = 640;
    EXPECT_EQ(ReadAs<ResizeOp>("cmd=thumb&w=5000").width, 640);  // the bound is read at each use
    settings_.maxResizeWidth = 2048;

    ResizeOp r = ReadAs<ResizeOp>("cmd=thumb&width=10&w=20&h=30&itpmode=9&noenlarge=true");
    EXPECT_EQ(r.width, 10);
    EXPECT_EQ(r.height, 30);
    EXPECT_EQ(r.itpMode, 7);
    EXPECT_TRUE(r.noEnlarge);

    // Without both sizes the fit path is not taken.
    EXPECT_EQ(ReadAs<ResizeOp>("cmd=thumb&fit=true&w=200").width, 200);
}

TEST_F(OperationReaderTest, ScaleOverridesTheAskedSize) {
    ResizeOp r = ReadAs<ResizeOp>("cmd=resize&scale=50&w=10&h=10");
    EXPECT_EQ(r.width, 500);
    EXPECT_EQ(r.height, 0);
    EXPECT_EQ(r.itpMode, 2);
    EXPECT_EQ(ReadAs<ResizeOp>("cmd=resize&s=50").width, 500);
    EXPECT_EQ(ReadAs<ResizeOp>("cmd=resize&s=50", 100, 100).width, 50);  // from the current size
    r = ReadAs<ResizeOp>("cmd=thumb&scale=50&noenlarge=true");
    EXPECT_FALSE(r.noEnlarge);
    EXPECT_FALSE(ReadAs<ResizeOp>("cmd=resize&noenlarge=true&w=5").noEnlarge);
    // A scale of 0 or below leaves the asked size; a huge one stops at the bound.
    EXPECT_EQ(ReadAs<ResizeOp>("cmd=resize&scale=-5&w=7").width, 7);
    EXPECT_EQ(ReadAs<ResizeOp>("cmd=resize&scale=2000000000").width, 2048);
}

TEST_F(OperationReaderTest, CropCentresAndCountsNegativeSizesFromTheEdge) {
    auto crop = [&](const std::string& cmd) { return ReadAs<CropOp>(cmd, 400, 300); };
    CropOp c = crop("cmd=crop&w=100&h=100");
    EXPECT_EQ((std::array{c.x, c.y, c.width, c.height}), (std::array{150, 100, 100, 100}));
    c = crop("cmd=crop&x=10&y=10");
    EXPECT_EQ((std::array{c.x, c.y, c.width, c.height}), (std::array{10, 10, 390, 290}));
    c = crop("cmd=crop&x=0&y=0&w=-10&h=-10");
    EXPECT_EQ((std::array{c.x, c.y, c.width, c.height}), (std::array{0, 0, 390, 290}));
    // One missing corner coordinate centres both.
    c = crop("cmd=crop&x=10&w=100&h=100");
    EXPECT_EQ((std::array{c.x, c.y, c.width, c.height}), (std::array{150, 100, 100, 100}));
    // A crop larger than the image starts left of it.
    c = crop("cmd=crop&w=500&h=100&bgcolor=ff0000");
    EXPECT_EQ(c.x, -50);
    EXPECT_EQ(c.bgColor, 0xFFFF0000u);
    // x is clamped to -1, which centres; the width is clamped to -2048
    // before it counts back from the edge.
    c = crop("cmd=crop&x=-9&y=9999&w=-9999");
    EXPECT_EQ((std::array{c.x, c.y, c.width, c.height}), (std::array{1224, 150, -2872, 150}));
}

TEST_F(OperationReaderTest, RotateFlipAndAutoCropClamp) {
    EXPECT_EQ(ReadAs<RotateOp>("cmd=rotate&angle=400").degrees, 360);
    EXPECT_EQ(ReadAs<RotateOp>("cmd=rotate&degree=90&angle=45").degrees, 90);
    EXPECT_EQ(ReadAs<RotateOp>("cmd=rotate&angle=-30").degrees, 0);
    FlipOp f = ReadAs<FlipOp>("cmd=flip&horizontal=true&vertical=True");
    EXPECT_TRUE(f.horizontal && f.vertical);
    EXPECT_FALSE(ReadAs<FlipOp>("cmd=flip&horizontal=1").horizontal);
    AutoCropOp a = ReadAs<AutoCropOp>("cmd=autocrop&marginleft=300&margintop=-1&marginright=5");
    EXPECT_EQ(a.left, 256);
    EXPECT_EQ(a.top, 0);
    EXPECT_EQ(a.right, 5);
    EXPECT_EQ(a.bgColor, 0xFFFFFFFFu);
}

TEST_F(OperationReaderTest, FiltersClampTheirParameters) {
    EXPECT_EQ(ReadAs<SmoothOp>("cmd=smooth&weight=9").weight, 3);
    EXPECT_EQ(ReadAs<SmoothOp>("cmd=smooth").weight, 1);
    EXPECT_EQ(ReadAs<SharpenOp>("cmd=sharpen&weight=9").weight, 5);
    EXPECT_EQ(ReadAs<JitterOp>("cmd=jitter&radius=1").radius, 2);
    EXPECT_EQ(ReadAs<JitterOp>("cmd=jitter").radius, 8);
    EXPECT_EQ(ReadAs<NoiseOp>("cmd=noise&amount=-5").amount, 0);
    EXPECT_EQ(ReadAs<NoiseOp>("cmd=noise").amount, 20);
    EXPECT_EQ(ReadAs<OilPaintOp>("cmd=oilpaint&radius=50").radius, 8);
    BlurOp b = ReadAs<BlurOp>("cmd=blur&hradius=0.5&vradius=300");
    EXPECT_FLOAT_EQ(b.hRadius, 1.0f);
    EXPECT_FLOAT_EQ(b.vRadius, 256.0f);
    EXPECT_FLOAT_EQ(ReadAs<BlurOp>("cmd=blur").hRadius, 5.0f);
    EXPECT_FLOAT_EQ(ReadAs<BlurOp>("cmd=blur&hradius=1e999").hRadius, 256.0f);

    AdjustOp adj = ReadAs<AdjustOp>("cmd=adjust&contrast=500&gamma=-7");
    EXPECT_EQ(adj.contrast, 500);  // the engine clamps
    EXPECT_EQ(adj.gamma, -7);
    EXPECT_EQ(ReadAs<AdjustRgbOp>("cmd=adjustrgb&red=150", 1, 1, Runner::Worker).red, 150);
    EXPECT_EQ(ReadAs<AdjustRgbOp>("cmd=adjustrgb&red=150", 1, 1, Runner::InProcess).red, 100);
    EXPECT_EQ(ReadAs<AdjustRgbOp>("cmd=adjustrgb&blue=-150", 1, 1, Runner::InProcessFile).blue,
              -100);
    AutoLevelOp l = ReadAs<AutoLevelOp>("cmd=autolevel&max=0.9");
    EXPECT_FLOAT_EQ(l.min, 0.0f);
    EXPECT_FLOAT_EQ(l.max, 0.9f);
}

TEST_F(OperationReaderTest, TextReadsStyleRectangleAndDecodedText) {
    TextOp t = ReadAs<TextOp>(
        "cmd=text&text=a%26b+c&font=Arial&fontsize=1&fontstyle=99&align=7&x=-5&y=3000&w=50"
        "&color=80ff0000&hint=9&wrap=true&rightleft=t");
    EXPECT_EQ(t.text, "a&b c");
    EXPECT_EQ(t.font, "Arial");
    EXPECT_FLOAT_EQ(t.fontSize, 2.0f);
    EXPECT_EQ(t.fontStyle, 15);
    EXPECT_EQ(t.align, 2);
    EXPECT_EQ(t.x, 0);
    EXPECT_EQ(t.y, 2048);
    EXPECT_EQ(t.width, 50);
    EXPECT_EQ(t.color, 0x80FF0000u);
    EXPECT_EQ(t.hint, 5);
    EXPECT_TRUE(t.wrap && t.rightToLeft && !t.vertical);
    EXPECT_FLOAT_EQ(ReadAs<TextOp>("cmd=text&fontsize=5000").fontSize, 1000.0f);
    EXPECT_FLOAT_EQ(ReadAs<TextOp>("cmd=text").fontSize, 12.0f);

    // The verification-code text always decodes as UTF-8.
    CaptchaOp c = ReadAs<CaptchaOp>("cmd=__captcha&text=%C3%A9&fontsize=1&flag=7&leftmargin=-3", 1,
                                    1, Runner::InProcess);
    EXPECT_EQ(c.text, "\xC3\xA9");
    EXPECT_FLOAT_EQ(c.fontSize, 2.0f);
    EXPECT_EQ(c.flag, 7);
    EXPECT_EQ(c.leftMargin, -3);
}

TEST_F(OperationReaderTest, MergeSourcesFollowTheRunner) {
    MergeOp m = ReadAs<MergeOp>("cmd=merge&file=logo.png&a=300&x=-4&y=9999&itpmode=-1&fit=true");
    EXPECT_EQ(m.source, MergeOp::Source::File);
    EXPECT_EQ(m.path, "/srv/vs/Command/Images/logo.png");
    EXPECT_EQ(m.alpha, 255);
    EXPECT_EQ(m.x, 0);
    EXPECT_EQ(m.y, 2048);
    EXPECT_EQ(m.itpMode, 0);
    EXPECT_TRUE(m.fit);
    // Through the worker the image folder is always the base, and imgno is
    // not read.
    EXPECT_EQ(ReadAs<MergeOp>("cmd=merge&file=/etc/x.png&imgno=a").path,
              "/srv/vs/Command/Images//etc/x.png");

    // In process imgno wins over file.
    m = ReadAs<MergeOp>("cmd=merge&imgno=Logo&file=x.png", 1, 1, Runner::InProcess);
    EXPECT_EQ(m.source, MergeOp::Source::NamedImage);
    EXPECT_EQ(m.imageName, "Logo");

    // Relative names cannot climb out of the image folder.
    EXPECT_EQ(Read("cmd=merge&file=../secret.png").result, 210);
    EXPECT_EQ(Read("cmd=merge&file=a/../../b.png", 1, 1, Runner::InProcess).result, 210);
    EXPECT_EQ(ReadAs<MergeOp>("cmd=merge&file=logo..png").path, "/srv/vs/Command/Images/logo..png");
}

TEST_F(OperationReaderTest, LayerNamesAreTrimmedAndLowerCased) {
    LayerNewOp n = ReadAs<LayerNewOp>("cmd=layernew&name= Logo &alpha=-1&file=bg.png", 1, 1,
                                      Runner::InProcessFile);
    EXPECT_EQ(n.name, "logo");
    EXPECT_EQ(n.alpha, 0);
    EXPECT_EQ(n.bgColor, 0u);
    EXPECT_EQ(n.path, "/srv/vs/Command/Images/bg.png");
    EXPECT_EQ(ReadAs<LayerNewOp>("cmd=layernew&name=a", 1, 1, Runner::WorkerFile).path, "");
    EXPECT_EQ(Read("cmd=layernew&name=a&file=../x.png", 1, 1, Runner::WorkerFile).result, 210);

    LayerCopyOp c =
        ReadAs<LayerCopyOp>("cmd=layercopy&from=\tA \t&name=B&a=128", 1, 1, Runner::WorkerFile);
    EXPECT_EQ(c.from, "a");
    EXPECT_EQ(c.name, "b");
    EXPECT_EQ(c.alpha, 128);
    LayerBlendOp b = ReadAs<LayerBlendOp>("cmd=layerblend&from=A&to=Background&method= Multiply", 1,
                                          1, Runner::InProcessFile);
    EXPECT_EQ(b.to, "background");
    EXPECT_EQ(b.method, " multiply");  // lower-cased but not trimmed
    EXPECT_EQ(b.alpha, 255);
}
