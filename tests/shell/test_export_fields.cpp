// SPDX-License-Identifier: MIT
// The export dialog's field rules, the repeat note and the About box's direction rule.
#include <gtest/gtest.h>

#include <climits>

#include "shell/about_direction.h"
#include "shell/export_fields.h"

namespace turnlet {
namespace {

TEST(ExportFields, ClampAndDefaults) {
    struct Case {
        const char* text;
        int frames, quality, size;
    };
    const Case cases[] = {
        {"0", 1, 1, 50},    {"-5", 1, 1, 50},       {"5000", 1000, 100, 2000}, {"abc", 100, 90, 200},
        {"", 100, 90, 200}, {"75", 75, 75, 75},     {"+12", 12, 12, 50},       {" 12", 100, 90, 200},
        {"007", 7, 7, 50},  {"800", 800, 100, 800}, {"1e3", 100, 90, 200},     {"99999999999", 100, 90, 200},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ExportFramesField(c.text), c.frames) << c.text;
        EXPECT_EQ(QualityField(c.text), c.quality) << c.text;
        EXPECT_EQ(FrameSizeField(c.text), c.size) << c.text;
    }
}

TEST(ExportFields, ProportionalSize) {
    // Area 1200 x 900: width 800 gives height 600, height 2000 gives width 2666 (not clamped).
    EXPECT_EQ(ProportionalSize(800, 900, 1200), 600);
    EXPECT_EQ(ProportionalSize(2000, 1200, 900), 2666);
    EXPECT_EQ(ProportionalSize(7, 1, 3), 2);  // truncates
    EXPECT_EQ(ProportionalSize(800, 900, 0), std::nullopt);
    EXPECT_EQ(ProportionalSize(2000, INT_MAX, 1), INT_MAX);  // saturates instead of wrapping
}

TEST(ExportFields, FramesRepeatNote) {
    EXPECT_EQ(FramesRepeatNote("100", 37, "en"), "Frames will repeat (frames in the turn: 37)");
    EXPECT_EQ(FramesRepeatNote("100", 37, "ru"), "Кадры будут повторяться (кадров в обороте: 37)");
    EXPECT_EQ(FramesRepeatNote("37", 37, "en"), "");
    EXPECT_EQ(FramesRepeatNote("abc", 37, "en"), "");
    EXPECT_EQ(FramesRepeatNote("100", 0, "en"), "");  // no turn yet
    EXPECT_EQ(FramesRepeatNote("100", 37, "de"), "Frames will repeat (frames in the turn: 37)");
}

TEST(AboutDirection, NineCases) {
    // Reference rectangle 100,200 100 x 100.
    struct Case {
        int x, y, picture;
    };
    const Case cases[] = {
        {0, 0, 0},     {150, 0, 1},   {250, 0, 2},   {0, 250, 3},   {150, 250, 4}, {250, 250, 5}, {0, 350, 6},
        {150, 350, 7}, {250, 350, 8}, {100, 200, 4}, {199, 299, 4}, {200, 299, 5}, {199, 300, 7}, {99, 199, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(AboutPictureIndex(c.x, c.y, 100, 200, 100, 100), c.picture) << c.x << "," << c.y;
}

}  // namespace
}  // namespace turnlet
