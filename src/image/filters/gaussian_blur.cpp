#include "image/filters/gaussian_blur.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include "image/filters/deriche.h"

namespace Vs4Image {

using VsxImageFilter::DericheCoefficients;

namespace {

// Lines are filtered 16 at a time: 16 pixels of 4 bytes are 64 independent
// lanes, so each recursion step is a short loop the compiler vectorises.
constexpr int kLinePixels = 16;
constexpr int kLanes = kLinePixels * 4;
constexpr int kPrefetchRows = 16;

// Up to this radius single precision keeps a uniform image exactly uniform
// and stays within two output levels of the exact filter; above it the
// error grows (four levels of drift at 100, white at 256), so larger radii
// run in double precision (see deriche.h).
constexpr float kSinglePrecisionRadius = 32.0f;

// Work memory for one block of lines: the samples and the causal result.
template <typename T>
struct LineBlock {
    std::unique_ptr<T[]> in;
    std::unique_ptr<T[]> out;

    bool Reserve(int length) {
        const size_t n = static_cast<size_t>(length) * kLanes;
        in.reset(new (std::nothrow) T[n]);
        out.reset(new (std::nothrow) T[n]);
        return in && out;
    }
};

// Forward pass: P[k] = sum over i of (Ni in[k-i] - Di P[k-i]); samples before
// the start stand for in[0] through the edge terms.
template <typename T>
[[gnu::always_inline]] inline void Causal(const DericheCoefficients<T>& c, const T* in, T* p,
                                          int length) {
    for (int k = 0; k < length; ++k) {
        T* pk = p + k * kLanes;
        const T* xk = in + k * kLanes;
        for (int l = 0; l < kLanes; ++l)
            pk[l] = c.n[0] * xk[l];
        for (int i = 1; i < 5; ++i) {
            if (i <= k) {
                const T* xi = in + (k - i) * kLanes;
                const T* pi = p + (k - i) * kLanes;
                for (int l = 0; l < kLanes; ++l)
                    pk[l] += c.n[i] * xi[l] - c.d[i] * pi[l];
            } else {
                const T edge = c.n[i] - c.bn[i];
                for (int l = 0; l < kLanes; ++l)
                    pk[l] += edge * in[l];
            }
        }
    }
}

// Backward pass with the anti-causal numerator, the last sample standing for
// the pixels beyond the end; adds its result Q[k] onto P[k] in `sum`.
template <typename T>
[[gnu::always_inline]] inline void AntiCausal(const DericheCoefficients<T>& c, const T* in, T* sum,
                                              int length) {
    T ring[5][kLanes];  // Q[k] for the last five k, at k % 5
    const T* last = in + (length - 1) * kLanes;
    for (int k = length - 1; k >= 0; --k) {
        T* q = ring[k % 5];
        const T* xk = in + k * kLanes;
        for (int l = 0; l < kLanes; ++l)
            q[l] = c.m[0] * xk[l];
        for (int i = 1; i < 5; ++i) {
            if (k + i < length) {
                const T* xi = in + (k + i) * kLanes;
                const T* qi = ring[(k + i) % 5];
                for (int l = 0; l < kLanes; ++l)
                    q[l] += c.m[i] * xi[l] - c.d[i] * qi[l];
            } else {
                const T edge = c.m[i] - c.bm[i];
                for (int l = 0; l < kLanes; ++l)
                    q[l] += edge * last[l];
            }
        }
        T* s = sum + k * kLanes;
        for (int l = 0; l < kLanes; ++l)
            s[l] += q[l];
    }
}

// Both passes over a block, built for AVX2 and for the baseline and chosen
// at load time. Each lane does the same IEEE operations in the same order
// either way (no fused multiply-add), so the output does not depend on the
// processor.
[[gnu::target_clones("avx2", "default")]] void Recurse(const DericheCoefficients<float>& c,
                                                       const float* in, float* out, int length) {
    Causal(c, in, out, length);
    AntiCausal(c, in, out, length);
}

[[gnu::target_clones("avx2", "default")]] void Recurse(const DericheCoefficients<double>& c,
                                                       const double* in, double* out, int length) {
    Causal(c, in, out, length);
    AntiCausal(c, in, out, length);
}

// Clamps to 0..255 and truncates (NaN gives 0).
template <typename T>
uint8_t ToByte(T v) {
    v = v > 0 ? v : T(0);
    v = v < 255 ? v : T(255);
    return static_cast<uint8_t>(static_cast<int>(v));
}

// The column result, kept strip by strip: strip s holds columns 16s..16s+15
// of every row, 64 bytes per row, so the column pass writes and the row pass
// reads contiguous memory instead of one cache line per image row.
struct Strips {
    std::unique_ptr<uint8_t[]> data;
    int height = 0;

    bool Allocate(int width, int h) {
        const int64_t strips = (width + kLinePixels - 1) / kLinePixels;
        height = h;
        data.reset(new (std::nothrow) uint8_t[static_cast<size_t>(strips) * h * kLanes]);
        return data != nullptr;
    }
    uint8_t* row(int strip, int y) const {
        return data.get() + (static_cast<size_t>(strip) * height + y) * kLanes;
    }
};

// Strip `strip` of src (count columns wide), blurred down, into dst.
template <typename T>
void BlurColumns(const PixelView& src, const Strips& dst, int strip, int count,
                 const DericheCoefficients<T>& c, LineBlock<T>& b) {
    const int bytes = count * 4;
    for (int y = 0; y < src.height; ++y) {
        const uint8_t* s = src.row(y) + strip * kLanes;
        // Each row of the block lies on another page: ask for it early.
        if (y + kPrefetchRows < src.height)
            __builtin_prefetch(s + kPrefetchRows * src.stride);
        T* in = b.in.get() + y * kLanes;
        for (int l = 0; l < bytes; ++l)
            in[l] = s[l];
        for (int l = bytes; l < kLanes; ++l)
            in[l] = 0;
    }
    Recurse(c, b.in.get(), b.out.get(), src.height);
    for (int y = 0; y < src.height; ++y) {
        uint8_t* d = dst.row(strip, y);
        const T* out = b.out.get() + y * kLanes;
        for (int l = 0; l < bytes; ++l)
            d[l] = ToByte(out[l]);
    }
}

// Rows y0..y0+count-1 of the column result, blurred along, into dst. Row r
// of the block takes lanes 4r..4r+3 of every sample.
template <typename T>
void BlurRows(const Strips& src, const PixelView& dst, int y0, int count,
              const DericheCoefficients<T>& c, LineBlock<T>& b) {
    const int length = dst.width;
    if (count < kLinePixels)
        std::fill_n(b.in.get(), size_t{kLanes} * length, T(0));
    for (int x0 = 0, strip = 0; x0 < length; x0 += kLinePixels, ++strip) {
        const int pixels = std::min(kLinePixels, length - x0);
        for (int r = 0; r < count; ++r) {
            const uint8_t* s = src.row(strip, y0 + r);
            T* in = b.in.get() + x0 * kLanes + r * 4;
            for (int x = 0; x < pixels; ++x, s += 4, in += kLanes) {
                for (int ch = 0; ch < 4; ++ch)
                    in[ch] = s[ch];
            }
        }
    }
    Recurse(c, b.in.get(), b.out.get(), length);
    for (int r = 0; r < count; ++r) {
        uint8_t* d = dst.row(y0 + r);
        const T* out = b.out.get() + r * 4;
        for (int x = 0; x < length; ++x, d += 4, out += kLanes) {
            for (int ch = 0; ch < 4; ++ch)
                d[ch] = ToByte(out[ch]);
        }
    }
}

float ClampRadius(float r) {
    return std::isnan(r) ? 5.0f : std::clamp(r, 1.0f, 256.0f);
}

template <typename T>
Status Blur(const PixelView& view, const DericheCoefficients<T>& down,
            const DericheCoefficients<T>& along) {
    // The work buffer is as large as the image and obeys the same pixel limit.
    Strips columns;
    LineBlock<T> block;
    if (int64_t{view.width} * view.height > MaxImagePixels() ||
        !columns.Allocate(view.width, view.height) ||
        !block.Reserve(std::max(view.width, view.height)))
        return OutOfMemory;
    for (int x = 0, strip = 0; x < view.width; x += kLinePixels, ++strip)
        BlurColumns(view, columns, strip, std::min(kLinePixels, view.width - x), down, block);
    // The row pass reads the column result and writes the final pixels
    // straight back into the image.
    for (int y = 0; y < view.height; y += kLinePixels)
        BlurRows(columns, view, y, std::min(kLinePixels, view.height - y), along, block);
    return Ok;
}

}  // namespace

Status GaussianBlur(CBaseImage& image, float hradius, float vradius) {
    const PixelView view = image.view();
    if (view.empty())
        return InvalidParameter;
    hradius = ClampRadius(hradius);
    vradius = ClampRadius(vradius);
    if (std::max(hradius, vradius) <= kSinglePrecisionRadius) {
        return Blur(view, VsxImageFilter::DericheForRadius(vradius),
                    VsxImageFilter::DericheForRadius(hradius));
    }
    return Blur(view, VsxImageFilter::DericheForRadiusPrecise(vradius),
                VsxImageFilter::DericheForRadiusPrecise(hradius));
}

}  // namespace Vs4Image
