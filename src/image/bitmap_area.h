// Whole-pixel helpers on bitmaps shared by the geometric operations.
#pragma once

#include <memory>

#include "image/bitmap.h"
#include "image/status.h"

namespace Vs4Image {

// A copy of the area (x, y, width, height), which must lie inside `source`:
// InvalidParameter for an empty area or one that leaves the bitmap,
// OutOfMemory when the copy cannot be made.
Status CloneBitmapArea(const Bitmap& source, int x, int y, int width, int height,
                       std::unique_ptr<Bitmap>& out);

// Sets every pixel of `view` to `colour`, alpha included.
void FillView(const PixelView& view, Argb colour);

// Copies `source` into `target` at (x, y); the parts that fall outside
// `target` are left out.
void CopyView(const PixelView& source, const PixelView& target, int x, int y);

}  // namespace Vs4Image
