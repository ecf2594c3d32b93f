#include "image/bitmap_area.h"

#include <algorithm>
#include <cstring>

namespace Vs4Image {

Status CloneBitmapArea(const Bitmap& source, int x, int y, int width, int height,
                       std::unique_ptr<Bitmap>& out) {
    if (width <= 0 || height <= 0 || x < 0 || y < 0 ||
        static_cast<int64_t>(x) + width > source.width() ||
        static_cast<int64_t>(y) + height > source.height())
        return InvalidParameter;
    std::unique_ptr<Bitmap> copy = Bitmap::Create(width, height);
    if (!copy)
        return OutOfMemory;
    const PixelView from = source.view();
    const PixelView to = copy->view();
    for (int row = 0; row < height; ++row)
        memcpy(to.row(row), from.pixel(x, y + row), static_cast<size_t>(width) * 4);
    out = std::move(copy);
    return Ok;
}

void FillView(const PixelView& view, Argb colour) {
    for (int y = 0; y < view.height; ++y) {
        auto* p = reinterpret_cast<uint32_t*>(view.row(y));
        std::fill(p, p + view.width, static_cast<uint32_t>(colour));
    }
}

void CopyView(const PixelView& source, const PixelView& target, int x, int y) {
    const int64_t x0 = std::max<int64_t>(x, 0), y0 = std::max<int64_t>(y, 0);
    const int64_t x1 = std::min<int64_t>(static_cast<int64_t>(x) + source.width, target.width);
    const int64_t y1 = std::min<int64_t>(static_cast<int64_t>(y) + source.height, target.height);
    if (x1 <= x0 || y1 <= y0)
        return;
    for (int64_t row = y0; row < y1; ++row)
        memcpy(target.pixel(static_cast<int>(x0), static_cast<int>(row)),
               source.pixel(static_cast<int>(x0 - x), static_cast<int>(row - y)),
               static_cast<size_t>(x1 - x0) * 4);
}

}  // namespace Vs4Image
