// Where a merge draws its overlay. Both executors place it the same way.
#pragma once

#include <cstdint>

#include "photocmd/operations.h"

namespace Vs4Command {

struct MergePosition {
    int32_t x = 0;
    int32_t y = 0;
};

// "left", "right" and "center" set x, "top", "bottom" and "middle" set y
// (any case); otherwise the op's own x and y stay. Halves truncate toward zero.
MergePosition PlaceMerge(const MergeOp& op, int32_t targetWidth, int32_t targetHeight,
                         int32_t overlayWidth, int32_t overlayHeight);

}  // namespace Vs4Command
