#include <gtest/gtest.h>

#include <thread>

#include "image/bitmap.h"
#include "image/filters/jitter.h"
#include "image/filters/noise.h"
#include "image/filters/oil_paint.h"
#include "image/random.h"
#include "image_test_util.h"

using namespace Vs4Image;
using namespace VsTest;

// The C runtime's sequence, from state 1 on every new thread.
TEST(ThreadRandom, CRuntimeSequencePerThread) {
    ResetThreadRandom();
    EXPECT_EQ(ThreadRandom(), 41);
    EXPECT_EQ(ThreadRandom(), 18467);
    int onOtherThread = -1;
    std::thread([&] { onOtherThread = ThreadRandom(); }).join();
    EXPECT_EQ(onOtherThread, 41);
    EXPECT_EQ(ThreadRandom(), 6334);
}

// Every pixel comes from at most the radius away (radii above 32 count as
// 32); the first pixel's draws 41 and 18467 give offsets trunc(-3.99) = -3
// and trunc(0.51) = 0, outside the image, so it keeps its own value.
TEST(Jitter, MovesPixelsAtMostTheRadius) {
    for (int radius : {4, 50}) {
        CBaseImage image;
        Fill(image, 60, 50, [](int x, int y) { return Pack(255, x, y, 0); });
        ResetThreadRandom();
        EXPECT_EQ(Jitter(image, radius), Ok);
        const int reach = std::min(radius, 32);
        int moved = 0, farthest = 0;
        for (int y = 0; y < 50; ++y)
            for (int x = 0; x < 60; ++x) {
                const Argb c = At(image, x, y);
                farthest = std::max({farthest, std::abs(Red(c) - x), std::abs(Green(c) - y)});
                moved += Red(c) != x || Green(c) != y;
            }
        EXPECT_LE(farthest, reach);
        EXPECT_GE(farthest, reach * 3 / 4);
        EXPECT_GT(moved, 60 * 50 / 2);
        if (radius == 4) {
            EXPECT_EQ(At(image, 0, 0), Pack(255, 0, 0, 0));
        }
    }
}

// Noise leaves transparent pixels and alpha alone, takes four numbers per
// visible pixel, nothing for amount 0 (or below); amounts above 300 count
// as 300.
TEST(Noise, VisiblePixelsOnlyAndAmountsClamped) {
    CBaseImage a, b, original;
    for (CBaseImage* image : {&a, &b, &original})
        Fill(*image, 30, 20,
             [](int x, int y) { return x < 10 ? 0x00336699u : Pack(255, x * 8, y * 12, 128); });
    ResetThreadRandom();
    EXPECT_EQ(Noise(a, 300), Ok);
    ResetThreadRandom();
    EXPECT_EQ(Noise(b, 1000), Ok);
    EXPECT_TRUE(SamePixels(a, b));
    const int after = ThreadRandom();
    ResetThreadRandom();
    for (int i = 0; i < 20 * 20 * 4; ++i)
        ThreadRandom();
    EXPECT_EQ(after, ThreadRandom());
    int changed = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 30; ++x) {
            EXPECT_EQ(Alpha(At(a, x, y)), Alpha(At(original, x, y)));
            if (x < 10) {
                EXPECT_EQ(At(a, x, y), 0x00336699u);
            }
            changed += At(a, x, y) != At(original, x, y);
        }
    EXPECT_GT(changed, 300);
    ResetThreadRandom();
    EXPECT_EQ(Noise(original, 0), Ok);
    EXPECT_EQ(Noise(original, -20), Ok);
    EXPECT_EQ(ThreadRandom(), 41);
}

// Each pixel takes the mean colour of the most common brightness bucket in
// its window (the darkest on ties), keeping its own alpha.
TEST(OilPaint, MostCommonBrightnessWins) {
    CBaseImage image;
    image.CreateBlank(30, 25, 0xFF2596C9);
    EXPECT_EQ(OilPaint(image, 3), Ok);
    MaxError(
        image, [](int, int) { return 0xFF2596C9u; }, 0, "flat");
    // 5 x 5, radius 2: 13 dark pixels (two shades in one bucket) outvote 12
    // bright ones at the centre.
    image.CreateBlank(5, 5, 0xFFF0F0F0);
    for (int i = 0; i < 13; ++i)
        Set(image, i % 5, i / 5, i % 2 ? 0xFF010101 : 0xFF020202);
    EXPECT_EQ(OilPaint(image, 2), Ok);
    EXPECT_EQ(At(image, 2, 2), 0xFF010101u);  // (7 * 2 + 6 * 1) / 13 = 1
    EXPECT_EQ(At(image, 4, 4), 0xFFF0F0F0u);
    // Brightness weighs red 0.3, green 0.59, blue 0.11: pure red 200 and pure
    // green 102 share bucket 23 and outvote blue 255 (bucket 11).
    image.CreateBlank(3, 1, 0xFFC80000);
    Set(image, 1, 0, 0xFF006600);
    Set(image, 2, 0, 0xFF0000FF);
    EXPECT_EQ(OilPaint(image, 2), Ok);
    EXPECT_EQ(At(image, 2, 0), 0xFF643300u);
    image.CreateBlank(2, 1, 0x80FFFFFF);
    Set(image, 0, 0, 0x40102030);
    EXPECT_EQ(OilPaint(image, 2), Ok);
    EXPECT_EQ(At(image, 1, 0), 0x80102030u);
    image.CreateBlank(3, 3, 0x00000000);
    EXPECT_EQ(OilPaint(image, 2), Ok);
    EXPECT_EQ(At(image, 1, 1), 0x00FFFFFFu);
}
