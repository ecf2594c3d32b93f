#include "image/filters/smoothing.h"

#include <algorithm>

namespace VsxImageFilter {

namespace {
int WindowFor(int weight) { return weight == 1 ? 3 : weight == 2 ? 5 : 7; }
}  // namespace

CSpatialSmoothing::CSpatialSmoothing(int weight)
    : CSpatialFilter(WindowFor(weight), WindowFor(weight) * WindowFor(weight)) {
    std::fill(kernel_.begin(), kernel_.end(), 1);
}

}  // namespace VsxImageFilter

namespace Vs4Image {

Status Smooth(CBaseImage& image, int weight) {
    VsxImageFilter::CSpatialSmoothing filter(weight);
    return filter.Convolve(image.view()) ? Ok : static_cast<Status>(filter.status());
}

}  // namespace Vs4Image
