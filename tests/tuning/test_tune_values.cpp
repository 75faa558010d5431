// SPDX-License-Identifier: MIT
// The shift drag on the tuned view.
#include <gtest/gtest.h>

#include "tuning/frame_edits.h"
#include "tuning/frames_table.h"

namespace turnlet {
namespace {

TEST(ShiftDrag, AddsThePointersTravelInFramePixels) {
    bool dragActive = false;
    ShiftDrag drag(dragActive);
    TextGrid t = MakeFramesTable();
    t.set(1, 2, "12");
    EXPECT_FALSE(drag.Move(t, 1, 50, 0, 0.1));  // no press, no drag
    drag.Press(10, 20);
    EXPECT_TRUE(drag.Move(t, 1, 60, 19, ViewFit(200, 300, 2000, 1000)));  // 50 screen pixels at f = 0.1
    EXPECT_EQ(t.row(1), (std::vector<std::string>{"", "Y", "512.00", "-10.00", "", "", "", "", ""}));
    EXPECT_TRUE(drag.Move(t, 1, 61, 22, 3.0));  // steps add up through the two-decimal texts
    EXPECT_EQ(t.at(1, 2), "512.33");
    EXPECT_EQ(t.at(1, 3), " -9.00");
    EXPECT_FALSE(drag.Move(t, 1, 90, 23, ViewFit(200, 300, 0, 0)));  // no picture in the view
    EXPECT_EQ(drag.Finish(t, 1), (KeyframeValues{512.33, -9, 0, 0, 0, 0, 0}));
    EXPECT_FALSE(dragActive);
    EXPECT_FALSE(drag.Finish(t, 1).has_value());
}

}  // namespace
}  // namespace turnlet
