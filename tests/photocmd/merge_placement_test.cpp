#include <gtest/gtest.h>

#include "photocmd/merge_placement.h"

using namespace Vs4Command;

TEST(MergePlacement, AlignmentWordsOverrideThePosition) {
    MergeOp op;
    op.x = 7;
    op.y = 9;
    MergePosition p = PlaceMerge(op, 400, 300, 101, 51);
    EXPECT_EQ(p.x, 7);
    EXPECT_EQ(p.y, 9);

    op.align = "RIGHT";
    op.valign = "bottom";
    p = PlaceMerge(op, 400, 300, 101, 51);
    EXPECT_EQ(p.x, 299);
    EXPECT_EQ(p.y, 249);

    op.align = "Center";
    op.valign = "middle";
    p = PlaceMerge(op, 400, 300, 101, 51);
    EXPECT_EQ(p.x, 149);  // 299 / 2
    EXPECT_EQ(p.y, 124);
    // A larger overlay gives negative positions; halves truncate toward zero.
    p = PlaceMerge(op, 100, 100, 201, 103);
    EXPECT_EQ(p.x, -50);
    EXPECT_EQ(p.y, -1);

    op.align = "left";
    op.valign = "top";
    p = PlaceMerge(op, 400, 300, 101, 51);
    EXPECT_EQ(p.x, 0);
    EXPECT_EQ(p.y, 0);
    op.align = " left";  // not a word the placement knows
    EXPECT_EQ(PlaceMerge(op, 400, 300, 101, 51).x, 7);
}
