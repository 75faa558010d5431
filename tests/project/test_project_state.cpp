// SPDX-License-Identifier: MIT
// Project state: what New resets and keeps, frame clamping, the crop and the frames of the turn.
#include <gtest/gtest.h>

#include <climits>

#include "project/project.h"

namespace turnlet {
namespace {

Project BusyProject() {
    Project p;
    p.sources = {"/a/1.jpg", "/a/2.jpg", "/a/3.jpg"};
    p.rotationIndex = 3;
    p.crop = CropArea{10, 20, 300, 200};
    p.firstFrame = 1;
    p.lastFrame = 2;
    p.backgroundColor = 0x00123456;
    ChangeKeyframe(p.keyframes, "/a/2.jpg", {1, 2, 3, 4, 5, 6, 7});
    p.exportSettings = {250, "/out", 2, 55, 800, 600, false, false, true, true};
    return p;
}

TEST(New, ResetsTheProject) {
    Project p = BusyProject();
    New(p, "/opt/turnlet/result");
    EXPECT_FALSE(p.imagesLoaded());
    EXPECT_TRUE(p.sources.empty());
    EXPECT_EQ(p.rotationIndex, 0);
    EXPECT_EQ(p.rotationDegrees(), 0);
    EXPECT_EQ(p.crop, std::nullopt);
    EXPECT_EQ(p.firstFrame, 0);
    EXPECT_EQ(p.lastFrame, 0);
    EXPECT_EQ(p.exportSettings.frames, 100);
    EXPECT_EQ(p.exportSettings.directory, "/opt/turnlet/result");
    EXPECT_EQ(p.exportSettings.typeIndex, 0);
    EXPECT_TRUE(p.keyframes.empty());
    EXPECT_EQ(ProjectFrames(p), FrameRows(1));  // one empty frame
}

TEST(New, KeepsWhatItDoesNotOwn) {
    Project p = BusyProject();
    New(p, "/opt/turnlet/result");
    EXPECT_EQ(p.backgroundColor, 0x00123456u);
    EXPECT_EQ(p.exportSettings.jpegQuality, 55);
    // A new project's frame size starts from its own crop.
    EXPECT_EQ(p.exportSettings.width, 0);
    EXPECT_EQ(p.exportSettings.height, 0);
    EXPECT_FALSE(p.exportSettings.proportional);
    EXPECT_FALSE(p.exportSettings.html5Viewer);
    EXPECT_TRUE(p.exportSettings.extraSizes);
    EXPECT_TRUE(p.exportSettings.smooth);
}

TEST(New, ProgramStartMatchesTheDesignedDefaults) {
    Project p;
    EXPECT_EQ(p.backgroundColor, 0x00FFFFFFu);
    EXPECT_EQ(p.exportSettings, ExportSettings{});
    EXPECT_EQ(p.exportSettings.jpegQuality, 90);
    EXPECT_TRUE(p.exportSettings.proportional && p.exportSettings.html5Viewer);
    Project fresh;
    New(fresh, "");
    EXPECT_EQ(fresh, p);
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

TEST(ResolveCrop, TheProjectsCropOrTheWholeTurnedSource) {
    EXPECT_EQ(ResolveCrop(std::nullopt, 3000, 4000), (CropArea{0, 0, 3000, 4000}));
    EXPECT_EQ(ResolveCrop(CropArea{100, 200, 640, 480}, 3000, 4000), (CropArea{100, 200, 640, 480}));
    EXPECT_EQ(ResolveCrop(CropArea{INT_MIN, INT_MAX, 0, -1}, 0, 0), (CropArea{INT_MIN, INT_MAX, 0, -1}));
}

TEST(ProjectFrames, UseTheProjectsRange) {
    const Project p = BusyProject();
    const FrameRows frames = ProjectFrames(p);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_TRUE(frames[0].key);
    EXPECT_EQ(frames[1].values, (KeyframeValues{1, 2, 3, 4, 5, 6, 7}));
}

}  // namespace
}  // namespace turnlet
