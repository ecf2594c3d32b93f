// Square convolution kernels over red, green and blue (alpha is kept).
#pragma once

#include <vector>

#include "image/pixel_view.h"

namespace VsxImageFilter {

class CSpatialFilter {
public:
    virtual ~CSpatialFilter();
    CSpatialFilter(const CSpatialFilter&) = delete;
    CSpatialFilter& operator=(const CSpatialFilter&) = delete;

    // Replaces every pixel by the kernel-weighted sum of its neighbourhood
    // divided by min(divisor, size * size). Neighbours outside the image add
    // nothing and do not reduce the divisor. Returns 1 when done, 0 when not
    // (status() then holds why; the pixels are unchanged).
    int Convolve(const Vs4Image::PixelView& view);

    int size() const { return size_; }
    int divisor() const { return divisor_; }
    const std::vector<int>& kernel() const { return kernel_; }
    // Status of the last Convolve: 0, InvalidParameter for an empty view,
    // OutOfMemory when the work buffer could not be had.
    int status() const { return status_; }

protected:
    // A size x size kernel of zeros; subclasses fill it.
    CSpatialFilter(int size, int divisor);

    int size_;
    int divisor_;
    std::vector<int> kernel_;  // size * size weights, row by row
    int status_ = 0;
};

}  // namespace VsxImageFilter
