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

// Work memory for one block of lines: the samples and the causal result.
struct LineBlock {
    std::unique_ptr<float[]> in;
    std::unique_ptr<float[]> out;
    int capacity = 0;

    bool Reserve(int length) {
        const size_t n = static_cast<size_t>(length) * kLanes;
        in.reset(new (std::nothrow) float[n]);
        out.reset(new (std::nothrow) float[n]);
        capacity = length;
        return in && out;
    }
};

// Forward pass: P[k] = sum over i of (Ni in[k-i] - Di P[k-i]); samples before
// the start stand for in[0] through the edge terms.
void Causal(const DericheCoefficients& c, const float* in, float* p, int length) {
    for (int k = 0; k < length; ++k) {
        float* pk = p + k * kLanes;
        const float* xk = in + k * kLanes;
        for (int l = 0; l < kLanes; ++l) pk[l] = c.n[0] * xk[l];
        for (int i = 1; i < 5; ++i) {
            if (i <= k) {
                const float* xi = in + (k - i) * kLanes;
                const float* pi = p + (k - i) * kLanes;
                for (int l = 0; l < kLanes; ++l) pk[l] += c.n[i] * xi[l] - c.d[i] * pi[l];
            } else {
                const float edge = c.n[i] - c.bn[i];
                for (int l = 0; l < kLanes; ++l) pk[l] += edge * in[l];
            }
        }
    }
}

// Backward pass with the anti-causal numerator, the last sample standing for
// the pixels beyond the end; adds its result Q[k] onto P[k] in `sum`.
void AntiCausal(const DericheCoefficients& c, const float* in, float* sum, int length) {
    float ring[5][kLanes];  // Q[k] for the last five k, at k % 5
    const float* last = in + (length - 1) * kLanes;
    for (int k = length - 1; k >= 0; --k) {
        float* q = ring[k % 5];
        const float* xk = in + k * kLanes;
        for (int l = 0; l < kLanes; ++l) q[l] = c.m[0] * xk[l];
        for (int i = 1; i < 5; ++i) {
            if (k + i < length) {
                const float* xi = in + (k + i) * kLanes;
                const float* qi = ring[(k + i) % 5];
                for (int l = 0; l < kLanes; ++l) q[l] += c.m[i] * xi[l] - c.d[i] * qi[l];
            } else {
                const float edge = c.m[i] - c.bm[i];
                for (int l = 0; l < kLanes; ++l) q[l] += edge * last[l];
            }
        }
        float* s = sum + k * kLanes;
        for (int l = 0; l < kLanes; ++l) s[l] += q[l];
    }
}

uint8_t ToByte(float v) {
    if (!(v > 0.0f)) return 0;
    if (v >= 255.0f) return 255;
    return static_cast<uint8_t>(v);
}

// Columns x0..x0+count-1 of src, blurred down, into dst.
void BlurColumns(const PixelView& src, const PixelView& dst, int x0, int count,
                 const DericheCoefficients& c, LineBlock& b) {
    const int bytes = count * 4;
    for (int y = 0; y < src.height; ++y) {
        const uint8_t* s = src.row(y) + x0 * 4;
        float* in = b.in.get() + y * kLanes;
        for (int l = 0; l < kLanes; ++l) in[l] = l < bytes ? s[l] : 0.0f;
    }
    Causal(c, b.in.get(), b.out.get(), src.height);
    AntiCausal(c, b.in.get(), b.out.get(), src.height);
    for (int y = 0; y < src.height; ++y) {
        uint8_t* d = dst.row(y) + x0 * 4;
        const float* out = b.out.get() + y * kLanes;
        for (int l = 0; l < bytes; ++l) d[l] = ToByte(out[l]);
    }
}

// Rows y0..y0+count-1 of src, blurred along, into dst.
void BlurRows(const PixelView& src, const PixelView& dst, int y0, int count,
              const DericheCoefficients& c, LineBlock& b) {
    for (int x = 0; x < src.width; ++x) {
        float* in = b.in.get() + x * kLanes;
        for (int r = 0; r < kLinePixels; ++r) {
            const uint8_t* s = r < count ? src.pixel(x, y0 + r) : nullptr;
            for (int ch = 0; ch < 4; ++ch) in[r * 4 + ch] = s ? s[ch] : 0.0f;
        }
    }
    Causal(c, b.in.get(), b.out.get(), src.width);
    AntiCausal(c, b.in.get(), b.out.get(), src.width);
    for (int x = 0; x < src.width; ++x) {
        const float* out = b.out.get() + x * kLanes;
        for (int r = 0; r < count; ++r) {
            uint8_t* d = dst.pixel(x, y0 + r);
            for (int ch = 0; ch < 4; ++ch) d[ch] = ToByte(out[r * 4 + ch]);
        }
    }
}

float ClampRadius(float r) { return std::isnan(r) ? 5.0f : std::clamp(r, 1.0f, 256.0f); }

}  // namespace

Status GaussianBlur(CBaseImage& image, float hradius, float vradius) {
    const PixelView view = image.view();
    if (view.empty()) return InvalidParameter;
    std::unique_ptr<Bitmap> work = Bitmap::Create(view.width, view.height);
    LineBlock block;
    if (!work || !block.Reserve(std::max(view.width, view.height))) return OutOfMemory;

    const DericheCoefficients down = VsxImageFilter::DericheForRadius(ClampRadius(vradius));
    const DericheCoefficients along = VsxImageFilter::DericheForRadius(ClampRadius(hradius));
    const PixelView columns = work->view();
    for (int x = 0; x < view.width; x += kLinePixels)
        BlurColumns(view, columns, x, std::min(kLinePixels, view.width - x), down, block);
    // The row pass reads the column result and writes the final pixels
    // straight back into the image.
    for (int y = 0; y < view.height; y += kLinePixels)
        BlurRows(columns, view, y, std::min(kLinePixels, view.height - y), along, block);
    return Ok;
}

}  // namespace Vs4Image
