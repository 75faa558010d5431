// SPDX-License-Identifier: MIT
// Fitting into a view, and the one-pass turn and crop against the two steps it replaces.
#include <gtest/gtest.h>

#include <random>

#include "../imaging/pixel_test_util.h"
#include "firstlast/turned_crop.h"
#include "firstlast/view_fit.h"
#include "imaging/geometry.h"

namespace turnlet {
namespace {

TEST(ViewFit, FitsByTheNarrowerSideAndNeverEnlargesWhenAsked) {
    struct Case {
        int w, h, viewW, viewH;
        FittedSize fit, within;
    };
    const Case cases[] = {
        {1000, 500, 400, 400, {400, 200}, {400, 200}},
        {500, 1000, 400, 300, {150, 300}, {150, 300}},
        {200, 100, 400, 400, {400, 200}, {200, 100}},  // small pictures: enlarged only by FitToView
        {400, 400, 400, 400, {400, 400}, {400, 400}},
        {3, 7, 10, 10, {4, 10}, {3, 7}},  // truncated: 10 * 3 / 7 = 4.28
        {0, 100, 400, 400, {}, {}},
        {100, 100, 0, 400, {}, {}},
        {100000, 1, 400, 400, {400, 0}, {400, 0}},  // too thin to show a row
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.w << "x" << c.h << " in " << c.viewW << "x" << c.viewH);
        EXPECT_EQ(FitToView(c.w, c.h, c.viewW, c.viewH), c.fit);
        EXPECT_EQ(FitWithin(c.w, c.h, c.viewW, c.viewH), c.within);
    }
}

TEST(TurnedCrop, ClampsAsTheCropDoes) {
    struct Case {
        int w, h;
        CompareArea area, clamped;
    };
    const Case cases[] = {
        {100, 50, {-10, 5, 0, 1000}, {0, 5, 1, 45}},          {100, 50, {500, 0, 10, 10}, {99, 0, 1, 10}},
        {100, 50, {10, 10, 90, 40}, {10, 10, 90, 40}},         // reaching the last column and row
        {100, 50, {10, 10, 2147483647, -5}, {10, 10, 90, 1}},  // a typed width that would overflow
        {100, 50, {-3, -700, 20, 20}, {0, 0, 20, 20}},
    };
    for (const Case& c : cases) EXPECT_EQ(ClampCrop(c.w, c.h, c.area), c.clamped);
}

TEST(TurnedCrop, GivesTheBytesOfTurnThenCrop) {
    std::mt19937 rng(11);
    const Picture source = testing::RandomPicture(37, 23, rng);
    const CompareArea areas[] = {
        {0, 0, 37, 23}, {5, 3, 10, 12}, {-4, 2, 0, 100}, {30, 30, 50, 50}, {2, 1, 1, 1}, {-1, 4, 5, 5}, {3, 3, 4, -1},
    };
    Picture turned, expected, actual = testing::RandomPicture(60, 60, rng);  // a used output
    for (int degrees : {0, 90, 180, 270}) {
        RotateQuarter(source, turned, degrees);
        for (const CompareArea& a : areas) {
            SCOPED_TRACE(::testing::Message()
                         << degrees << " " << a.left << "," << a.top << " " << a.width << "x" << a.height);
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
