// SPDX-License-Identifier: MIT
// The main window's resize rule at two window sizes, and at a size too small for it.
#include <gtest/gtest.h>

#include "shell/layout.h"

namespace turnlet {
namespace {

struct Expected {
    Extent client;
    Box pageControl1, statusBar, listBox, groupBox, image1, pageControl2;
    int spinTop, bitBtnTop, label6Left, spinEdit2Left, bitBtn1Left, bitBtn2Left;
    Box image3, image4, image5, trackBar;
    int buttonsTop, label9Top, label9Left, comboBox2Left;
    Box stringGrid, image2;
};

TEST(FormResize, FollowsTheWindowSize) {
    // Page controls whose tabs and frame take 4 x 27 (tabs on top) and 30 x 4 (tabs on the left).
    const Expected cases[] = {
        {{911, 635},
         {8, 8, 901, 605},
         {0, 616, 911, 19},
         {3, 36, 319, 414},
         {3, 457, 319, 89},
         {328, 3, 549, 553},
         {3, 3, 882, 513},
         523,
         521,
         735,
         825,
         304,
         454,
         {0, 0, 423, 509},
         {428, 0, 423, 509},
         {0, 0, 852, 509},
         {3, 505, 877, 33},
         543,
         547,
         732,
         812,
         {3, 3, 527, 498},
         {536, 3, 351, 498}},
        {{1400, 900},
         {8, 8, 1390, 870},
         {0, 881, 1400, 19},
         {3, 36, 319, 679},
         {3, 722, 319, 89},
         {328, 3, 1038, 818},
         {3, 3, 1371, 778},
         788,
         786,
         1224,
         1314,
         548,
         698,
         {0, 0, 668, 774},
         {673, 0, 668, 774},
         {0, 0, 1341, 774},
         {3, 770, 1366, 33},
         808,
         812,
         1221,
         1301,
         {3, 3, 527, 763},
         {536, 3, 840, 763}},
    };
    for (const Expected& e : cases) {
        SCOPED_TRACE(testing::Message() << e.client.width << "x" << e.client.height);
        const MainWindowLayout l = FormResize(DesignLayout(), {e.client, {4, 27}, {30, 4}});
        EXPECT_EQ(l.PageControl1, e.pageControl1);
        EXPECT_EQ(l.StatusBar1, e.statusBar);
        EXPECT_EQ(l.ListBox1, e.listBox);
        EXPECT_EQ(l.GroupBox2, e.groupBox);
        EXPECT_EQ(l.Image1, e.image1);
        EXPECT_EQ(l.PageControl2, e.pageControl2);
        EXPECT_EQ(l.SpinEdit1.top, e.spinTop);
        EXPECT_EQ(l.SpinEdit2.top, e.spinTop);
        EXPECT_EQ(l.Label5.top, e.spinTop + 3);
        EXPECT_EQ(l.Label6.top, e.spinTop + 3);
        EXPECT_EQ(l.BitBtn1.top, e.bitBtnTop);
        EXPECT_EQ(l.BitBtn2.top, e.bitBtnTop);
        EXPECT_EQ(l.Label6.left, e.label6Left);
        EXPECT_EQ(l.SpinEdit2.left, e.spinEdit2Left);
        EXPECT_EQ(l.Label5.left, 27);  // the left-hand controls stay where they were designed
        EXPECT_EQ(l.SpinEdit1.left, 109);
        EXPECT_EQ(l.BitBtn1.left, e.bitBtn1Left);
        EXPECT_EQ(l.BitBtn2.left, e.bitBtn2Left);
        EXPECT_EQ(l.Image3, e.image3);
        EXPECT_EQ(l.Image4, e.image4);
        EXPECT_EQ(l.Image5, e.image5);
        EXPECT_EQ(l.TrackBar1, e.trackBar);
        for (const Box& b : {l.Button2, l.Button3, l.Button11, l.Button4, l.Button5, l.ComboBox2})
            EXPECT_EQ(b.top, e.buttonsTop);
        EXPECT_EQ(l.Button11.left, 252);
        EXPECT_EQ(l.Label9.top, e.label9Top);
        EXPECT_EQ(l.Label9.left, e.label9Left);
        EXPECT_EQ(l.ComboBox2.left, e.comboBox2Left);
        EXPECT_EQ(l.StringGrid1, e.stringGrid);
        EXPECT_EQ(l.Image2, e.image2);
        // Resizing is a function of the size alone: applying it twice changes nothing.
        EXPECT_EQ(FormResize(l, {e.client, {4, 27}, {30, 4}}).Image4, l.Image4);
    }
}

TEST(FormResize, ATinyWindowGivesNoNegativeSizes) {
    const MainWindowLayout l = FormResize(DesignLayout(), {{40, 30}, {4, 27}, {30, 4}});
    for (const Box& b : {l.PageControl1, l.ListBox1, l.Image1, l.PageControl2, l.Image3, l.Image4, l.Image5,
                         l.TrackBar1, l.StringGrid1, l.Image2, l.StatusBar1}) {
        EXPECT_GE(b.width, 0);
        EXPECT_GE(b.height, 0);
    }
}

}  // namespace
}  // namespace turnlet
