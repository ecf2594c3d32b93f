#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "image/bitmap.h"
#include "image/filters/jitter.h"
#include "image/filters/noise.h"
#include "image/filters/oil_paint.h"
#include "image/random.h"
#include "image_test_util.h"

using namespace Vs4Image;
using namespace VsTest;

TEST(ThreadRandom, CRuntimeSequencePerThread) {
    ResetThreadRandom();
    EXPECT_EQ(ThreadRandom(), 41);
    EXPECT_EQ(ThreadRandom(), 18467);
    EXPECT_EQ(ThreadRandom(), 6334);
    int onOtherThread = -1;
    std::thread([&] { onOtherThread = ThreadRandom(); }).join();
    EXPECT_EQ(onOtherThread, 41);  // a new thread starts at state 1
    EXPECT_EQ(ThreadRandom(), 26500);
}

TEST(Jitter, MovesPixelsAtMostTheRadius) {
    // Red and green hold each pixel's own coordinates.
    CBaseImage image;
    image.CreateBlank(60, 50, 0xFF000000);
    for (int y = 0; y < 50; ++y) {
        for (int x = 0; x < 60; ++x)
            Set(image, x, y, MakeArgb(255, x, y, 0));
    }
    ResetThreadRandom();
    EXPECT_EQ(Jitter(image, 4), Ok);
    int moved = 0;
    for (int y = 0; y < 50; ++y) {
        for (int x = 0; x < 60; ++x) {
            const Argb c = At(image, x, y);
            ASSERT_LE(std::abs(Red(c) - x), 4);
            ASSERT_LE(std::abs(Green(c) - y), 4);
            if (Red(c) != x || Green(c) != y)
                ++moved;
        }
    }
    EXPECT_GT(moved, 60 * 50 / 2);

    // The first pixel: draws 41 and 18467 give offsets trunc(-3.99) = -3 and
    // trunc(0.51) = 0; (-3, 0) lies outside, so the pixel keeps its own value.
    EXPECT_EQ(At(image, 0, 0), MakeArgb(255, 0, 0, 0));
}

TEST(Jitter, SameStateSameResult) {
    CBaseImage a, b;
    MakeColourful(a, 40, 30);
    MakeColourful(b, 40, 30);
    const uint64_t original = Checksum(a);
    ResetThreadRandom();
    EXPECT_EQ(Jitter(a, 8), Ok);
    ResetThreadRandom();
    EXPECT_EQ(Jitter(b, 50), Ok);  // clamped to 32
    ResetThreadRandom();
    MakeColourful(b, 40, 30);
    EXPECT_EQ(Jitter(b, 8), Ok);
    EXPECT_EQ(Checksum(a), Checksum(b));
    EXPECT_NE(Checksum(a), original);

    SetMaxImagePixels(10);
    EXPECT_EQ(Jitter(a, 8), OutOfMemory);
    SetMaxImagePixels(Bitmap::kDefaultMaxPixels);
}

TEST(Noise, KeepsTransparentPixelsAndRepeats) {
    CBaseImage a, b;
    for (CBaseImage* image : {&a, &b}) {
        MakeColourful(*image, 30, 20);
        for (int y = 0; y < 20; ++y) {
            for (int x = 0; x < 10; ++x)
                Set(*image, x, y, 0x00336699);
        }
    }
    ResetThreadRandom();
    EXPECT_EQ(Noise(a, 300), Ok);
    ResetThreadRandom();
    EXPECT_EQ(Noise(b, 300), Ok);
    EXPECT_EQ(Checksum(a), Checksum(b));
    CBaseImage original;
    MakeColourful(original, 30, 20);
    int changed = 0;
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 10; ++x)
            ASSERT_EQ(At(a, x, y), 0x00336699u);
        for (int x = 10; x < 30; ++x) {
            EXPECT_EQ(Alpha(At(a, x, y)), 255);
            if (At(a, x, y) != At(original, x, y))
                ++changed;
        }
    }
    EXPECT_GT(changed, 200);
    // Four draws per visible pixel: 400 pixels use up 1600 numbers.
    ResetThreadRandom();
    for (int i = 0; i < 1600; ++i)
        ThreadRandom();
    const int next = ThreadRandom();
    ResetThreadRandom();
    MakeColourful(b, 20, 20);
    Noise(b, 20);
    EXPECT_EQ(ThreadRandom(), next);
}

TEST(Noise, AmountZeroChangesNothing) {
    CBaseImage image;
    MakeColourful(image, 16, 16);
    const uint64_t before = Checksum(image);
    ResetThreadRandom();
    EXPECT_EQ(Noise(image, 0), Ok);
    EXPECT_EQ(Noise(image, -20), Ok);  // clamped to 0
    EXPECT_EQ(Checksum(image), before);
    EXPECT_EQ(ThreadRandom(), 41);  // no numbers drawn
}

TEST(OilPaint, FlatAreasKeepTheirColour) {
    for (int radius : {2, 3, 8}) {
        CBaseImage image;
        image.CreateBlank(30, 25, 0xFF2596C9);
        EXPECT_EQ(OilPaint(image, radius), Ok);
        for (int y = 0; y < 25; ++y) {
            for (int x = 0; x < 30; ++x)
                ASSERT_EQ(At(image, x, y), 0xFF2596C9u) << radius;
        }
    }
}

TEST(OilPaint, MostCommonBrightnessWinsDarkestOnTies) {
    // 5 x 5, radius 2: the centre sees everything; 13 dark pixels (two shades
    // in one brightness bucket) outvote 12 bright ones.
    CBaseImage image;
    image.CreateBlank(5, 5, 0xFFF0F0F0);
    for (int i = 0; i < 13; ++i)
        Set(image, i % 5, i / 5, i % 2 ? 0xFF010101 : 0xFF020202);
    EXPECT_EQ(OilPaint(image, 2), Ok);
    EXPECT_EQ(At(image, 2, 2), 0xFF010101u);  // (7 * 2 + 6 * 1) / 13 = 1
    EXPECT_EQ(At(image, 4, 4), 0xFFF0F0F0u);  // its window: one dark pixel, eight bright

    // Two pixels, one of each: a tie, the darker wins; alpha stays each pixel's own.
    image.CreateBlank(2, 1, 0x80FFFFFF);
    Set(image, 0, 0, 0x40102030);
    EXPECT_EQ(OilPaint(image, 2), Ok);
    EXPECT_EQ(At(image, 0, 0), 0x40102030u);
    EXPECT_EQ(At(image, 1, 0), 0x80102030u);

    // Only transparent pixels: white, alpha kept.
    image.CreateBlank(3, 3, 0x00000000);
    EXPECT_EQ(OilPaint(image, 2), Ok);
    EXPECT_EQ(At(image, 1, 1), 0x00FFFFFFu);

    SetMaxImagePixels(4);
    EXPECT_EQ(OilPaint(image, 2), InsufficientBuffer);
    SetMaxImagePixels(Bitmap::kDefaultMaxPixels);
}
