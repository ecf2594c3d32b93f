// Crop and AutoCrop. Both work out the area first and only ever copy pixels
// that lie inside the bitmap.
#include <algorithm>
#include <cstring>
#include <memory>

#include "image/base_image.h"
#include "image/bitmap_area.h"
#include "image/blend/source_over.h"

namespace Vs4Image {

Status CBaseImage::Crop(int x, int y, int width, int height, Argb background) {
    if (!HasBitmap())
        return WrongState;
    const int64_t W = this->width(), H = this->height();
    const int64_t x0 = std::max<int64_t>(x, 0), y0 = std::max<int64_t>(y, 0);
    const int64_t x1 = std::min<int64_t>(static_cast<int64_t>(x) + width, W);
    const int64_t y1 = std::min<int64_t>(static_cast<int64_t>(y) + height, H);
    if (x1 <= x0 || y1 <= y0)
        return InvalidParameter;
    std::unique_ptr<Bitmap> inside;
    if (Status s = CloneBitmapArea(*bitmap(), static_cast<int>(x0), static_cast<int>(y0),
                                   static_cast<int>(x1 - x0), static_cast<int>(y1 - y0), inside);
        s != Ok)
        return s;
    const bool whollyInside = x >= 0 && y >= 0 && static_cast<int64_t>(x) + width <= W &&
                              static_cast<int64_t>(y) + height <= H;
    if (whollyInside) {
        ReplaceBitmap(std::move(inside));
        return Ok;
    }
    std::unique_ptr<Bitmap> canvas = Bitmap::Create(width, height);
    if (!canvas)
        return OutOfMemory;
    const int at[2] = {static_cast<int>(x0 - x), static_cast<int>(y0 - y)};
    if ((background >> 24) == 0) {
        // A transparent background: the outside stays all zero and the
        // inside is a plain copy.
        FillView(canvas->view(), 0);
        CopyView(inside->view(), canvas->view(), at[0], at[1]);
    } else {
        // The inside is drawn over the background at whole pixels, pixel by
        // pixel, so that images of any size work.
        FillView(canvas->view(), background);
        CompositeOver(canvas->view(), inside->view(), at[0], at[1], 255);
    }
    ReplaceBitmap(std::move(canvas));
    return Ok;
}

namespace {

inline uint32_t PixelAt(const PixelView& v, int x, int y) {
    uint32_t p;
    memcpy(&p, v.pixel(x, y), 4);
    return p;
}

bool RowDiffers(const PixelView& v, int y, uint32_t background) {
    for (int x = 0; x < v.width; ++x)
        if (PixelAt(v, x, y) != background)
            return true;
    return false;
}

bool ColumnDiffers(const PixelView& v, int x, uint32_t background) {
    for (int y = 0; y < v.height; ++y)
        if (PixelAt(v, x, y) != background)
            return true;
    return false;
}

}  // namespace

Status CBaseImage::AutoCrop(Argb background, uint32_t marginLeft, uint32_t marginTop,
                            uint32_t marginRight, uint32_t marginBottom) {
    if (!HasBitmap())
        return WrongState;
    const PixelView v = view();
    const int W = v.width, H = v.height;
    int top = H - 1, bottom = 0, left = W - 1, right = 0;
    for (int y = 0; y < H; ++y)
        if (RowDiffers(v, y, background)) {
            top = y;
            break;
        }
    for (int y = H - 1; y >= 0; --y)
        if (RowDiffers(v, y, background)) {
            bottom = y;
            break;
        }
    for (int x = 0; x < W; ++x)
        if (ColumnDiffers(v, x, background)) {
            left = x;
            break;
        }
    for (int x = W - 1; x >= 0; --x)
        if (ColumnDiffers(v, x, background)) {
            right = x;
            break;
        }
    const int64_t x0 = std::max<int64_t>(int64_t(left) - marginLeft, 0);
    const int64_t y0 = std::max<int64_t>(int64_t(top) - marginTop, 0);
    const int64_t x2 = std::min<int64_t>(int64_t(right) + marginRight, W - 1);
    const int64_t y2 = std::min<int64_t>(int64_t(bottom) + marginBottom, H - 1);
    if (x2 < x0 || y2 < y0)
        return InvalidParameter;
    std::unique_ptr<Bitmap> result;
    if (Status s =
            CloneBitmapArea(*bitmap(), static_cast<int>(x0), static_cast<int>(y0),
                            static_cast<int>(x2 - x0 + 1), static_cast<int>(y2 - y0 + 1), result);
        s != Ok)
        return s;
    ReplaceBitmap(std::move(result));
    return Ok;
}

}  // namespace Vs4Image
