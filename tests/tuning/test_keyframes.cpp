// SPDX-License-Identifier: MIT
// Keyframes: lookup by exact key, first-match semantics, values in the project file's number form.
#include <gtest/gtest.h>

#include "base/number_text.h"
#include "tuning/keyframes.h"

namespace turnlet {
namespace {

const KeyframeValues kZero{};

KeyframeValues Dx(double dx) {
    return {dx, 0, 0, 0, 0, 0, 0};
}

std::vector<std::string> Paths(const Keyframes& keyframes) {
    std::vector<std::string> paths;
    for (const Keyframe& keyframe : keyframes) paths.push_back(keyframe.path);
    return paths;
}

TEST(Keyframes, ChangeStoresTheValuesAsTheFileWritesThem) {
    Keyframes keyframes;
    ChangeKeyframe(keyframes, "/p/a.jpg", {3.5, -2, 1, 0, 10, 2.0 / 3.0, 1e-7});
    ASSERT_EQ(keyframes.size(), 1u);
    std::vector<std::string> texts;
    for (double value : keyframes[0].values) texts.push_back(FormatKeyframeNumber(value));
    EXPECT_EQ(texts, (std::vector<std::string>{"3.5", "-2", "1", "0", "10", "0.666666666666667", "1E-7"}));
    // 2/3 itself does not survive a save; the stored value is the one a reopened project holds.
    EXPECT_NE(keyframes[0].values[kContrast], 2.0 / 3.0);
    EXPECT_EQ(keyframes[0].values[kContrast], ParseLeadingReal("0.666666666666667"));
    for (double value : {0.1 + 0.2, 1e300, -1e-300, 123456789012345678.0})
        EXPECT_EQ(KeyframeNumber(KeyframeNumber(value)), KeyframeNumber(value)) << value;
}

TEST(Keyframes, FindIsExactAndCaseSensitive) {
    Keyframes keyframes;
    ChangeKeyframe(keyframes, "/p/A.jpg", kZero);
    ChangeKeyframe(keyframes, "/p/b.jpg", kZero);
    EXPECT_EQ(FindKeyframe(keyframes, "/p/A.jpg"), 0);
    EXPECT_EQ(FindKeyframe(keyframes, "/p/b.jpg"), 1);
    EXPECT_EQ(FindKeyframe(keyframes, "/p/a.jpg"), -1);
    EXPECT_EQ(FindKeyframe(keyframes, "/p/b.jpg "), -1);
    EXPECT_EQ(FindKeyframe(keyframes, ""), -1);
    EXPECT_EQ(FindKeyframe({}, ""), -1);
}

TEST(Keyframes, ChangeRewritesOrAppends) {
    Keyframes keyframes;
    ChangeKeyframe(keyframes, "a", {1, 2, 3, 4, 5, 6, 7});
    ChangeKeyframe(keyframes, "b", kZero);
    ChangeKeyframe(keyframes, "a", {6.66667, 0, 0, 0, 0, 0, -180});
    EXPECT_EQ(keyframes, (Keyframes{{"a", {6.66667, 0, 0, 0, 0, 0, -180}}, {"b", kZero}}));
}

TEST(Keyframes, DuplicateKeysActOnTheFirst) {
    // A project file may hold two keyframes with one key.
    Keyframes keyframes = {{"x", Dx(1)}, {"y", Dx(2)}, {"x", Dx(3)}};
    EXPECT_EQ(FindKeyframe(keyframes, "x"), 0);
    ChangeKeyframe(keyframes, "x", Dx(9));
    EXPECT_EQ(keyframes, (Keyframes{{"x", Dx(9)}, {"y", Dx(2)}, {"x", Dx(3)}}));
    DeleteKeyframe(keyframes, "x");
    EXPECT_EQ(keyframes, (Keyframes{{"y", Dx(2)}, {"x", Dx(3)}}));
}

TEST(Keyframes, DeleteKeepsTheOrderOfTheOthers) {
    Keyframes keyframes;
    for (const char* key : {"a", "b", "c"}) ChangeKeyframe(keyframes, key, kZero);
    DeleteKeyframe(keyframes, "a");
    EXPECT_EQ(Paths(keyframes), (std::vector<std::string>{"b", "c"}));
    DeleteKeyframe(keyframes, "missing");
    EXPECT_EQ(Paths(keyframes), (std::vector<std::string>{"b", "c"}));
    DeleteKeyframe(keyframes, "c");
    DeleteKeyframe(keyframes, "b");
    EXPECT_TRUE(keyframes.empty());
    DeleteKeyframe(keyframes, "b");
    EXPECT_TRUE(keyframes.empty());
}

}  // namespace
}  // namespace turnlet
