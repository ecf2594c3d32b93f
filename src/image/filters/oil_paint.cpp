#include "image/filters/oil_paint.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace Vs4Image {

namespace {

constexpr int kBuckets = 101;

// Brightness 0..100 of an opaque-enough pixel (bytes blue, green, red).
int Bucket(const uint8_t* p) {
    return static_cast<int>((0.3 * p[2] + 0.59 * p[1] + 0.11 * p[0]) * 0.39215686274509803);
}

// Counts and colour sums per brightness over the current window; the window
// slides along a row by adding the column that enters and removing the one
// that leaves, which gives the same sums as counting the window afresh.
struct Histogram {
    int count[kBuckets];
    int sum[kBuckets][3];  // red, green, blue

    void Clear() { memset(this, 0, sizeof(*this)); }

    void AddColumn(const PixelView& v, int x, int y0, int y1, int sign) {
        for (int y = y0; y <= y1; ++y) {
            const uint8_t* p = v.pixel(x, y);
            if (p[3] == 0) continue;
            const int k = Bucket(p);
            count[k] += sign;
            sum[k][0] += sign * p[2];
            sum[k][1] += sign * p[1];
            sum[k][2] += sign * p[0];
        }
    }

    // The darkest of the most common buckets; white when the window holds
    // only transparent pixels.
    void Paint(uint8_t* out) const {
        int best = 0;
        for (int k = 1; k < kBuckets; ++k) {
            if (count[k] > count[best]) best = k;
        }
        const int n = count[best];
        out[2] = n ? static_cast<uint8_t>(sum[best][0] / n) : 255;
        out[1] = n ? static_cast<uint8_t>(sum[best][1] / n) : 255;
        out[0] = n ? static_cast<uint8_t>(sum[best][2] / n) : 255;
    }
};

void PaintRow(const PixelView& v, int y, int r, Histogram& h, uint8_t* outRow) {
    const int y0 = std::max(y - r, 0);
    const int y1 = std::min(y + r, v.height - 1);
    h.Clear();
    for (int i = 0; i <= std::min(r, v.width - 1); ++i) h.AddColumn(v, i, y0, y1, 1);
    for (int x = 0; x < v.width; ++x) {
        if (x > 0) {
            if (x - r - 1 >= 0) h.AddColumn(v, x - r - 1, y0, y1, -1);
            if (x + r < v.width) h.AddColumn(v, x + r, y0, y1, 1);
        }
        uint8_t* out = outRow + x * 4;
        h.Paint(out);
        out[3] = v.pixel(x, y)[3];
    }
}

}  // namespace

Status OilPaint(CBaseImage& image, int radius) {
    const PixelView view = image.view();
    if (view.empty()) return InvalidParameter;
    radius = std::clamp(radius, 2, 8);
    std::unique_ptr<Bitmap> work = Bitmap::Create(view.width, view.height);
    if (!work) return InsufficientBuffer;
    const PixelView out = work->view();
    Histogram histogram;
    for (int y = 0; y < view.height; ++y) PaintRow(view, y, radius, histogram, out.row(y));
    for (int y = 0; y < view.height; ++y) memcpy(view.row(y), out.row(y), view.width * 4u);
    return Ok;
}

}  // namespace Vs4Image
