// SPDX-License-Identifier: MIT
// Project state: what New resets and keeps, frame clamping, the crop rectangle from the crop texts.
#include <gtest/gtest.h>

#include <climits>

#include "project/project.h"

namespace turnlet {
namespace {

Project BusyProject() {
    Project p;
    p.programDir = "/opt/turnlet";
    p.sources = {"/a/1.jpg", "/a/2.jpg", "/a/3.jpg"};
    p.rotationIndex = 3;
    p.crop = {"10", "20", "300", "200"};
    p.cropRect = {10, 20, 309, 219};
    p.cropOutlineVisible = true;
    p.firstFrame = 1;
    p.lastFrame = 2;
    p.backgroundColor = 0x00123456;
    AddKeyframe(p.keyframes, "/a/2.jpg", {1, 2, 3, 4, 5, 6, 7});
    RestoreKeyframes(p);
    Recalculatepositions1Click(p);
    p.exportSettings = {"250", "/out", 2, 55, "800", "600", false, false};
    p.imagesLoaded = true;
    p.saveFileName = "/p/x.trn.prj";
    p.currentProjectFile = "/p/x.trn.prj";
    p.caption = "Turnlet - /p/x.trn.prj";
    return p;
}

TEST(New, ResetsTheProject) {
    Project p = BusyProject();
    New(p);
    EXPECT_FALSE(p.imagesLoaded);
    EXPECT_TRUE(p.sources.empty());
    EXPECT_EQ(p.rotationIndex, 0);
    EXPECT_EQ(p.rotationDegrees(), 0);
    EXPECT_EQ(p.crop, CropTexts{});
    EXPECT_FALSE(p.crop.allSet());
    EXPECT_FALSE(p.cropOutlineVisible);
    EXPECT_EQ(p.firstFrame, 0);
    EXPECT_EQ(p.lastFrame, 0);
    EXPECT_EQ(p.exportSettings.framesText, "100");
    EXPECT_EQ(p.exportSettings.directory, "/opt/turnlet/result");
    EXPECT_EQ(p.exportSettings.typeIndex, 0);
    EXPECT_EQ(p.keyframes.rowCount(), 1);
    ASSERT_EQ(p.frames.rowCount(), 2);
    EXPECT_EQ(p.frames.row(1), std::vector<std::string>(9));
    EXPECT_EQ(p.frames.at(0, 1), "Keyframe");  // the header row stays
    EXPECT_EQ(p.caption, "Turnlet");
    EXPECT_EQ(p.saveFileName, "");  // the next Save asks for a name
}

TEST(New, KeepsWhatItDoesNotOwn) {
    Project p = BusyProject();
    New(p);
    EXPECT_EQ(p.backgroundColor, 0x00123456u);
    EXPECT_EQ(p.cropRect, (CropRect{10, 20, 309, 219}));
    EXPECT_EQ(p.exportSettings.jpegQuality, 55);
    // A new project's frame size starts from its own crop.
    EXPECT_EQ(p.exportSettings.widthText, "");
    EXPECT_EQ(p.exportSettings.heightText, "");
    EXPECT_FALSE(p.exportSettings.proportional);
    EXPECT_FALSE(p.exportSettings.html5Viewer);
    EXPECT_EQ(p.currentProjectFile, "/p/x.trn.prj");
    EXPECT_EQ(p.programDir, "/opt/turnlet");
}

TEST(New, ProgramStartMatchesTheDesignedDefaults) {
    Project p;
    EXPECT_EQ(p.backgroundColor, 0x00FFFFFFu);
    EXPECT_EQ(p.cropRect, CropRect{});
    EXPECT_EQ(p.exportSettings, ExportSettings{});
    EXPECT_EQ(p.exportSettings.jpegQuality, 90);
    EXPECT_TRUE(p.exportSettings.proportional && p.exportSettings.html5Viewer);
    EXPECT_EQ(p.keyframes.rowCount(), 1);
    EXPECT_EQ(p.frames.rowCount(), 2);
    EXPECT_EQ(p.caption, "Turnlet");
}

struct ClampCase {
    int count, first, last;
    bool setFirst;  // else the last frame is set
    int value, expectFirst, expectLast;
};

TEST(FrameClamping, FirstAndLastFrameEdits) {
    const ClampCase cases[] = {
        {10, 0, 5, true, 7, 5, 5},    // above the last frame
        {10, 0, 9, true, -3, 0, 9},   // negative
        {10, 2, 9, true, 4, 4, 9},    // in range
        {10, 0, 5, false, 20, 0, 9},  // beyond the list
        {10, 4, 5, false, 2, 4, 4},   // below the first frame
        {10, 0, 5, false, 10, 0, 9},  // exactly the count
        {0, 0, 0, false, 5, 0, 0},    // empty list: 0, not -1
        {0, 0, 0, false, -5, 0, 0},   //
        {0, 0, 0, true, 3, 0, 0},     //
        {1, 0, 0, false, INT_MAX, 0, 0}, {1, 0, 0, true, INT_MIN, 0, 0},
    };
    for (const auto& c : cases) {
        Project p;
        p.sources.assign(static_cast<std::size_t>(c.count), "s");
        p.firstFrame = c.first;
        p.lastFrame = c.last;
        if (c.setFirst)
            SetFirstFrame(p, c.value);
        else
            SetLastFrame(p, c.value);
        EXPECT_EQ(p.firstFrame, c.expectFirst) << c.count << " " << c.value;
        EXPECT_EQ(p.lastFrame, c.expectLast) << c.count << " " << c.value;
    }
}

TEST(CropTexts, RectangleFromTheFourTexts) {
    struct Case {
        CropTexts texts;
        CropRect expected;
    };
    const Case cases[] = {
        {{"10", "20", "300", "200"}, {10, 20, 309, 219}},
        {{"x", "y", "w", "h"}, {0, 0, 99, 99}},  // as the export cuts it
        {{"0", "0", "1", "1"}, {0, 0, 0, 0}},
        {{"-5", "007", "10", "10"}, {-5, 7, 4, 16}},
        {{"2147483647", "-2147483648", "2147483647", "-2147483648"}, {INT_MAX, INT_MIN, INT_MAX, INT_MIN}},
    };
    for (const auto& c : cases) {
        Project p;
        p.crop = c.texts;
        ApplyCropTexts(p);
        EXPECT_EQ(p.cropRect, c.expected) << c.texts.left;
        EXPECT_TRUE(p.cropOutlineVisible);
    }
}

TEST(CropTexts, AnEmptyTextKeepsTheRectangle) {
    Project p;
    p.cropRect = {1, 2, 3, 4};
    p.crop = {"10", "20", "", "200"};
    ApplyCropTexts(p);
    EXPECT_EQ(p.cropRect, (CropRect{1, 2, 3, 4}));
    EXPECT_FALSE(p.cropOutlineVisible);
}

TEST(ProjectTables, RecalculateAndRestoreUseTheProjectRange) {
    Project p = BusyProject();
    EXPECT_EQ(p.interlaceEntries, (std::vector<std::string>{" ", "0", "1"}));
    EXPECT_EQ(p.sliderMaximum, 1);
    ASSERT_EQ(p.frames.rowCount(), 3);
    EXPECT_EQ(p.frames.at(1, 1), "Y");
    EXPECT_EQ(p.frames.at(2, 8), "7");
}

}  // namespace
}  // namespace turnlet
