#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "image/colour/adjustments.h"
#include "image_test_util.h"

using namespace Vs4Image;
using namespace VsTest;

// Neutral parameters keep the image: within rounding through the colour
// matrix, exactly for the levels 0..1.
TEST(AdjustImage, NeutralParametersKeepTheImage) {
    CBaseImage image, original;
    MakeColourful(image, 64, 16);
    MakeColourful(original, 64, 16);
    EXPECT_EQ(AdjustImage(image, 0, 0, 0, 0, 0), Ok);
    EXPECT_LE(MaxDifference(image, original), 1);
    MakeColourful(image, 64, 16);
    EXPECT_EQ(AutoLevel(image, 0.0f, 1.0f), Ok);
    EXPECT_EQ(Checksum(image), Checksum(original));
}

TEST(AdjustImage, ContrastSaturationAndBrightness) {
    CBaseImage image;
    MakeColourful(image, 16, 8);
    EXPECT_EQ(AdjustImage(image, -100, 0, 0, 0, 0), Ok);
    for (int x = 0; x < 16; ++x) {
        const Argb c = At(image, x, 3);
        EXPECT_GE(Red(c), 127);
        EXPECT_LE(Red(c), 128);
        EXPECT_GE(Green(c), 127);
        EXPECT_LE(Green(c), 128);
        EXPECT_GE(Blue(c), 127);
        EXPECT_LE(Blue(c), 128);
        EXPECT_EQ(Alpha(c), 255);
    }

    // Saturation -100: grey from the luminance weights; alpha untouched.
    image.CreateBlank(2, 1, 0x80C86432);  // r 200, g 100, b 50
    EXPECT_EQ(AdjustImage(image, 0, 0, -100, 0, 0), Ok);
    const Argb grey = At(image, 1, 0);  // 0.3086*200 + 0.6094*100 + 0.082*50 = 126.76
    EXPECT_EQ(Red(grey), 127);
    EXPECT_EQ(Green(grey), 127);
    EXPECT_EQ(Blue(grey), 127);
    EXPECT_EQ(Alpha(grey), 0x80);

    // Brightness is an offset of brightness / 100 of full scale.
    image.CreateBlank(1, 1, 0xFF646464);
    EXPECT_EQ(AdjustImage(image, 0, 20, 0, 0, 0), Ok);  // 100 + 51
    EXPECT_EQ(At(image, 0, 0), 0xFF979797u);
    // Values outside -100..100 are clamped: 500 acts like 100 (everything white).
    EXPECT_EQ(AdjustImage(image, 0, 500, 0, 0, 0), Ok);
    EXPECT_EQ(At(image, 0, 0), 0xFFFFFFFFu);
}

TEST(AdjustImage, HueHalfTurnEitherWayAgrees) {
    CBaseImage plus, minus, original;
    MakeColourful(plus, 24, 24);
    MakeColourful(minus, 24, 24);
    MakeColourful(original, 24, 24);
    EXPECT_EQ(AdjustImage(plus, 0, 0, 0, 100, 0), Ok);
    EXPECT_EQ(AdjustImage(minus, 0, 0, 0, -100, 0), Ok);
    EXPECT_LE(MaxDifference(plus, minus), 1);
    EXPECT_GT(MaxDifference(plus, original), 20);
    // A grey pixel lies near the axis of the turn (the frame angles are the
    // rounded 45 and 35 degrees) and stays nearly grey.
    CBaseImage grey;
    grey.CreateBlank(1, 1, 0xFF808080);
    AdjustImage(grey, 0, 0, 0, 37, 0);
    const Argb g = At(grey, 0, 0);
    for (int v : {Red(g), Green(g), Blue(g)})
        EXPECT_NEAR(v, 128, 3);
}

TEST(AdjustImage, GammaDarkensMidTonesAndKeepsEnds) {
    CBaseImage image;
    image.CreateBlank(3, 1, 0xFF808080);
    Set(image, 0, 0, 0xFF000000);
    Set(image, 2, 0, 0xFFFFFFFF);
    EXPECT_EQ(AdjustImage(image, 0, 0, 0, 0, 100), Ok);  // exponent 4
    EXPECT_EQ(At(image, 0, 0), 0xFF000000u);
    EXPECT_EQ(Red(At(image, 1, 0)), 16);  // (128/255)^4 * 255 = 16.19
    EXPECT_EQ(At(image, 2, 0), 0xFFFFFFFFu);
    // gamma -100 would be the exponent 0: it leaves the image alone.
    image.CreateBlank(1, 1, 0xFF808080);
    EXPECT_EQ(AdjustImage(image, 0, 0, 0, 0, -100), Ok);
    EXPECT_EQ(At(image, 0, 0), 0xFF808080u);
}

TEST(AdjustRgb, ScalesChannelsAndClamps) {
    CBaseImage image;
    image.CreateBlank(2, 1, 0xFF643214);  // r 100, g 50, b 20
    Set(image, 1, 0, 0x40C80000);         // r 200, alpha 64
    EXPECT_EQ(AdjustRgb(image, 100, 0, -50), Ok);
    EXPECT_EQ(At(image, 0, 0), 0xFFC8320Au);  // red doubled, blue halved
    EXPECT_EQ(At(image, 1, 0), 0x40FF0000u);  // red clamped, zeros stay zero, alpha kept
    // All zero: nothing happens.
    EXPECT_EQ(AdjustRgb(image, 0, 0, 0), Ok);
    EXPECT_EQ(At(image, 0, 0), 0xFFC8320Au);
}

TEST(AutoLevel, StretchesTwice) {
    CBaseImage image;
    image.CreateBlank(256, 1, 0xFF000000);
    for (int c = 0; c < 256; ++c)
        Set(image, c, 0, MakeArgb(200, c, c, 255 - c));
    EXPECT_EQ(AutoLevel(image, 0.1f, 0.9f), Ok);
    for (int c = 0; c <= 46; ++c)
        EXPECT_EQ(Red(At(image, c, 0)), 0) << c;  // at or below 0.18
    EXPECT_EQ(Red(At(image, 76, 0)), 47);         // 0.298 -> 0.248 -> 0.184
    EXPECT_EQ(Green(At(image, 76, 0)), 47);
    EXPECT_EQ(Blue(At(image, 255 - 76, 0)), 47);
    EXPECT_EQ(Red(At(image, 128, 0)), 128);  // about 0.5 stays
    EXPECT_EQ(Red(At(image, 255, 0)), 255);
    EXPECT_EQ(Alpha(At(image, 76, 0)), 200);

    // min = max: a threshold at min.
    image.CreateBlank(3, 1, 0xFF000000);
    Set(image, 1, 0, 0xFF7F7F7F);
    Set(image, 2, 0, 0xFF808080);
    EXPECT_EQ(AutoLevel(image, 0.5f, 0.5f), Ok);
    EXPECT_EQ(At(image, 0, 0), 0xFF000000u);
    EXPECT_EQ(At(image, 1, 0), 0xFF000000u);
    EXPECT_EQ(At(image, 2, 0), 0xFFFFFFFFu);

    CBaseImage empty;
    EXPECT_EQ(AutoLevel(empty, 0.0f, 1.0f), GenericError);
}

TEST(ToneMatrices, NegativeSepiaAndGrey) {
    CBaseImage image;
    image.CreateBlank(3, 1, 0xFF0000FF);  // blue
    Set(image, 1, 0, 0xFFFFFFFF);
    Set(image, 2, 0, 0x00123456);  // fully transparent stays the word 0
    EXPECT_EQ(Negative(image), Ok);
    EXPECT_EQ(At(image, 0, 0), 0xFFFFFF00u);  // green clamped from 1.01
    EXPECT_EQ(At(image, 1, 0), 0xFF000300u);  // green keeps 0.01 of full scale
    EXPECT_EQ(At(image, 2, 0), 0u);

    image.CreateBlank(1, 1, 0xFF646464);
    EXPECT_EQ(Sepia(image), Ok);  // 100 * (1.351, 1.203, 0.937)
    EXPECT_EQ(At(image, 0, 0), 0xFF87785Eu);

    image.CreateBlank(1, 1, 0x7FC86432);
    EXPECT_EQ(Grayscale(image), Ok);  // 0.3*200 + 0.59*100 + 0.11*50 = 124.5
    const Argb g = At(image, 0, 0);
    EXPECT_EQ(Red(g), Green(g));
    EXPECT_EQ(Green(g), Blue(g));
    EXPECT_GE(Red(g), 124);
    EXPECT_LE(Red(g), 125);
    EXPECT_EQ(Alpha(g), 0x7F);
}

TEST(AdjustImage, HueFromSeveralThreadsAtOnce) {
    // The first hue adjustments of the process run together; each must see
    // the fully built hue frame and all must agree.
    constexpr int kThreads = 4;
    CBaseImage images[kThreads];
    for (CBaseImage& image : images)
        MakeColourful(image, 20, 20);
    std::vector<std::thread> threads;
    for (CBaseImage& image : images)
        threads.emplace_back([&image] { AdjustImage(image, 0, 0, 0, 50, 0); });
    for (std::thread& t : threads)
        t.join();
    CBaseImage original;
    MakeColourful(original, 20, 20);
    EXPECT_NE(Checksum(images[0]), Checksum(original));
    for (int i = 1; i < kThreads; ++i)
        EXPECT_EQ(Checksum(images[i]), Checksum(images[0]));
}
