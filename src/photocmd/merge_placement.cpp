#include "photocmd/merge_placement.h"

#include "platform/text.h"

namespace Vs4Command {

using Vs5Platform::EqualsNoCase;

MergePosition PlaceMerge(const MergeOp& op, int32_t targetWidth, int32_t targetHeight,
                         int32_t overlayWidth, int32_t overlayHeight) {
    MergePosition p{op.x, op.y};
    int64_t dx = int64_t{targetWidth} - overlayWidth;
    int64_t dy = int64_t{targetHeight} - overlayHeight;
    if (EqualsNoCase(op.align, "left"))
        p.x = 0;
    else if (EqualsNoCase(op.align, "right"))
        p.x = static_cast<int32_t>(dx);
    else if (EqualsNoCase(op.align, "center"))
        p.x = static_cast<int32_t>(dx / 2);
    if (EqualsNoCase(op.valign, "top"))
        p.y = 0;
    else if (EqualsNoCase(op.valign, "bottom"))
        p.y = static_cast<int32_t>(dy);
    else if (EqualsNoCase(op.valign, "middle"))
        p.y = static_cast<int32_t>(dy / 2);
    return p;
}

}  // namespace Vs4Command
