// The filters against their formulas: the Gaussian blur, smoothing and
// sharpening, and the effects that draw from the thread's random numbers.
#include <gtest/gtest.h>

#include <numeric>
#include <thread>

#include "image/bitmap.h"
#include "image/filters/gaussian_blur.h"
#include "image/filters/jitter.h"
#include "image/filters/noise.h"
#include "image/filters/oil_paint.h"
#include "image/filters/sharpen.h"
#include "image/filters/smoothing.h"
#include "image/random.h"
#include "image_test_util.h"

using namespace Vs4Image;
using namespace VsTest;

namespace {

// For each of n output pixels the weights of the n source pixels under a
// true Gaussian of standard deviation (r + 1) / sqrt(2 ln 255) (it falls to
// 1/255 one pixel beyond the radius), taps beyond the edges on the edge pixel.
std::vector<std::vector<double>> Gaussian(double radius, int n) {
    const double s = (radius + 1) / std::sqrt(2 * std::log(255.0));
    const int reach = int(std::ceil(6 * s));
    std::vector<std::vector<double>> k(n, std::vector<double>(n));
    for (int i = 0; i < n; ++i)
        for (int d = -reach; d <= reach; ++d)
            k[i][std::clamp(i + d, 0, n - 1)] += std::exp(-d * d / (2 * s * s));
    for (auto& row : k) {
        const double sum = std::accumulate(row.begin(), row.end(), 0.0);
        for (double& w : row)
            w /= sum;
    }
    return k;
}

// Each byte of the pixel is blurred on its own.
void ExpectLikeTheGaussian(float hr, float vr, int tolerance) {
    CBaseImage image;
    const auto input = [](int x, int y) {
        return Pack((x * 37 + y * 11) % 256, x < 20 ? 250 : 3, (y * 9) % 256, (x * y * 7) % 256);
    };
    Fill(image, 40, 30, input);
    ASSERT_EQ(GaussianBlur(image, hr, vr), Ok);
    const auto kx = Gaussian(hr, 40), ky = Gaussian(vr, 30);
    double rows[4][30][40] = {};  // blurred along x
    for (int c = 0; c < 4; ++c)
        for (int v = 0; v < 30; ++v)
            for (int x = 0; x < 40; ++x)
                for (int u = 0; u < 40; ++u)
                    rows[c][v][x] += kx[x][u] * (input(u, v) >> 8 * c & 255);
    const auto want = [&](int x, int y) {
        Argb p = 0;
        for (int c = 0; c < 4; ++c) {
            double sum = 0;
            for (int v = 0; v < 30; ++v)
                sum += ky[y][v] * rows[c][v][x];
            p |= Argb(std::lround(sum)) << 8 * c;
        }
        return p;
    };
    const std::string what = "radii " + std::to_string(hr) + " " + std::to_string(vr);
    EXPECT_LE(MaxError(image, want, tolerance, what), tolerance) << what;
}

}  // namespace

// The recursive filter follows the Gaussian closely, in single precision up
// to radius 32 and double beyond; radii are clamped to 1..256, NaN is 5.
TEST(GaussianBlur, MatchesTheGaussian) {
    ExpectLikeTheGaussian(3, 7, 2);
    ExpectLikeTheGaussian(12, 2, 2);
    ExpectLikeTheGaussian(40, 40, 2);
    for (const auto& r : {std::array{0.2f, 1000.0f, 1.0f, 256.0f}, {NAN, NAN, 5.0f, 5.0f}}) {
        CBaseImage a, b;
        MakeColourful(a, 40, 30);
        MakeColourful(b, 40, 30);
        EXPECT_EQ(GaussianBlur(a, r[0], r[1]), Ok);
        EXPECT_EQ(GaussianBlur(b, r[2], r[3]), Ok);
        EXPECT_EQ(Checksum(a), Checksum(b)) << r[0];
    }
}

TEST(GaussianBlur, UniformImagesStayUniformAtTheBorders) {
    for (float radius : {1.0f, 32.0f, 33.0f, 256.0f})
        for (const auto& [w, h] : {std::pair{37, 21}, std::pair{1, 3}, std::pair{70, 2}}) {
            CBaseImage image;
            image.CreateBlank(w, h, 0xC8C86432);
            EXPECT_EQ(GaussianBlur(image, radius, radius), Ok);
            MaxError(
                image, [](int, int) { return 0xC8C86432u; }, 1, "radius " + std::to_string(radius));
        }
}

TEST(SpatialFilter, SmoothingDarkensTheBorderOnly) {
    CBaseImage image;
    image.CreateBlank(12, 12, 0xC0C8C8C8);  // grey 200, alpha 192
    EXPECT_EQ(Smooth(image, 3), Ok);
    for (int y = 3; y < 9; ++y) {
        for (int x = 3; x < 9; ++x)
            EXPECT_EQ(At(image, x, y), 0xC0C8C8C8u) << x << "," << y;
    }
    EXPECT_EQ(Red(At(image, 0, 0)), 200 * 16 / 49);  // a corner sees 4 x 4 cells
    EXPECT_EQ(Red(At(image, 11, 11)), 200 * 16 / 49);
    EXPECT_EQ(Green(At(image, 1, 1)), 200 * 25 / 49);
    EXPECT_EQ(Blue(At(image, 0, 6)), 200 * 28 / 49);
    EXPECT_EQ(Red(At(image, 6, 2)), 200 * 42 / 49);
    EXPECT_EQ(Alpha(At(image, 0, 0)), 0xC0);
}

TEST(SpatialFilter, SharpenArithmetic) {
    CBaseImage image;
    image.CreateBlank(5, 5, 0xFF6464C8);      // r 100, g 100, b 200
    EXPECT_EQ(Sharpen(image, 9), Ok);         // weight 5 at most: kernel sum 11
    EXPECT_EQ(At(image, 2, 2), 0xFF9D9DFFu);  // 100 * 11 / 7 = 157, blue clamped
    // A bright dot in grey: centre (15 * 100 - 8 * 50) / 7, neighbour (8 * 50 - 100) / 7;
    // a dark dot in white goes negative and clamps to 0.
    image.CreateBlank(5, 5, 0xFF323232);
    Set(image, 2, 2, 0xFF6464FF);
    EXPECT_EQ(Sharpen(image, 1), Ok);
    EXPECT_EQ(Red(At(image, 2, 2)), 157);
    EXPECT_EQ(Red(At(image, 1, 2)), 42);
    EXPECT_EQ(Blue(At(image, 1, 2)), (8 * 50 - 255) / 7);
    EXPECT_EQ(Blue(At(image, 2, 2)), 255);
    image.CreateBlank(3, 3, 0xFFFFFFFF);
    Set(image, 1, 1, 0xFF000000);
    EXPECT_EQ(Sharpen(image, 1), Ok);
    EXPECT_EQ(At(image, 1, 1), 0xFF000000u);
}

// Work memory counts against the pixel limit (a 20 x 20 image needs 400):
// refused, the image keeps its pixels. Without pixels nothing runs.
TEST(SpatialFilter, FailuresLeaveTheImageAndSayWhy) {
    const std::tuple<const char*, int, Status, std::function<Status(CBaseImage&)>> cases[] = {
        {"smooth", 100, OutOfMemory, [](CBaseImage& i) { return Smooth(i, 1); }},
        {"sharpen", 100, OutOfMemory, [](CBaseImage& i) { return Sharpen(i, 3); }},
        {"gaussian", 100, OutOfMemory, [](CBaseImage& i) { return GaussianBlur(i, 5, 5); }},
        {"jitter", 10, OutOfMemory, [](CBaseImage& i) { return Jitter(i, 8); }},
        {"oil paint", 4, InsufficientBuffer, [](CBaseImage& i) { return OilPaint(i, 2); }}};
    CBaseImage image, empty;
    MakeColourful(image, 20, 20);
    const uint64_t before = Checksum(image);
    for (const auto& [name, limit, status, apply] : cases) {
        SetMaxImagePixels(limit);
        EXPECT_EQ(apply(image), status) << name;
        SetMaxImagePixels(Bitmap::kDefaultMaxPixels);
        EXPECT_EQ(Checksum(image), before) << name;
    }
    EXPECT_EQ(GaussianBlur(empty, 5.0f, 5.0f), InvalidParameter);
    EXPECT_EQ(Smooth(empty, 1), InvalidParameter);
}

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

// Each pixel in row order moves its source by two draws, trunc((n / 32767 -
// 0.5) * 2r) each (r at most 32), and keeps its value when that is outside.
TEST(Jitter, EachPixelFromItsTwoDraws) {
    for (int radius : {4, 50}) {
        CBaseImage image;
        Fill(image, 60, 50, [](int x, int y) { return Pack(255, x, y, 0); });
        ResetThreadRandom();
        EXPECT_EQ(Jitter(image, radius), Ok);
        ResetThreadRandom();
        const auto offset = [r = std::min(radius, 32)] {
            return int((ThreadRandom() / 32767.0 - 0.5) * 2 * r);
        };
        int wrong = 0, moved = 0;
        for (int y = 0; y < 50; ++y)
            for (int x = 0; x < 60; ++x) {
                const int nx = x + offset(), ny = y + offset();
                const bool inside = nx >= 0 && nx < 60 && ny >= 0 && ny < 50;
                wrong += At(image, x, y) != (inside ? Pack(255, nx, ny, 0) : Pack(255, x, y, 0));
                moved += inside && (nx != x || ny != y);
            }
        EXPECT_EQ(wrong, 0) << radius;
        EXPECT_GT(moved, 60 * 50 / 2) << radius;
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
            EXPECT_TRUE(x >= 10 || At(a, x, y) == 0x00336699u) << x;
            changed += At(a, x, y) != At(original, x, y);
        }
    EXPECT_GT(changed, 300);
    ResetThreadRandom();
    EXPECT_EQ(Noise(original, -20), Ok);
    EXPECT_EQ(ThreadRandom(), 41);
}

// Each pixel takes the mean colour of the most common brightness bucket in
// its window (the darkest on ties), keeping its own alpha.
TEST(OilPaint, MostCommonBrightnessWins) {
    // 5 x 5, radius 2: 13 dark pixels (two shades in one bucket) outvote 12
    // bright ones at the centre.
    CBaseImage image;
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
