// The resampler against a double-precision reference of its method: every
// interpolation mode, enlarging and shrinking, translucent pixels included.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "image/resample.h"
#include "image_test_util.h"

using namespace Vs4Image;
using namespace VsTest;

namespace {

// Pixels as premultiplied doubles: colour x alpha, alpha x 255.
struct Plane {
    int w = 0, h = 0;
    std::vector<double> v;  // r, g, b, a per pixel
    double* at(int x, int y) { return &v[(size_t(y) * w + x) * 4]; }
};

// Blocks of fx x fy pixels averaged (colours by alpha), rounded to bytes.
void BoxAverage(const CBaseImage& image, int fx, int fy, CBaseImage& out) {
    const int w = (image.width() + fx - 1) / fx, h = (image.height() + fy - 1) / fy;
    Fill(out, w, h, [&](int bx, int by) {
        double s[4] = {0, 0, 0, 0};
        int n = 0;
        for (int y = by * fy; y < std::min(by * fy + fy, image.height()); ++y)
            for (int x = bx * fx; x < std::min(bx * fx + fx, image.width()); ++x, ++n) {
                const Argb c = At(image, x, y);
                s[0] += Red(c) * Alpha(c), s[1] += Green(c) * Alpha(c), s[2] += Blue(c) * Alpha(c);
                s[3] += Alpha(c);
            }
        if (s[3] == 0)
            return Argb(0);
        auto r = [](double v) { return int(std::floor(v + 0.5)); };
        return Pack(r(s[3] / n), r(s[0] / s[3]), r(s[1] / s[3]), r(s[2] / s[3]));
    });
}

double Kernel(bool cubic, double t) {
    t = std::fabs(t);
    if (!cubic)
        return t < 1 ? 1 - t : 0;
    // Catmull-Rom: the cubic convolution with a = -0.5.
    if (t < 1)
        return 1.5 * t * t * t - 2.5 * t * t + 1;
    return t < 2 ? -0.5 * t * t * t + 2.5 * t * t - 4 * t + 2 : 0;
}

// One pass along x (or y when `vertical`): sample centres at half pixels,
// taps beyond the edges mirrored, weights normalised; alpha clamped to its
// range and colours to the alpha after each pass.
Plane Pass(Plane& in, int outLength, bool vertical, bool cubic, bool widen) {
    const int n = vertical ? in.h : in.w;
    Plane out{vertical ? in.w : outLength, vertical ? outLength : in.h, {}};
    out.v.assign(size_t(out.w) * out.h * 4, 0);
    const double scale = double(n) / outLength, stretch = widen && scale > 1 ? scale : 1;
    const double support = (cubic ? 2 : 1) * stretch;
    for (int i = 0; i < outLength; ++i) {
        const double centre = (i + 0.5) * scale - 0.5;
        std::vector<std::pair<int, double>> taps;
        double sum = 0;
        for (int j = int(std::floor(centre - support)); j <= int(std::ceil(centre + support));
             ++j) {
            const double w = Kernel(cubic, (j - centre) / stretch);
            int m = ((j % (2 * n)) + 2 * n) % (2 * n);
            taps.push_back({m < n ? m : 2 * n - 1 - m, w});
            sum += w;
        }
        for (int k = 0; k < (vertical ? in.w : in.h); ++k) {
            double* o = vertical ? out.at(k, i) : out.at(i, k);
            for (auto [j, w] : taps) {
                const double* p = vertical ? in.at(k, j) : in.at(j, k);
                for (int c = 0; c < 4; ++c)
                    o[c] += p[c] * w / sum;
            }
            o[3] = std::clamp(o[3], 0.0, 65025.0);
            for (int c = 0; c < 3; ++c)
                o[c] = std::clamp(o[c], 0.0, o[3]);
        }
    }
    return out;
}

// The whole resize by mode: 5 nearest, 1 and 3 triangle, 0 and 4 cubic; 6
// and 2, 7 widened (after a box average of half the reduction when that is 2
// or more).
void Reference(const CBaseImage& source, int w, int h, uint32_t mode, CBaseImage& out) {
    if (mode == 5) {  // the pixel under each sample centre
        Fill(out, w, h, [&](int x, int y) {
            return At(source, int((x + 0.5) * source.width() / w),
                      int((y + 0.5) * source.height() / h));
        });
        return;
    }
    const bool cubic = mode != 1 && mode != 3 && mode != 6;
    const bool widen = mode == 2 || mode == 6 || mode == 7;
    const int bx = widen ? source.width() / w / 2 : 1, by = widen ? source.height() / h / 2 : 1;
    CBaseImage box;
    if (bx >= 2 || by >= 2)
        BoxAverage(source, std::max(bx, 1), std::max(by, 1), box);
    const CBaseImage& in = bx >= 2 || by >= 2 ? box : source;
    Plane p{in.width(), in.height(), {}};
    for (int y = 0; y < p.h; ++y)
        for (int x = 0; x < p.w; ++x) {
            const Argb c = At(in, x, y);
            const double a = Alpha(c);
            p.v.insert(p.v.end(), {Red(c) * a, Green(c) * a, Blue(c) * a, a * 255.0});
        }
    Plane across = Pass(p, w, false, cubic, widen);
    Plane done = Pass(across, h, true, cubic, widen);
    Fill(out, w, h, [&](int x, int y) {
        const double* q = done.at(x, y);
        if (q[3] < 1)
            return Argb(0);
        auto r = [](double v) { return int(std::floor(v + 0.5)); };
        return Pack(r(q[3] / 255), r(q[0] * 255 / q[3]), r(q[1] * 255 / q[3]),
                    r(q[2] * 255 / q[3]));
    });
}

// Distinct channels near 0, 128 and 255, with alphas from opaque to clear
// (the clear pixels carry a colour that must not bleed).
void MakeSource(CBaseImage& image, int w, int h) {
    const int values[] = {0, 2, 127, 128, 130, 253, 255, 40, 200};
    const int alphas[] = {255, 255, 200, 128, 255, 3, 0};
    Fill(image, w, h, [&](int x, int y) {
        return Pack(alphas[(x * 3 + y * 5) % 7], values[(x + y) % 9], values[(x * 2 + 1) % 9],
                    values[(y * 4 + x) % 9]);
    });
}

}  // namespace

TEST(Resample, EveryModeMatchesTheReference) {
    const std::array<int, 4> sizes[] = {
        {13, 9, 31, 20}, {40, 30, 17, 13}, {40, 9, 40, 9}, {12, 30, 29, 11}, {97, 61, 11, 7}};
    for (uint32_t mode : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u})
        for (const auto& [sw, sh, w, h] : sizes) {
            CBaseImage image, want;
            MakeSource(image, sw, sh);
            Reference(image, w, h, mode, want);
            ASSERT_EQ(image.Resize(w, h, mode, false), Ok);
            const std::string what = "mode " + std::to_string(mode) + " to " + std::to_string(w) +
                                     "x" + std::to_string(h);
            // The colour of a nearly clear pixel has almost no precision
            // left: there only its alpha counts.
            const auto visible = [&](int x, int y) {
                const Argb c = At(want, x, y);
                return Alpha(c) < 4 ? (c & 0xFF000000) | (At(image, x, y) & 0xFFFFFF) : c;
            };
            EXPECT_LE(MaxError(image, visible, 1, what), 1) << what;
        }
}

// A window of the virtual result is the same area of the reference.
TEST(Resample, AWindowIsThatPartOfTheResult) {
    CBaseImage source;
    MakeSource(source, 64, 48);
    for (uint32_t mode : {3u, 7u}) {
        CBaseImage whole, window;
        Reference(source, 100, 80, mode, whole);
        ASSERT_EQ(window.CreateBlank(30, 20, 0), Ok);
        ASSERT_EQ(ResampleWindow(source.view(), 100, 80, 40, 50, window.view(), mode), Ok);
        MaxError(
            window, [&](int x, int y) { return At(whole, 40 + x, 50 + y); }, 1, "window");
    }
}

// Stretching 64 x 8000 to 8000 x 64 (a kernel not widened) once kept 8000
// filtered rows of 8000 pixels, half a gigabyte; the work memory must not
// grow with the rows spanned. A child process has a peak of its own.
TEST(Resample, WorkMemoryDoesNotGrowWithTheRowsSpanned) {
    CBaseImage image;
    MakePattern(image, 64, 8000, true);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        rusage before{}, after{};
        getrusage(RUSAGE_SELF, &before);
        const bool ok = image.Resize(8000, 64, 3, false) == Ok && image.width() == 8000;
        getrusage(RUSAGE_SELF, &after);
        // ru_maxrss is in kilobytes: allow 64 MB over the result's 2 MB.
        _exit(ok && after.ru_maxrss - before.ru_maxrss < 64 * 1024 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}
