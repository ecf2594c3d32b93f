#include "image/filters/noise.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "image/blend/source_over.h"
#include "image/random.h"

namespace Vs4Image {

Status Noise(CBaseImage& image, int amount) {
    const PixelView view = image.view();
    if (view.empty()) return InvalidParameter;
    amount = std::clamp(amount, 0, 300);
    // Dot alphas are drawn modulo n; with n = 0 there are no dots to draw.
    const int n = amount * 256 / 100;
    if (n == 0) return Ok;
    std::unique_ptr<Bitmap> dots = Bitmap::Create(view.width, view.height);
    if (!dots) return OutOfMemory;
    const PixelView d = dots->view();
    for (int y = 0; y < view.height; ++y) {
        const uint8_t* s = view.row(y);
        uint8_t* p = d.row(y);
        for (int x = 0; x < view.width; ++x, s += 4, p += 4) {
            if (s[3] == 0) {
                memset(p, 0, 4);
                continue;
            }
            const int alpha = ThreadRandom() % n;
            p[2] = static_cast<uint8_t>(ThreadRandom() & 255);
            p[1] = static_cast<uint8_t>(ThreadRandom() & 255);
            p[0] = static_cast<uint8_t>(ThreadRandom() & 255);
            p[3] = static_cast<uint8_t>(std::min(alpha, 255));
        }
    }
    CompositeOver(view, d, 0, 0, 255);
    return Ok;
}

}  // namespace Vs4Image
