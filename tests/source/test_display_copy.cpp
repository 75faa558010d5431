// SPDX-License-Identifier: MIT
// Display copies: the reduction factor for a bound and the block averaging.
#include <gtest/gtest.h>

#include "imaging/display_copy.h"

namespace turnlet {
namespace {

TEST(DisplayReduction, LargestWholeFactorThatStillCoversTheFit) {
    struct Case {
        int w, h, maxW, maxH, factor;
    };
    const Case cases[] = {
        {6000, 4000, 1920, 1080, 3},  // 2000 x 1333 still covers a fit into 1920 x 1080
        {4000, 3000, 556, 522, 7},   {4000, 6000, 1920, 1080, 5}, {800, 600, 1920, 1080, 1},
        {6000, 4000, 0, 1080, 1},    {0, 0, 100, 100, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " into " << c.maxW << "x" << c.maxH);
        EXPECT_EQ(DisplayReduction(c.w, c.h, c.maxW, c.maxH), c.factor);
    }
}

TEST(ReduceByBlocks, AveragesWholeBlocksAndDropsTheRemainder) {
    Picture source(5, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            std::uint8_t* p = source.pixel(x, y);
            p[0] = static_cast<std::uint8_t>(10 * x + y);
            p[1] = static_cast<std::uint8_t>(255 - x);
            p[2] = static_cast<std::uint8_t>(x == 1 && y == 1 ? 3 : 0);
        }
    Picture out;
    ReduceByBlocks(source, out, 2);
    ASSERT_EQ(out.width(), 2);
    ASSERT_EQ(out.height(), 1);
    // Block (0..1, 0..1): blue 0,10,1,11 -> 5 (22 / 4 truncated), green 255,254,255,254 -> 254, red 3 / 4 -> 0.
    EXPECT_EQ(out.pixel(0, 0)[0], 5);
    EXPECT_EQ(out.pixel(0, 0)[1], 254);
    EXPECT_EQ(out.pixel(0, 0)[2], 0);
    EXPECT_EQ(out.pixel(1, 0)[0], 25);  // 20, 30, 21, 31
    EXPECT_EQ(out.pixel(1, 0)[1], 252);

    Picture copy;
    ReduceByBlocks(source, copy, 1);
    EXPECT_EQ(copy, source);
    ReduceByBlocks(source, copy, 9);  // larger than the picture: nothing left
    EXPECT_TRUE(copy.empty());
}

TEST(MakeDisplayCopy, SizeFollowsTheBound) {
    Picture source(600, 400);
    source.fill(0x00336699);
    Picture out;
    MakeDisplayCopy(source, 190, 100, out);  // factor max(3, 4) = 4
    EXPECT_EQ(out.width(), 150);
    EXPECT_EQ(out.height(), 100);
    EXPECT_EQ(out.pixel(149, 99)[0], 0x33);  // blue of 0x00BBGGRR
    EXPECT_EQ(out.pixel(149, 99)[2], 0x99);
}

}  // namespace
}  // namespace turnlet
