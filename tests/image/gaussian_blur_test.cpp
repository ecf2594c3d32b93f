#include <gtest/gtest.h>

#include "image/bitmap.h"
#include "image/filters/gaussian_blur.h"
#include "image_test_util.h"

using namespace Vs4Image;
using namespace VsTest;

namespace {

// A true Gaussian of standard deviation (r + 1) / sqrt(2 ln 255) (it falls
// to 1/255 one pixel beyond the radius), the edge pixels repeated outwards,
// each byte of the pixel on its own; rows first or columns first give the
// same.
std::vector<double> Gaussian1D(const std::vector<double>& in, double radius) {
    const double s = (radius + 1) / std::sqrt(2 * std::log(255.0));
    const int n = int(in.size()), reach = int(std::ceil(6 * s));
    std::vector<double> out(in.size());
    for (int i = 0; i < n; ++i) {
        double sum = 0, weights = 0;
        for (int d = -reach; d <= reach; ++d) {
            const double w = std::exp(-d * d / (2 * s * s));
            sum += w * in[std::clamp(i + d, 0, n - 1)];
            weights += w;
        }
        out[i] = sum / weights;
    }
    return out;
}

void ExpectLikeTheGaussian(float hr, float vr, int tolerance) {
    CBaseImage image;
    const auto input = [](int x, int y) {
        return Pack((x * 37 + y * 11) % 256, x < 20 ? 250 : 3, (y * 9) % 256, (x * y * 7) % 256);
    };
    Fill(image, 40, 30, input);
    ASSERT_EQ(GaussianBlur(image, hr, vr), Ok);
    std::vector<std::vector<double>> plane(4, std::vector<double>(40 * 30));
    for (int c = 0; c < 4; ++c) {
        for (int y = 0; y < 30; ++y) {
            std::vector<double> row(40);
            for (int x = 0; x < 40; ++x)
                row[x] = input(x, y) >> (8 * c) & 255;
            row = Gaussian1D(row, hr);
            std::copy(row.begin(), row.end(), plane[c].begin() + y * 40);
        }
        for (int x = 0; x < 40; ++x) {
            std::vector<double> column(30);
            for (int y = 0; y < 30; ++y)
                column[y] = plane[c][y * 40 + x];
            column = Gaussian1D(column, vr);
            for (int y = 0; y < 30; ++y)
                plane[c][y * 40 + x] = column[y];
        }
    }
    const auto want = [&](int x, int y) {
        Argb p = 0;
        for (int c = 0; c < 4; ++c)
            p |= Argb(std::lround(plane[c][y * 40 + x])) << (8 * c);
        return p;
    };
    const std::string what = "radii " + std::to_string(hr) + " " + std::to_string(vr);
    EXPECT_LE(MaxError(image, want, tolerance, what), tolerance) << what;
}

}  // namespace

// The recursive filter follows the Gaussian closely, in single precision up
// to radius 32 and double beyond; radii are clamped to 1..256, NaN is 5.
TEST(GaussianBlur, MatchesTheGaussian) {
    ExpectLikeTheGaussian(1, 1, 2);
    ExpectLikeTheGaussian(3, 7, 2);
    ExpectLikeTheGaussian(12, 2, 2);
    ExpectLikeTheGaussian(40, 40, 2);

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
