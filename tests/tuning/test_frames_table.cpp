// SPDX-License-Identifier: MIT
// The frames of the turn: cyclic interpolation, keyframe placement by image path, the table's number form.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <random>

#include "base/number_text.h"
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

// One value of every frame as the frames table shows it.
std::vector<std::string> Column(const FrameRows& frames, int value) {
    std::vector<std::string> cells;
    for (const FrameRow& frame : frames) cells.push_back(FormatG(frame.values[static_cast<std::size_t>(value)]));
    return cells;
}

// "Y" for a frame a keyframe lands on, "." for the others.
std::string Keys(const FrameRows& frames) {
    std::string keys;
    for (const FrameRow& frame : frames) keys += frame.key ? 'Y' : '.';
    return keys;
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
    const Keyframes keyframes = {{sources[2], Dx(0)}, {sources[6], Dx(8)}};
    const FrameRows frames = RestoreKeyframes(keyframes, sources, 0, 9);

    ASSERT_EQ(frames.size(), 10u);
    EXPECT_EQ(Column(frames, kDX),
              (std::vector<std::string>{"2.66667", "1.33333", "0", "2", "4", "6", "8", "6.66667", "5.33333", "4"}));
    EXPECT_EQ(Keys(frames), "..Y...Y...");
    for (int c = kDY; c <= kGamma; ++c) EXPECT_EQ(Column(frames, c), std::vector<std::string>(10, "0")) << c;
}

TEST(RestoreKeyframes, OneKeyframeHoldsEverywhere) {
    const auto sources = Sources(6);
    const FrameRows frames = RestoreKeyframes({{sources[4], {0, 0, 10, 0, 0, 0, 0}}}, sources, 0, 5);
    EXPECT_EQ(Column(frames, kAngle), std::vector<std::string>(6, "10"));
    EXPECT_EQ(Keys(frames), "....Y.");
    EXPECT_EQ(Column(frames, kDX), std::vector<std::string>(6, "0"));
}

TEST(RestoreKeyframes, NoKeyframesGivesZeros) {
    const FrameRows frames = RestoreKeyframes({}, Sources(3), 0, 2);
    EXPECT_EQ(frames, FrameRows(3));
}

TEST(RestoreKeyframes, DeletingTheOnlyKeyframeZeroesAll) {
    const auto sources = Sources(4);
    Keyframes keyframes = {{sources[1], {1, 2, 3, 4, 5, 6, 7}}};
    EXPECT_EQ(Column(RestoreKeyframes(keyframes, sources, 0, 3), kGamma), std::vector<std::string>(4, "7"));
    DeleteKeyframe(keyframes, sources[1]);
    EXPECT_EQ(RestoreKeyframes(keyframes, sources, 0, 3), FrameRows(4));
}

TEST(RestoreKeyframes, LaterOfTwoKeyframesWithOneKeyShows) {
    const auto sources = Sources(3);
    Keyframes keyframes = {{sources[1], Dx(5)}, {sources[1], Dx(9)}};
    auto dx = [&] { return Column(RestoreKeyframes(keyframes, sources, 0, 2), kDX); };
    EXPECT_EQ(dx(), std::vector<std::string>(3, "9"));
    // Change and Delete act on the first; the later one keeps showing until it goes too.
    ChangeKeyframe(keyframes, sources[1], Dx(1));
    EXPECT_EQ(dx(), std::vector<std::string>(3, "9"));
    DeleteKeyframe(keyframes, sources[1]);
    EXPECT_EQ(dx(), std::vector<std::string>(3, "9"));
    DeleteKeyframe(keyframes, sources[1]);
    EXPECT_EQ(dx(), std::vector<std::string>(3, "0"));
}

TEST(RestoreKeyframes, SameImageTwiceAppliesToTheFirstOnly) {
    std::vector<std::string> sources = {"a", "dup", "b", "dup", "c"};
    const Keyframes keyframes = {{"dup", Dx(4)}, {"c", Dx(0)}};
    FrameRows frames = RestoreKeyframes(keyframes, sources, 0, 4);
    EXPECT_EQ(Keys(frames), ".Y..Y");
    EXPECT_EQ(Column(frames, kDX), (std::vector<std::string>{"2", "4", "2.66667", "1.33333", "0"}));
    // With the first copy out of range, the second one is the match.
    EXPECT_EQ(Keys(RestoreKeyframes(keyframes, sources, 2, 4)), ".YY");
}

TEST(RestoreKeyframes, KeyframeFollowsItsImageWhenTheFirstFrameMoves) {
    const auto sources = Sources(10);
    const Keyframes keyframes = {{sources[5], Dx(3)}, {sources[0], Dx(1)}};  // the second falls out below
    EXPECT_EQ(Keys(RestoreKeyframes(keyframes, sources, 0, 9)), "Y....Y....");
    const FrameRows frames = RestoreKeyframes(keyframes, sources, 1, 9);
    EXPECT_EQ(Keys(frames), "....Y....");
    EXPECT_EQ(Column(frames, kDX), std::vector<std::string>(9, "3"));
}

TEST(RestoreKeyframes, KeyframesAtFirstAndLastOnly) {
    const auto sources = Sources(5);
    const FrameRows frames =
        RestoreKeyframes({{sources[4], {8, -4, 0, 0, 0, 0, 100}}, {sources[0], {}}}, sources, 0, 4);
    EXPECT_EQ(Column(frames, kDX), (std::vector<std::string>{"0", "2", "4", "6", "8"}));
    EXPECT_EQ(Column(frames, kDY), (std::vector<std::string>{"0", "-1", "-2", "-3", "-4"}));
    EXPECT_EQ(Column(frames, kGamma), (std::vector<std::string>{"0", "25", "50", "75", "100"}));
}

TEST(RestoreKeyframes, EveryValueTakesTheTablesForm) {
    const auto sources = Sources(2);
    const Keyframes keyframes = {{sources[0], {12.3456789, 3.5, -0.0000123456789, 1e7, 0.1 + 0.2, 0, 0}}};
    const FrameRows frames = RestoreKeyframes(keyframes, sources, 0, 1);
    const KeyframeValues expected = {12.3457, 3.5, -1.23457e-05, 1e7, 0.3, 0, 0};
    EXPECT_EQ(frames[0].values, expected);
    EXPECT_EQ(frames[1].values, expected);  // the interpolated frame too
    for (double value : {12.3456789, 2.0 / 3.0, -1e-300, 1e300})
        EXPECT_EQ(FrameNumber(FrameNumber(value)), FrameNumber(value));
    EXPECT_EQ(keyframes[0].values[kDX], 12.3456789);  // the keyframes themselves are not rewritten
}

TEST(RestoreKeyframes, RangeBeyondTheSourceListNeverMatches) {
    const Keyframes keyframes = {{"", Dx(5)}, {"b", Dx(2)}};  // an empty key must not match a missing source
    const FrameRows frames = RestoreKeyframes(keyframes, {"a", "b"}, 0, 3);
    EXPECT_EQ(Keys(frames), ".Y..");
    EXPECT_EQ(Column(frames, kDX), std::vector<std::string>(4, "2"));
    EXPECT_EQ(RestoreKeyframes(keyframes, {}, 0, 0), FrameRows(1));  // no sources: one frame, nothing matches
    EXPECT_EQ(RestoreKeyframes(keyframes, {"a"}, -2, 0).size(), 3u);
}

TEST(RestoreKeyframes, DegenerateRanges) {
    EXPECT_EQ(FrameCount(3, 6), 4);
    EXPECT_EQ(FrameCount(0, 0), 1);
    EXPECT_EQ(FrameCount(5, 2), 0);
    EXPECT_EQ(FrameCount(INT_MIN, INT_MAX), INT_MAX - 1);
    EXPECT_EQ(FrameCount(INT_MAX, INT_MIN), 0);
    EXPECT_TRUE(RestoreKeyframes({{"a", Dx(1)}}, Sources(3), 2, 1).empty());
}

// The placement rules, written as plainly as possible: for each keyframe in order, the first frame
// of the range whose path equals the key exactly takes its values. 0 for no keyframe, else its
// index + 1.
std::vector<int> PlainPlacement(const Keyframes& keyframes, const std::vector<std::string>& sources, int first,
                                int last) {
    const int n = FrameCount(first, last);
    std::vector<int> keyOfFrame(static_cast<std::size_t>(n), 0);
    for (std::size_t i = 0; i < keyframes.size(); ++i) {
        for (int k = 0; k < n; ++k) {
            const long long source = static_cast<long long>(first) + k;
            if (source < 0 || source >= static_cast<long long>(sources.size())) continue;
            if (sources[static_cast<std::size_t>(source)] != keyframes[i].path) continue;
            keyOfFrame[static_cast<std::size_t>(k)] = static_cast<int>(i) + 1;
            break;
        }
    }
    return keyOfFrame;
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
        Keyframes keyframes;
        for (int i = count(rng); i > 0; --i) {
            const std::string key = pickName(rng) == 0 ? "missing" : names[static_cast<std::size_t>(pickName(rng))];
            keyframes.push_back({key, Dx(static_cast<double>(keyframes.size()) + 1)});  // DX names the keyframe
        }
        const int first = frame(rng), last = frame(rng);
        const FrameRows frames = RestoreKeyframes(keyframes, sources, first, last);
        const std::vector<int> expected = PlainPlacement(keyframes, sources, first, last);
        ASSERT_EQ(frames.size(), expected.size());
        for (std::size_t k = 0; k < expected.size(); ++k) {
            ASSERT_EQ(frames[k].key, expected[k] != 0) << "round " << round << " frame " << k;
            if (expected[k]) {
                ASSERT_EQ(frames[k].values[kDX], expected[k]) << "round " << round;
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
    const auto restore = [&](int count, FrameRows& frames) {
        std::vector<std::string> sources;
        for (int i = 0; i < count; ++i) sources.push_back(folder + std::to_string(100000 + i) + ".jpg");
        Keyframes keyframes;
        // Every other one matches nothing in the range (other case), the worst case of a walk per keyframe.
        for (int i = 0; i < count; ++i) {
            std::string key = sources[static_cast<std::size_t>(i)];
            if (i % 2) key.replace(key.size() - 3, 3, "JPG");
            keyframes.push_back({key, Dx(i)});
        }
        const auto start = std::chrono::steady_clock::now();
        frames = RestoreKeyframes(keyframes, sources, 0, count - 1);
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    };
    FrameRows small, frames;
    double smallMs = restore(2000, small);
    for (int i = 0; i < 2; ++i) smallMs = std::min(smallMs, restore(2000, small));
    const double largeMs = restore(20000, frames);
    std::printf("[  MEASURE ] RestoreKeyframes: 2000 frames and keyframes %.1f ms, 20000: %.1f ms\n", smallMs, largeMs);
    EXPECT_TRUE(largeMs < 1000 || largeMs < 30 * smallMs) << largeMs << " ms against " << smallMs << " ms";
    EXPECT_TRUE(frames[0].key);
    EXPECT_FALSE(frames[1].key);
    EXPECT_EQ(frames[1].values[kDX], 1);  // halfway between the keyframes on frames 0 and 2
    EXPECT_EQ(frames[19998].values[kDX], 19998);
}

}  // namespace
}  // namespace turnlet
