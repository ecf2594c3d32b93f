// Interpolation modes as the protocol numbers them (0..7).
#pragma once

#include <cstdint>

namespace Vs4Image {

enum InterpolationMode : uint32_t {
    kInterpolationDefault = 0,
    kInterpolationLowQuality = 1,
    kInterpolationHighQuality = 2,
    kInterpolationBilinear = 3,
    kInterpolationBicubic = 4,
    kInterpolationNearestNeighbor = 5,
    kInterpolationHighQualityBilinear = 6,
    kInterpolationHighQualityBicubic = 7,
};

// Clamps a requested mode to 0..7.
inline uint32_t ClampInterpolationMode(uint32_t mode) {
    return mode > 7 ? 7 : mode;
}

}  // namespace Vs4Image
