#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "image/bitmap.h"
#include "image/filters/deriche.h"
#include "image/filters/gaussian_blur.h"
#include "image_test_util.h"

using namespace Vs4Image;
using namespace VsTest;

template <typename T>
T Gain(const VsxImageFilter::DericheCoefficients<T>& k) {
    T sn = 0, sm = 0, sd = 1;
    for (int i = 0; i < 5; ++i) {
        sn += k.n[i];
        sm += k.m[i];
        sd += k.d[i];
    }
    return (sn + sm) / sd;
}

TEST(GaussianBlur, CoefficientsHaveUnitGain) {
    for (float r : {1.0f, 5.0f, 64.0f}) {
        const auto k = VsxImageFilter::DericheForRadius(r);
        EXPECT_NEAR(Gain(k), 1.0f, 0.002f) << r;
        EXPECT_EQ(k.n[4], 0.0f);
        EXPECT_EQ(k.m[0], 0.0f);
        EXPECT_FLOAT_EQ(k.m[4], -k.d[4] * k.n[0]);
    }
    for (double r : {1.0, 5.0, 100.0, 256.0}) {
        EXPECT_NEAR(Gain(VsxImageFilter::DericheForRadiusPrecise(r)), 1.0, 0.002) << r;
    }
    // Both sets describe the same filter.
    const auto f = VsxImageFilter::DericheForRadius(5.0f);
    const auto d = VsxImageFilter::DericheForRadiusPrecise(5.0);
    for (int i = 0; i < 5; ++i) {
        EXPECT_NEAR(f.n[i], d.n[i], 1e-5);
        EXPECT_NEAR(f.d[i], d.d[i], 1e-5);
    }
    // The radius counts by its magnitude.
    EXPECT_EQ(VsxImageFilter::DericheForRadius(-5.0f).n[1],
              VsxImageFilter::DericheForRadius(5.0f).n[1]);
}

TEST(GaussianBlur, UniformImageStaysUniformAtTheBorders) {
    for (float radius : {1.0f, 5.0f, 32.0f, 33.0f, 100.0f, 256.0f}) {
        CBaseImage image;
        image.CreateBlank(37, 21, 0xC8C86432);
        EXPECT_EQ(GaussianBlur(image, radius, radius), Ok);
        const Argb corner = At(image, 0, 0);
        for (int y = 0; y < 21; ++y) {
            for (int x = 0; x < 37; ++x) {
                const Argb c = At(image, x, y);
                for (int shift = 0; shift < 32; shift += 8) {
                    const int v = (c >> shift) & 255;
                    const int want = (0xC8C86432u >> shift) & 255;
                    ASSERT_LE(std::abs(v - want), 1) << radius << " at " << x << "," << y;
                    ASSERT_LE(std::abs(v - int((corner >> shift) & 255)), 1);
                }
            }
        }
    }
}

TEST(GaussianBlur, SpreadsADotSymmetrically) {
    CBaseImage image;
    image.CreateBlank(41, 41, 0xFF000000);
    Set(image, 20, 20, 0xFFFFFFFF);
    EXPECT_EQ(GaussianBlur(image, 3.0f, 3.0f), Ok);
    const int centre = Red(At(image, 20, 20));
    EXPECT_GT(centre, 0);
    EXPECT_LT(centre, 255);
    int total = 0;
    for (int d = 1; d < 10; ++d) {
        const int right = Red(At(image, 20 + d, 20));
        EXPECT_LE(right, Red(At(image, 20 + d - 1, 20)));
        EXPECT_LE(std::abs(right - Red(At(image, 20 - d, 20))), 1) << d;
        EXPECT_LE(std::abs(right - Red(At(image, 20, 20 + d))), 1) << d;
    }
    for (int y = 0; y < 41; ++y) {
        for (int x = 0; x < 41; ++x)
            total += Red(At(image, x, y));
    }
    EXPECT_NEAR(total, 255, 40);  // energy kept, less what truncation drops
    EXPECT_EQ(Red(At(image, 0, 0)), 0);
    EXPECT_EQ(Alpha(At(image, 0, 0)), 255);
}

TEST(GaussianBlur, ClampsRadiiAndRefusesWithoutMemory) {
    CBaseImage a, b;
    MakeColourful(a, 40, 30);
    MakeColourful(b, 40, 30);
    EXPECT_EQ(GaussianBlur(a, 0.2f, 1000.0f), Ok);
    EXPECT_EQ(GaussianBlur(b, 1.0f, 256.0f), Ok);
    EXPECT_EQ(Checksum(a), Checksum(b));
    MakeColourful(a, 40, 30);
    MakeColourful(b, 40, 30);
    EXPECT_EQ(GaussianBlur(a, NAN, NAN), Ok);
    EXPECT_EQ(GaussianBlur(b, 5.0f, 5.0f), Ok);
    EXPECT_EQ(Checksum(a), Checksum(b));

    const uint64_t before = Checksum(a);
    SetMaxImagePixels(100);
    EXPECT_EQ(GaussianBlur(a, 5.0f, 5.0f), OutOfMemory);
    SetMaxImagePixels(Bitmap::kDefaultMaxPixels);
    EXPECT_EQ(Checksum(a), before);
    CBaseImage empty;
    EXPECT_EQ(GaussianBlur(empty, 5.0f, 5.0f), InvalidParameter);
}

TEST(GaussianBlur, ThinImagesAndLinesShorterThanTheFilter) {
    CBaseImage image;
    image.CreateBlank(1, 3, 0xFF808080);
    EXPECT_EQ(GaussianBlur(image, 5.0f, 5.0f), Ok);
    EXPECT_LE(std::abs(Red(At(image, 0, 1)) - 128), 1);
    image.CreateBlank(70, 2, 0xFF808080);
    EXPECT_EQ(GaussianBlur(image, 2.0f, 2.0f), Ok);
    EXPECT_LE(std::abs(Green(At(image, 69, 1)) - 128), 1);
}
