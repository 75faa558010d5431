// SPDX-License-Identifier: MIT
// Frames table: cyclic interpolation, keyframe placement by image path, re-dimensioning.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <random>

#include "tuning/frames_table.h"
#include "tuning/keyframes.h"

namespace turnlet {
namespace {

std::vector<std::string> Sources(int count) {
    std::vector<std::string> sources;
    for (int i = 0; i < count; ++i) sources.push_back("/shots/img" + std::to_string(i) + ".jpg");
    return sources;
}

KeyframeValues Dx(double dx) {
    return {dx, 0, 0, 0, 0, 0, 0};
}

std::vector<std::string> Column(const TextGrid& frames, int c) {
    std::vector<std::string> cells;
    for (int r = 1; r < frames.rowCount(); ++r) cells.push_back(frames.at(r, c));
    return cells;
}

TEST(LinearInterpolate, StraightLine) {
    EXPECT_DOUBLE_EQ(LinearInterpolate(6, 8, 12, 0, 9), 4);
    EXPECT_DOUBLE_EQ(LinearInterpolate(2, 0, 6, 8, 3), 2);
    EXPECT_DOUBLE_EQ(LinearInterpolate(0, -10, 10, 10, 5), 0);
}

TEST(InterpolateCyclic, Cases) {
    struct Case {
        const char* name;
        std::vector<bool> marks;
        std::vector<double> values;
        std::vector<double> expected;
    };
    const double x = 99;  // placeholder of an unmarked slot, always overwritten
    const Case cases[] = {
        {"no mark gives the default", {0, 0, 0}, {x, x, x}, {-1, -1, -1}},
        {"one mark holds everywhere", {0, 0, 1, 0}, {x, x, 5, x}, {5, 5, 5, 5}},
        {"marks at both ends", {1, 0, 0, 1}, {0, x, x, 3}, {0, 1, 2, 3}},
        {"wrap from last to first", {0, 1, 0, 1, 0}, {x, 0, x, 6, x}, {2, 0, 3, 6, 4}},
        {"three marks", {1, 0, 1, 0, 0, 1}, {0, x, 4, x, x, 10}, {0, 2, 4, 6, 8, 10}},
        {"adjacent marks", {1, 1}, {7, -7}, {7, -7}},
        {"single frame", {1}, {3}, {3}},
        {"empty turn", {}, {}, {}},
        {"short marks count as unset", {0, 1}, {x, 2, x}, {2, 2, 2}},
    };
    for (const auto& c : cases) {
        std::vector<double> values = c.values;
        InterpolateCyclic(c.marks, values, c.name == std::string("no mark gives the default") ? -1 : 0);
        ASSERT_EQ(values.size(), c.expected.size()) << c.name;
        for (std::size_t i = 0; i < values.size(); ++i)
            EXPECT_DOUBLE_EQ(values[i], c.expected[i]) << c.name << " " << i;
    }
}

TEST(RestoreKeyframes, TenFramesTwoKeyframesAcrossTheEnd) {
    const auto sources = Sources(10);
    TextGrid keyframes = MakeKeyframesTable();
    AddKeyframe(keyframes, sources[2], Dx(0));
    AddKeyframe(keyframes, sources[6], Dx(8));
    TextGrid frames = MakeFramesTable();
    Recalculatepositions1Click(frames, 0, 9);
    RestoreKeyframes(frames, keyframes, sources, 0, 9);

    ASSERT_EQ(frames.rowCount(), 11);
    EXPECT_EQ(Column(frames, 2),
              (std::vector<std::string>{"2.66667", "1.33333", "0", "2", "4", "6", "8", "6.66667", "5.33333", "4"}));
    EXPECT_EQ(Column(frames, 1), (std::vector<std::string>{"", "", "Y", "", "", "", "Y", "", "", ""}));
    for (int c = 3; c <= 8; ++c) EXPECT_EQ(Column(frames, c), std::vector<std::string>(10, "0")) << c;
    EXPECT_EQ(Column(frames, 0), (std::vector<std::string>{"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"}));
    EXPECT_EQ(frames.at(0, 0), "№");  // header untouched
}

TEST(RestoreKeyframes, OneKeyframeHoldsEverywhere) {
    const auto sources = Sources(6);
    TextGrid keyframes = MakeKeyframesTable();
    AddKeyframe(keyframes, sources[4], {0, 0, 10, 0, 0, 0, 0});
    TextGrid frames = MakeFramesTable();
    RestoreKeyframes(frames, keyframes, sources, 0, 5);
    EXPECT_EQ(Column(frames, 4), std::vector<std::string>(6, "10"));
    EXPECT_EQ(Column(frames, 1), (std::vector<std::string>{"", "", "", "", "Y", ""}));
    EXPECT_EQ(Column(frames, 2), std::vector<std::string>(6, "0"));
}

TEST(RestoreKeyframes, NoKeyframesGivesZeros) {
    TextGrid frames = MakeFramesTable();
    // Leftovers of an earlier state must go.
    frames.setRowCount(4);
    frames.set(2, 1, "Y");
    frames.set(2, 5, "12");
    frames.set(3, 8, "abc");
    RestoreKeyframes(frames, MakeKeyframesTable(), Sources(3), 0, 2);
    ASSERT_EQ(frames.rowCount(), 4);
    EXPECT_EQ(Column(frames, 1), std::vector<std::string>(3, ""));
    for (int c = 2; c <= 8; ++c) EXPECT_EQ(Column(frames, c), std::vector<std::string>(3, "0")) << c;
}

TEST(RestoreKeyframes, DeletingTheOnlyKeyframeZeroesAll) {
    const auto sources = Sources(4);
    TextGrid keyframes = MakeKeyframesTable();
    AddKeyframe(keyframes, sources[1], {1, 2, 3, 4, 5, 6, 7});
    TextGrid frames = MakeFramesTable();
    RestoreKeyframes(frames, keyframes, sources, 0, 3);
    EXPECT_EQ(Column(frames, 8), std::vector<std::string>(4, "7"));
    DeleteKeyframe(keyframes, sources[1]);
    RestoreKeyframes(frames, keyframes, sources, 0, 3);
    EXPECT_EQ(Column(frames, 1), std::vector<std::string>(4, ""));
    for (int c = 2; c <= 8; ++c) EXPECT_EQ(Column(frames, c), std::vector<std::string>(4, "0")) << c;
}

TEST(RestoreKeyframes, LaterOfTwoRowsWithOneKeyShows) {
    const auto sources = Sources(3);
    TextGrid keyframes = MakeKeyframesTable();
    AddKeyframe(keyframes, sources[1], Dx(5));
    AddKeyframe(keyframes, sources[1], Dx(9));
    TextGrid frames = MakeFramesTable();
    RestoreKeyframes(frames, keyframes, sources, 0, 2);
    EXPECT_EQ(Column(frames, 2), std::vector<std::string>(3, "9"));
    // Change and Delete act on the first row; the later one keeps showing until it goes too.
    ChangeKeyframe(keyframes, sources[1], Dx(1));
    RestoreKeyframes(frames, keyframes, sources, 0, 2);
    EXPECT_EQ(Column(frames, 2), std::vector<std::string>(3, "9"));
    DeleteKeyframe(keyframes, sources[1]);
    RestoreKeyframes(frames, keyframes, sources, 0, 2);
    EXPECT_EQ(Column(frames, 2), std::vector<std::string>(3, "9"));
    DeleteKeyframe(keyframes, sources[1]);
    RestoreKeyframes(frames, keyframes, sources, 0, 2);
    EXPECT_EQ(Column(frames, 2), std::vector<std::string>(3, "0"));
}

TEST(RestoreKeyframes, SameImageTwiceAppliesToTheFirstOnly) {
    std::vector<std::string> sources = {"a", "dup", "b", "dup", "c"};
    TextGrid keyframes = MakeKeyframesTable();
    AddKeyframe(keyframes, "dup", Dx(4));
    AddKeyframe(keyframes, "c", Dx(0));
    TextGrid frames = MakeFramesTable();
    RestoreKeyframes(frames, keyframes, sources, 0, 4);
    EXPECT_EQ(Column(frames, 1), (std::vector<std::string>{"", "Y", "", "", "Y"}));
    EXPECT_EQ(Column(frames, 2), (std::vector<std::string>{"2", "4", "2.66667", "1.33333", "0"}));
    // With the first copy out of range, the second one is the match.
    RestoreKeyframes(frames, keyframes, sources, 2, 4);
    EXPECT_EQ(Column(frames, 1), (std::vector<std::string>{"", "Y", "Y"}));
}

TEST(RestoreKeyframes, KeyframeFollowsItsImageWhenTheFirstFrameMoves) {
    const auto sources = Sources(10);
    TextGrid keyframes = MakeKeyframesTable();
    AddKeyframe(keyframes, sources[5], Dx(3));
    AddKeyframe(keyframes, sources[0], Dx(1));  // falls out of range below
    TextGrid frames = MakeFramesTable();
    RestoreKeyframes(frames, keyframes, sources, 0, 9);
    EXPECT_EQ(frames.at(6, 1), "Y");
    EXPECT_EQ(frames.at(1, 1), "Y");
    Recalculatepositions1Click(frames, 1, 9);
    RestoreKeyframes(frames, keyframes, sources, 1, 9);
    ASSERT_EQ(frames.rowCount(), 10);
    EXPECT_EQ(frames.at(5, 1), "Y");
    EXPECT_EQ(frames.at(6, 1), "");
    EXPECT_EQ(Column(frames, 2), std::vector<std::string>(9, "3"));
    // The out-of-range keyframe stays stored.
    EXPECT_EQ(FindKeyframe(keyframes, sources[0]), 2);
}

TEST(RestoreKeyframes, KeyframesAtFirstAndLastOnly) {
    const auto sources = Sources(5);
    TextGrid keyframes = MakeKeyframesTable();
    AddKeyframe(keyframes, sources[4], {8, -4, 0, 0, 0, 0, 100});
    AddKeyframe(keyframes, sources[0], {0, 0, 0, 0, 0, 0, 0});
    TextGrid frames = MakeFramesTable();
    RestoreKeyframes(frames, keyframes, sources, 0, 4);
    EXPECT_EQ(Column(frames, 2), (std::vector<std::string>{"0", "2", "4", "6", "8"}));
    EXPECT_EQ(Column(frames, 3), (std::vector<std::string>{"0", "-1", "-2", "-3", "-4"}));
    EXPECT_EQ(Column(frames, 8), (std::vector<std::string>{"0", "25", "50", "75", "100"}));
}

TEST(RestoreKeyframes, CopiesTextsVerbatimThenRewritesThemAsG) {
    const auto sources = Sources(2);
    TextGrid keyframes = MakeKeyframesTable();
    AddKeyframe(keyframes, sources[0], KeyframeValues{});
    keyframes.set(1, 1, "12.3456789");
    keyframes.set(1, 2, "  3.50");
    keyframes.set(1, 3, "junk");
    keyframes.set(1, 4, "1e7");
    TextGrid frames = MakeFramesTable();
    RestoreKeyframes(frames, keyframes, sources, 0, 1);
    EXPECT_EQ(frames.at(1, 2), "12.3457");
    EXPECT_EQ(frames.at(1, 3), "3.5");
    EXPECT_EQ(frames.at(1, 4), "0");
    EXPECT_EQ(frames.at(1, 5), "1e+07");
    EXPECT_EQ(keyframes.at(1, 1), "12.3456789");  // the keyframes table itself is not rewritten
}

TEST(RestoreKeyframes, RangeBeyondTheSourceListNeverMatches) {
    TextGrid keyframes = MakeKeyframesTable();
    AddKeyframe(keyframes, "", Dx(5));  // an empty key must not match a missing source
    AddKeyframe(keyframes, "b", Dx(2));
    TextGrid frames = MakeFramesTable();
    RestoreKeyframes(frames, keyframes, {"a", "b"}, 0, 3);
    EXPECT_EQ(Column(frames, 1), (std::vector<std::string>{"", "Y", "", ""}));
    EXPECT_EQ(Column(frames, 2), std::vector<std::string>(4, "2"));
    RestoreKeyframes(frames, keyframes, {}, 0, 0);  // empty source list: one frame, nothing matches
    EXPECT_EQ(frames.rowCount(), 2);
    EXPECT_EQ(frames.at(1, 1), "");
    RestoreKeyframes(frames, keyframes, {"a"}, -2, 0);
    EXPECT_EQ(frames.rowCount(), 4);
}

// The placement rules, written as plainly as possible: for each keyframe row in order, the first
// frame of the range whose path equals the key exactly takes that row's values.
std::vector<int> PlainPlacement(const TextGrid& keyframes, const std::vector<std::string>& sources, int first,
                                int last) {
    const int n = FrameCount(first, last);
    std::vector<int> rowOfFrame(static_cast<std::size_t>(n), 0);
    for (int i = 1; i < keyframes.rowCount(); ++i) {
        for (int k = 0; k < n; ++k) {
            const long long source = static_cast<long long>(first) + k;
            if (source < 0 || source >= static_cast<long long>(sources.size())) continue;
            if (sources[static_cast<std::size_t>(source)] != keyframes.at(i, 0)) continue;
            rowOfFrame[static_cast<std::size_t>(k)] = i;
            break;
        }
    }
    return rowOfFrame;
}

TEST(RestoreKeyframes, PlacementFollowsThePlainRulesOnRandomTables) {
    // Duplicates, keys differing only in case or by a trailing blank, an empty path, missing keys.
    const std::vector<std::string> names = {"a", "A", "b", "dup", "dup", "c", "", "a "};
    std::mt19937 rng(17);
    std::uniform_int_distribution<int> pickName(0, static_cast<int>(names.size()) - 1);
    std::uniform_int_distribution<int> count(0, 9);
    std::uniform_int_distribution<int> frame(-3, 11);
    for (int round = 0; round < 3000; ++round) {
        std::vector<std::string> sources;
        for (int i = count(rng); i > 0; --i) sources.push_back(names[static_cast<std::size_t>(pickName(rng))]);
        TextGrid keyframes = MakeKeyframesTable();
        for (int i = count(rng); i > 0; --i) {
            const std::string key = pickName(rng) == 0 ? "missing" : names[static_cast<std::size_t>(pickName(rng))];
            AddKeyframe(keyframes, key, Dx(keyframes.rowCount()));  // DX names the row
        }
        const int first = frame(rng), last = frame(rng);
        TextGrid frames = MakeFramesTable();
        RestoreKeyframes(frames, keyframes, sources, first, last);
        const std::vector<int> expected = PlainPlacement(keyframes, sources, first, last);
        ASSERT_EQ(frames.rowCount(), static_cast<int>(expected.size()) + 1);
        for (std::size_t k = 0; k < expected.size(); ++k) {
            const int r = static_cast<int>(k) + 1;
            ASSERT_EQ(frames.at(r, 1), expected[k] ? "Y" : "") << "round " << round << " frame " << k;
            if (expected[k]) {
                ASSERT_EQ(frames.at(r, 2), std::to_string(expected[k])) << "round " << round;
            }
        }
    }
}

// Opening a large project runs this once; it must stay linear in frames plus keyframes.
// Linear, not quadratic: 20000 frames and keyframes take well under a second, or (in a sanitizer build
// on a loaded machine, where milliseconds say little) well under the hundredfold time of 2000 that a
// walk per keyframe takes.
TEST(RestoreKeyframes, TwentyThousandFramesInLinearTime) {
    const std::string folder = "/home/photographer/Pictures/2026 product shoot/turntable series A/raw exports/IMG_";
    const auto restore = [&](int count, TextGrid& frames) {
        std::vector<std::string> sources;
        for (int i = 0; i < count; ++i) sources.push_back(folder + std::to_string(100000 + i) + ".jpg");
        TextGrid keyframes = MakeKeyframesTable();
        // Every other one matches nothing in the range (other case), the worst case of a walk per keyframe.
        for (int i = 0; i < count; ++i) {
            std::string key = sources[static_cast<std::size_t>(i)];
            if (i % 2) key.replace(key.size() - 3, 3, "JPG");
            AddKeyframe(keyframes, key, Dx(i));
        }
        frames = MakeFramesTable();
        const auto start = std::chrono::steady_clock::now();
        RestoreKeyframes(frames, keyframes, sources, 0, count - 1);
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    };
    TextGrid small = MakeFramesTable(), frames = MakeFramesTable();
    double smallMs = restore(2000, small);
    for (int i = 0; i < 2; ++i) smallMs = std::min(smallMs, restore(2000, small));
    const double largeMs = restore(20000, frames);
    std::printf("[  MEASURE ] RestoreKeyframes: 2000 frames and keyframes %.1f ms, 20000: %.1f ms\n", smallMs, largeMs);
    EXPECT_TRUE(largeMs < 1000 || largeMs < 30 * smallMs) << largeMs << " ms against " << smallMs << " ms";
    EXPECT_EQ(frames.at(1, 1), "Y");
    EXPECT_EQ(frames.at(2, 1), "");
    EXPECT_EQ(frames.at(2, 2), "1");  // halfway between the keyframes on frames 0 and 2
    EXPECT_EQ(frames.at(19999, 2), "19998");
}

TEST(Recalculatepositions, FourFrames) {
    TextGrid frames = MakeFramesTable();
    FrameRangeControls controls = Recalculatepositions1Click(frames, 3, 6);
    EXPECT_EQ(controls.interlaceEntries, (std::vector<std::string>{" ", "0", "1", "2", "3"}));
    EXPECT_EQ(controls.interlaceIndex, 0);
    EXPECT_EQ(controls.sliderMaximum, 3);
    ASSERT_EQ(frames.rowCount(), 5);
    EXPECT_EQ(Column(frames, 0), (std::vector<std::string>{"0", "1", "2", "3"}));
    // New rows stay empty until the next RestoreKeyframes.
    EXPECT_EQ(Column(frames, 2), std::vector<std::string>(4, ""));
}

TEST(Recalculatepositions, DegenerateRanges) {
    TextGrid frames = MakeFramesTable();
    FrameRangeControls one = Recalculatepositions1Click(frames, 0, 0);
    EXPECT_EQ(one.interlaceEntries, (std::vector<std::string>{" ", "0"}));
    EXPECT_EQ(one.sliderMaximum, 0);
    FrameRangeControls none = Recalculatepositions1Click(frames, 5, 2);
    EXPECT_EQ(none.interlaceEntries, (std::vector<std::string>{" "}));
    EXPECT_EQ(none.sliderMaximum, 0);
    EXPECT_EQ(frames.rowCount(), 1);
    EXPECT_EQ(FrameCount(INT_MIN, INT_MAX), INT_MAX - 1);
    EXPECT_EQ(FrameCount(INT_MAX, INT_MIN), 0);
    RestoreKeyframes(frames, MakeKeyframesTable(), Sources(3), 2, 1);
    EXPECT_EQ(frames.rowCount(), 1);
    EXPECT_EQ(frames.at(0, 2), "DX");
}

}  // namespace
}  // namespace turnlet
