// SPDX-License-Identifier: MIT
// One frame's edits: its values with one replaced, the tuned request's values, the fit and the shift drag.
#include <gtest/gtest.h>

#include "tuning/frame_edits.h"
#include "tuning/frames_table.h"
#include "tuning/tune_params.h"

namespace turnlet {
namespace {

TextGrid Table(int frames) {
    TextGrid t = MakeFramesTable();
    t.setRowCount(frames + 1);
    return t;
}

TEST(FrameEdits, RowValuesReadTheTextsAndReplaceOneColumn) {
    TextGrid t = Table(2);
    const char* row1[] = {"0", "", "  1.50", "-3.9", "10", "x", "", "2e1", "12.75abc"};
    for (int c = 0; c < 9; ++c) t.set(1, c, row1[c]);
    EXPECT_EQ(RowValues(t, 1), (KeyframeValues{1.5, -3.9, 10, 0, 0, 20, 12.75}));
    EXPECT_EQ(RowValuesWith(t, 1, 4, 15), (KeyframeValues{1.5, -3.9, 15, 0, 0, 20, 12.75}));
    EXPECT_EQ(RowValuesWith(t, 1, 8, -100), (KeyframeValues{1.5, -3.9, 10, 0, 0, 20, -100}));
    EXPECT_EQ(RowValuesWith(t, 1, 9, 7), RowValues(t, 1));  // not a value column
    EXPECT_EQ(RowValues(t, 7), (KeyframeValues{}));         // no such row
}

TEST(TuneParams, CropFromTheFieldsAndValuesFromTheRow) {
    struct CropCase {
        const char *left, *top, *width, *height;
        TuneCrop crop;
    };
    const CropCase crops[] = {
        {"10", "20", "300", "200", {10, 20, 300, 200}},
        {"", "20", "300", "200", {0, 0, 640, 480}},  // any field empty: the whole preview picture
        {"10", "20", "300", "", {0, 0, 640, 480}},
        {"a", "2.5", "w", "-7", {0, 0, 100, -7}},  // not whole numbers: 0, 0, 100, 100 by field
    };
    for (const CropCase& c : crops)
        EXPECT_EQ(TuneCropFromTexts(c.left, c.top, c.width, c.height, 640, 480), c.crop) << c.left << c.height;

    TextGrid t = Table(1);
    const char* row[] = {"0", "Y", "10.9", "-3.9", "15", "-1000", "5", "-6", "7.5"};
    for (int c = 0; c < 9; ++c) t.set(1, c, row[c]);
    const TuneCrop crop{1, 2, 30, 40};
    const TuneParams p = TuneParamsFromRow(t, 1, crop, 0x00112233);
    EXPECT_EQ(p, (TuneParams{1, 2, 30, 40, -10, 3, 0x00112233, -15, 1000, 5, -6, 7.5}));
    t.set(1, 2, "-2147483648");  // its negation does not fit: saturated
    EXPECT_EQ(TuneParamsFromRow(t, 1, crop, 0).ShiftX, 2147483647);
    // The header row (no interlace frame chosen) reads as zeros.
    EXPECT_EQ(TuneParamsFromRow(t, 0, crop, 7), (TuneParams{1, 2, 30, 40, 0, 0, 7, 0, 0, 0, 0, 0}));

    const FrameParams f = ToFrameParams(p, 90, 3, 4);
    EXPECT_EQ(f.RotationDegrees, 90);
    EXPECT_EQ(f.ShiftY, 3);
    EXPECT_EQ(f.Scale, 1000);
    EXPECT_EQ(f.BackgroundColor, 0x00112233u);
    EXPECT_EQ(f.OutputWidth, 3);
    EXPECT_EQ(f.OutputHeight, 4);
}

TEST(FrameEdits, ViewFitIsScreenPixelsPerFramePixel) {
    EXPECT_DOUBLE_EQ(ViewFit(200, 300, 2000, 1000), 0.1);
    EXPECT_DOUBLE_EQ(ViewFit(400, 100, 200, 200), 0.5);
    EXPECT_EQ(ViewFit(400, 100, 0, 200), 0);
    EXPECT_EQ(ViewFit(0, 100, 20, 20), 0);
}

TEST(ShiftDrag, AddsThePointersTravelInFramePixelsAndEndsWithTheRowsValues) {
    bool dragActive = false;
    ShiftDrag drag(dragActive);
    TextGrid t = Table(3);
    t.set(2, 2, "12");
    t.set(2, 3, "-1");
    t.set(2, 4, "4");

    EXPECT_FALSE(drag.Move(t, 2, 50, 0, 0.1));  // no press: no drag
    drag.Press(10, 20);
    EXPECT_TRUE(dragActive);
    // 50 screen pixels right at f = 0.1: 500 frame pixels.
    EXPECT_TRUE(drag.Move(t, 2, 60, 20, 0.1));
    EXPECT_EQ(t.at(2, 1), "Y");
    EXPECT_EQ(t.at(2, 2), "512.00");
    EXPECT_EQ(t.at(2, 3), " -1.00");
    // Steps accumulate through the two-decimal texts.
    EXPECT_TRUE(drag.Move(t, 2, 61, 23, 3.0));
    EXPECT_EQ(t.at(2, 2), "512.33");
    EXPECT_EQ(t.at(2, 3), "  0.00");
    // No fit (no picture) or no such row: the move is ignored and its start kept.
    EXPECT_FALSE(drag.Move(t, 2, 90, 23, 0));
    EXPECT_FALSE(drag.Move(t, 9, 90, 23, 1));
    EXPECT_EQ(drag.x(), 61);
    EXPECT_EQ(t.at(1, 1), "");

    const std::optional<KeyframeValues> values = drag.Finish(t, 2);
    ASSERT_TRUE(values.has_value());
    EXPECT_EQ(*values, (KeyframeValues{512.33, 0, 4, 0, 0, 0, 0}));
    EXPECT_FALSE(dragActive);
    EXPECT_FALSE(drag.Finish(t, 2).has_value());  // ended once
}

}  // namespace
}  // namespace turnlet
