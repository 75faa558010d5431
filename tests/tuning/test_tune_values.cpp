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
    EXPECT_FALSE(drag.Move(50, 0, 0.1));  // no press, no drag
    const KeyframeValues pressed = {12, 0, 1.5, 10, -20, 30, 40};
    drag.Press(10, 20, pressed);
    EXPECT_TRUE(dragActive);
    // 50 screen pixels at f = 0.1; the other five values stay as pressed.
    EXPECT_EQ(drag.Move(60, 19, ViewFit(200, 300, 2000, 1000)), (KeyframeValues{512, -10, 1.5, 10, -20, 30, 40}));
    // Steps add up through the drag's two-decimal form: 1/3 is kept as 0.33.
    EXPECT_EQ(drag.Move(61, 22, 3.0), (KeyframeValues{512.33, -9, 1.5, 10, -20, 30, 40}));
    EXPECT_EQ(drag.Move(62, 22, 3.0), (KeyframeValues{512.66, -9, 1.5, 10, -20, 30, 40}));
    EXPECT_EQ(drag.x(), 62);
    EXPECT_FALSE(drag.Move(90, 23, ViewFit(200, 300, 0, 0)));  // no picture in the view: the position stays
    EXPECT_EQ(drag.x(), 62);
    EXPECT_TRUE(drag.Finish());
    EXPECT_FALSE(dragActive);
    EXPECT_FALSE(drag.Finish());
    EXPECT_FALSE(drag.Move(70, 23, 3.0));
    EXPECT_EQ(DragShift(-8.999), -9);
    EXPECT_EQ(DragShift(1.0 / 3), 0.33);
}

}  // namespace
}  // namespace turnlet
