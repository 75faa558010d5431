// SPDX-License-Identifier: MIT
// Alignment results written as keyframes: what is replaced, what is kept.
#include <gtest/gtest.h>

#include "align/align_keyframes.h"
#include "base/number_text.h"
#include "tuning/frames_table.h"
#include "tuning/keyframes.h"

namespace turnlet {
namespace {

const std::vector<std::string> kSources = {"a", "b", "c", "d", "e"};

FrameAlignment Found(double dx, double dy, double angle, double brightness, bool aligned = true) {
    FrameAlignment f;
    f.DX = dx;
    f.DY = dy;
    f.Angle = angle;
    f.Brightness = brightness;
    f.aligned = aligned;
    f.confidence = aligned ? 1 : 0;
    return f;
}

struct Tables {
    Keyframes keyframes;
    FrameRows frames;
    void restore() { frames = RestoreKeyframes(keyframes, kSources, 1, 4); }
    // A value of frame k of the turn as the frames table shows it.
    std::string cell(int frame, FrameValue value) const {
        return FormatG(frames[static_cast<std::size_t>(frame)].values[value]);
    }
};

TEST(ApplyAlignment, EveryFrameBecomesAKeyframeAndManualOnesStayUnlessReplaced) {
    const std::vector<FrameAlignment> found = {Found(0, 0, 0, 0), Found(2.5, -1.25, 0.3, -4), Found(9, 9, 9, 9, false),
                                               Found(-3, 4, -0.5, 2.5)};
    for (bool replace : {false, true}) {
        Tables s;
        // A hand-made keyframe on frame 3 (source "e") with a scale, and one on frame 2 the
        // alignment cannot place.
        ChangeKeyframe(s.keyframes, "e", {1, 1, 1, 50, 1, 0, 0});
        ChangeKeyframe(s.keyframes, "d", {7, 0, 0, 0, 0, 10, 0});
        s.restore();
        const AppliedAlignment applied = ApplyAlignment(s.keyframes, s.frames, kSources, 1, found, replace);
        s.restore();
        for (int k = 0; k < 4; ++k) EXPECT_TRUE(s.frames[static_cast<std::size_t>(k)].key) << k;
        EXPECT_EQ(s.cell(0, kDX), "0");
        EXPECT_EQ(s.cell(1, kDX), "2.5");
        EXPECT_EQ(s.cell(1, kDY), "-1.25");
        EXPECT_EQ(s.cell(1, kAngle), "0.3");
        EXPECT_EQ(s.cell(1, kBrightness), "-4");
        // The frame that could not be aligned keeps its values (its contrast too).
        EXPECT_EQ(s.cell(2, kDX), "7");
        EXPECT_EQ(s.cell(2, kContrast), "10");
        EXPECT_EQ(applied.unaligned, std::vector<int>(replace ? std::vector<int>{2} : std::vector<int>{}));
        if (replace) {
            EXPECT_EQ(s.cell(3, kDX), "-3");
            EXPECT_EQ(s.cell(3, kBrightness), "2.5");
            EXPECT_EQ(s.cell(3, kScale), "50");  // the scale set by hand is not the alignment's
        } else {
            EXPECT_EQ(s.cell(3, kDX), "1");
            EXPECT_EQ(applied.kept, (std::vector<int>{2, 3}));
        }
    }
}

TEST(ApplyAlignment, AKeptFirstFrameCarriesItsValuesToTheOthers) {
    Tables s;
    ChangeKeyframe(s.keyframes, "b", {10, -5, 1, 0, -20, 0, 0});
    s.restore();
    ApplyAlignment(s.keyframes, s.frames, kSources, 1, {Found(0, 0, 0, 0), Found(2, 3, 0.5, 30)}, false);
    s.restore();
    EXPECT_EQ(s.cell(0, kDX), "10");
    EXPECT_EQ(s.cell(1, kDX), "12");
    EXPECT_EQ(s.cell(1, kDY), "-2");
    EXPECT_EQ(s.cell(1, kAngle), "1.5");
    // Tone factors multiply: 0.8 x 2 = 1.6, brightness 18.
    EXPECT_EQ(s.cell(1, kBrightness), "18");
    EXPECT_DOUBLE_EQ(CombineBrightness(0, -12.5), -12.5);
    EXPECT_DOUBLE_EQ(CombineBrightness(-50, 30), 0);
}

}  // namespace
}  // namespace turnlet
