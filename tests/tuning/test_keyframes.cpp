// SPDX-License-Identifier: MIT
// Keyframes table: lookup by exact key, first-match semantics, number texts.
#include <gtest/gtest.h>

#include "tuning/keyframes.h"

namespace turnlet {
namespace {

const KeyframeValues kZero{};

std::vector<std::string> Row(const TextGrid& grid, int r) {
    return grid.row(r);
}

TEST(Keyframes, AddWritesKeyAndShortestNumbers) {
    TextGrid keyframes = MakeKeyframesTable();
    ASSERT_EQ(keyframes.rowCount(), 1);
    AddKeyframe(keyframes, "/p/a.jpg", {3.5, -2, 1, 0, 10, 2.0 / 3.0, 1e-7});
    ASSERT_EQ(keyframes.rowCount(), 2);
    EXPECT_EQ(Row(keyframes, 1),
              (std::vector<std::string>{"/p/a.jpg", "3.5", "-2", "1", "0", "10", "0.666666666666667", "1E-7"}));
    EXPECT_EQ(Row(keyframes, 0), std::vector<std::string>(8));  // row 0 never holds a keyframe
    // Add does not look for an existing row.
    AddKeyframe(keyframes, "/p/a.jpg", kZero);
    EXPECT_EQ(keyframes.rowCount(), 3);
}

TEST(Keyframes, FindIsExactAndCaseSensitive) {
    TextGrid keyframes = MakeKeyframesTable();
    AddKeyframe(keyframes, "/p/A.jpg", kZero);
    AddKeyframe(keyframes, "/p/b.jpg", kZero);
    EXPECT_EQ(FindKeyframe(keyframes, "/p/A.jpg"), 1);
    EXPECT_EQ(FindKeyframe(keyframes, "/p/b.jpg"), 2);
    EXPECT_EQ(FindKeyframe(keyframes, "/p/a.jpg"), -1);
    EXPECT_EQ(FindKeyframe(keyframes, "/p/b.jpg "), -1);
    // Row 0 is never a keyframe, even when its key cell happens to match.
    keyframes.set(0, 0, "ghost");
    EXPECT_EQ(FindKeyframe(keyframes, "ghost"), -1);
    EXPECT_EQ(FindKeyframe(keyframes, ""), -1);
}

TEST(Keyframes, ChangeRewritesOrAppends) {
    TextGrid keyframes = MakeKeyframesTable();
    ChangeKeyframe(keyframes, "a", {1, 2, 3, 4, 5, 6, 7});
    ChangeKeyframe(keyframes, "b", kZero);
    ChangeKeyframe(keyframes, "a", {6.66667, 0, 0, 0, 0, 0, -180});
    ASSERT_EQ(keyframes.rowCount(), 3);
    EXPECT_EQ(Row(keyframes, 1), (std::vector<std::string>{"a", "6.66667", "0", "0", "0", "0", "0", "-180"}));
    EXPECT_EQ(keyframes.at(2, 0), "b");
}

TEST(Keyframes, DuplicateKeysActOnTheFirstRow) {
    TextGrid keyframes = MakeKeyframesTable();
    AddKeyframe(keyframes, "x", {1, 0, 0, 0, 0, 0, 0});
    AddKeyframe(keyframes, "y", {2, 0, 0, 0, 0, 0, 0});
    AddKeyframe(keyframes, "x", {3, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(FindKeyframe(keyframes, "x"), 1);

    ChangeKeyframe(keyframes, "x", {9, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(keyframes.at(1, 1), "9");
    EXPECT_EQ(keyframes.at(3, 1), "3");

    DeleteKeyframe(keyframes, "x");
    ASSERT_EQ(keyframes.rowCount(), 3);
    EXPECT_EQ(keyframes.at(1, 0), "y");
    EXPECT_EQ(keyframes.at(2, 0), "x");
    EXPECT_EQ(keyframes.at(2, 1), "3");
}

TEST(Keyframes, DeleteMovesLaterRowsUpWhole) {
    TextGrid keyframes = MakeKeyframesTable();
    AddKeyframe(keyframes, "a", {1, 1, 1, 1, 1, 1, 1});
    AddKeyframe(keyframes, "b", {2, 2, 2, 2, 2, 2, 2});
    AddKeyframe(keyframes, "c", {3, 3, 3, 3, 3, 3, 3});
    DeleteKeyframe(keyframes, "a");
    ASSERT_EQ(keyframes.rowCount(), 3);
    EXPECT_EQ(Row(keyframes, 1), (std::vector<std::string>{"b", "2", "2", "2", "2", "2", "2", "2"}));
    EXPECT_EQ(Row(keyframes, 2), (std::vector<std::string>{"c", "3", "3", "3", "3", "3", "3", "3"}));

    DeleteKeyframe(keyframes, "missing");
    EXPECT_EQ(keyframes.rowCount(), 3);
    DeleteKeyframe(keyframes, "c");
    DeleteKeyframe(keyframes, "b");
    EXPECT_EQ(keyframes.rowCount(), 1);
    DeleteKeyframe(keyframes, "b");
    EXPECT_EQ(keyframes.rowCount(), 1);
    AddKeyframe(keyframes, "a", kZero);
    ClearKeyframes(keyframes);
    EXPECT_EQ(keyframes.rowCount(), 1);
}

}  // namespace
}  // namespace turnlet
