#include "image/filters/jitter.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "image/random.h"

namespace Vs4Image {

namespace {

// A draw 0..32767 turned into an offset -radius..radius, truncated toward zero.
int Offset(int draw, int radius) {
    return static_cast<int>((draw / 32767.0 - 0.5) * 2 * radius);
}

}  // namespace

Status Jitter(CBaseImage& image, int radius) {
    const PixelView view = image.view();
    if (view.empty()) return InvalidParameter;
    radius = std::clamp(radius, 2, 32);
    std::unique_ptr<Bitmap> work = Bitmap::Create(view.width, view.height);
    if (!work) return OutOfMemory;
    const PixelView out = work->view();
    for (int y = 0; y < view.height; ++y) {
        uint8_t* d = out.row(y);
        for (int x = 0; x < view.width; ++x, d += 4) {
            const int a = ThreadRandom();
            const int b = ThreadRandom();
            const int nx = x + Offset(a, radius);
            const int ny = y + Offset(b, radius);
            const bool inside = nx >= 0 && nx < view.width && ny >= 0 && ny < view.height;
            memcpy(d, inside ? view.pixel(nx, ny) : view.pixel(x, y), 4);
        }
    }
    for (int y = 0; y < view.height; ++y) memcpy(view.row(y), out.row(y), view.width * 4u);
    return Ok;
}

}  // namespace Vs4Image
