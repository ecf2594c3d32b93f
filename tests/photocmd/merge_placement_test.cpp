#include <gtest/gtest.h>

#include "photocmd/merge_placement.h"

using namespace Vs4Command;

TEST(MergePlacement, AlignmentWordsOverrideThePosition) {
    const struct {
        const char *align, *valign;
        int width, height, overlayWidth, overlayHeight;
        int x, y;
    } cases[] = {
        {"", "", 400, 300, 101, 51, 7, 9},  // no words: (x, y) as asked
        {"RIGHT", "bottom", 400, 300, 101, 51, 299, 249},
        {"Center", "middle", 400, 300, 101, 51, 149, 124},  // 299 / 2
        // A larger overlay gives negative positions; halves truncate toward zero.
        {"center", "middle", 100, 100, 201, 103, -50, -1},
        {"left", "top", 400, 300, 101, 51, 0, 0},
        {" left", " top", 400, 300, 101, 51, 7, 9},  // not words the placement knows
    };
    for (const auto& c : cases) {
        MergeOp op;
        op.x = 7;
        op.y = 9;
        op.align = c.align;
        op.valign = c.valign;
        MergePosition p = PlaceMerge(op, c.width, c.height, c.overlayWidth, c.overlayHeight);
        EXPECT_EQ(p.x, c.x) << c.align;
        EXPECT_EQ(p.y, c.y) << c.valign;
    }
}
