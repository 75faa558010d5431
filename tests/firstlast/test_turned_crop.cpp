// SPDX-License-Identifier: MIT
// The one-pass turn and crop against the two steps it replaces.
#include <gtest/gtest.h>

#include <random>

#include "../imaging/pixel_test_util.h"
#include "firstlast/turned_crop.h"
#include "imaging/geometry.h"

namespace turnlet {
namespace {

TEST(TurnedCrop, GivesTheBytesOfTurnThenCrop) {
    std::mt19937 rng(11);
    const Picture source = testing::RandomPicture(37, 23, rng);
    // Inside, clamped at every edge (negative, zero and overflowing sizes), and -1: no crop.
    const CompareArea areas[] = {{0, 0, 37, 23},    {5, 3, 10, 12},         {-4, 2, 0, 100}, {30, 30, 50, 50},
                                 {500, -7, 10, 10}, {2, 1, 2147483647, -5}, {-1, 4, 5, 5},   {3, 3, 4, -1}};
    Picture turned, expected, actual = testing::RandomPicture(60, 60, rng);  // a used output
    for (int degrees : {0, 90, 180, 270}) {
        RotateQuarter(source, turned, degrees);
        for (const CompareArea& a : areas) {
            SCOPED_TRACE(::testing::Message()
                         << degrees << ": " << a.left << "," << a.top << " " << a.width << "x" << a.height);
            if (a.skipsCrop()) {
                expected = turned;
            } else {
                CropPicture(turned, expected, a.left, a.top, a.width, a.height);
            }
            TurnedCrop(source, degrees, a, actual);
            ASSERT_TRUE(actual == expected);
        }
    }
    TurnedCrop(Picture(), 90, {0, 0, 5, 5}, actual);
    EXPECT_TRUE(actual.empty());
}

}  // namespace
}  // namespace turnlet
