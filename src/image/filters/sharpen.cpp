#include "image/filters/sharpen.h"

#include <algorithm>

namespace VsxImageFilter {

CSpatialSharpen::CSpatialSharpen(int weight) : CSpatialFilter(3, 7) {
    std::fill(kernel_.begin(), kernel_.end(), -1);
    kernel_[4] = std::clamp(weight, 1, 5) + 14;
}

}  // namespace VsxImageFilter

namespace Vs4Image {

Status Sharpen(CBaseImage& image, int weight) {
    VsxImageFilter::CSpatialSharpen filter(weight);
    return filter.Convolve(image.view()) ? Ok : static_cast<Status>(filter.status());
}

}  // namespace Vs4Image
