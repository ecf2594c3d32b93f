#include "image/filters/spatial_filter.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "image/bitmap.h"
#include "image/status.h"

namespace VsxImageFilter {

using Vs4Image::PixelView;

namespace {

struct KernelInfo {
    const int* weights;
    int size;
    int divisor;
};

uint8_t Finish(int sum, int divisor) { return static_cast<uint8_t>(std::clamp(sum / divisor, 0, 255)); }

// One output pixel with every neighbour checked against the image edges.
void ConvolveChecked(const PixelView& src, int x, int y, const KernelInfo& k, uint8_t* out) {
    const int half = k.size / 2;
    int sum[3] = {0, 0, 0};
    for (int j = 0; j < k.size; ++j) {
        const int sy = y + j - half;
        if (sy < 0 || sy >= src.height) continue;
        for (int i = 0; i < k.size; ++i) {
            const int sx = x + i - half;
            if (sx < 0 || sx >= src.width) continue;
            const uint8_t* p = src.pixel(sx, sy);
            const int w = k.weights[j * k.size + i];
            sum[0] += p[0] * w;
            sum[1] += p[1] * w;
            sum[2] += p[2] * w;
        }
    }
    for (int c = 0; c < 3; ++c) out[c] = Finish(sum[c], k.divisor);
    out[3] = src.pixel(x, y)[3];
}

// Pixels x0..x1-1 of an interior row, where the whole window lies inside.
template <int N>
void ConvolveInterior(const PixelView& src, int y, int x0, int x1, const KernelInfo& k,
                      uint8_t* outRow) {
    constexpr int half = N / 2;
    for (int x = x0; x < x1; ++x) {
        int sum[3] = {0, 0, 0};
        for (int j = 0; j < N; ++j) {
            const uint8_t* p = src.pixel(x - half, y + j - half);
            const int* w = k.weights + j * N;
            for (int i = 0; i < N; ++i, p += 4) {
                sum[0] += p[0] * w[i];
                sum[1] += p[1] * w[i];
                sum[2] += p[2] * w[i];
            }
        }
        uint8_t* out = outRow + x * 4;
        for (int c = 0; c < 3; ++c) out[c] = Finish(sum[c], k.divisor);
        out[3] = src.pixel(x, y)[3];
    }
}

void ConvolveRow(const PixelView& src, int y, const KernelInfo& k, uint8_t* outRow) {
    const int half = k.size / 2;
    const bool rowInside = y >= half && y < src.height - half;
    const int x0 = rowInside ? std::min(half, src.width) : src.width;
    const int x1 = rowInside ? std::max(x0, src.width - half) : src.width;
    for (int x = 0; x < x0; ++x) ConvolveChecked(src, x, y, k, outRow + x * 4);
    if (k.size == 3) ConvolveInterior<3>(src, y, x0, x1, k, outRow);
    if (k.size == 5) ConvolveInterior<5>(src, y, x0, x1, k, outRow);
    if (k.size == 7) ConvolveInterior<7>(src, y, x0, x1, k, outRow);
    for (int x = x1; x < src.width; ++x) ConvolveChecked(src, x, y, k, outRow + x * 4);
}

}  // namespace

CSpatialFilter::CSpatialFilter(int size, int divisor)
    : size_(size), divisor_(divisor), kernel_(static_cast<size_t>(size) * size, 0) {}

CSpatialFilter::~CSpatialFilter() = default;

int CSpatialFilter::Convolve(const PixelView& view) {
    if (view.empty() || (size_ != 3 && size_ != 5 && size_ != 7)) {
        status_ = Vs4Image::InvalidParameter;
        return 0;
    }
    std::unique_ptr<Vs4Image::Bitmap> work = Vs4Image::Bitmap::Create(view.width, view.height);
    if (!work) {
        status_ = Vs4Image::OutOfMemory;
        return 0;
    }
    const KernelInfo k{kernel_.data(), size_, std::max(1, std::min(divisor_, size_ * size_))};
    const PixelView out = work->view();
    for (int y = 0; y < view.height; ++y) ConvolveRow(view, y, k, out.row(y));
    for (int y = 0; y < view.height; ++y) memcpy(view.row(y), out.row(y), view.width * 4u);
    status_ = Vs4Image::Ok;
    return 1;
}

}  // namespace VsxImageFilter
