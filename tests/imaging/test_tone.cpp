// SPDX-License-Identifier: MIT
// Tone adjustment: the worked values, the table against the formula, and pictures mapped byte by byte.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <tuple>
#include <vector>

#include "imaging/tone.h"
#include "kernel_level_test_util.h"
#include "pixel_test_util.h"

namespace turnlet {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(AdjustPixelTone, NeutralValuesChangeNothing) {
    for (int v = 0; v < 256; ++v) EXPECT_EQ(AdjustPixelTone(v, 0, 0, 0), v);
    std::mt19937 rng(3);
    const Picture original = testing::RandomPicture(33, 17, rng);
    Picture p = original;
    AdjustTone(p, 0, 0, 0);
    EXPECT_EQ(p, original);
    AdjustTone(p, -0.0, 0, -0.0);
    EXPECT_EQ(p, original);
}

TEST(AdjustPixelTone, WorkedValues) {
    for (int v = 0; v < 256; ++v) {
        EXPECT_EQ(AdjustPixelTone(v, -100, 0, 0), 0) << v;
        EXPECT_EQ(AdjustPixelTone(v, 0, -100, 0), 127) << v;
        EXPECT_EQ(AdjustPixelTone(v, 100, 0, 0) == 255, v >= 59) << v;
        const std::uint8_t contrast = AdjustPixelTone(v, 0, 100, 0);
        const int expected = v <= 98 ? 0 : v >= 157 ? 255 : -1;
        if (expected >= 0) {
            EXPECT_EQ(contrast, expected) << v;
        } else {
            EXPECT_TRUE(contrast > 0 && contrast < 255) << v;
        }
    }
    EXPECT_EQ(AdjustPixelTone(100, -50, 0, 0), 50);  // halves
    EXPECT_EQ(AdjustPixelTone(100, 30, 0, 0), 200);  // doubles
    EXPECT_EQ(AdjustPixelTone(255, 0, 0, 100), 255);
    EXPECT_EQ(AdjustPixelTone(128, 0, 0, -100), static_cast<int>(std::pow(128 / 255.0, 6.0) * 255));
}

TEST(AdjustPixelTone, BlackStaysBlackWithoutNegativeContrast) {
    for (double b : {-100.0, -37.5, 0.0, 12.0, 100.0})
        for (double c : {0.0, 0.5, 40.0, 100.0})
            for (double g : {-100.0, -1.0, 0.0, 33.3, 100.0}) EXPECT_EQ(AdjustPixelTone(0, b, c, g), 0);
}

TEST(AdjustPixelTone, OutOfRangeValuesAreClamped) {
    for (int v = 0; v < 256; v += 5) {
        EXPECT_EQ(AdjustPixelTone(v, -500, 0, 0), AdjustPixelTone(v, -100, 0, 0));
        EXPECT_EQ(AdjustPixelTone(v, 0, 1e9, 0), AdjustPixelTone(v, 0, 100, 0));
        EXPECT_EQ(AdjustPixelTone(v, 0, 0, -120), AdjustPixelTone(v, 0, 0, -100));
        EXPECT_EQ(AdjustPixelTone(v, 0, 0, -kInf), AdjustPixelTone(v, 0, 0, -100));
        EXPECT_EQ(AdjustPixelTone(v, kNaN, 10, 0), AdjustPixelTone(v, 0, 10, 0));
        EXPECT_EQ(AdjustPixelTone(v, kNaN, kNaN, kNaN), v);
    }
    EXPECT_EQ(AdjustPixelTone(-7, 10, 0, 0), AdjustPixelTone(0, 10, 0, 0));
    EXPECT_EQ(AdjustPixelTone(1000, 0, 0, 0), 255);
    Picture p = testing::Pattern(4, 4);
    AdjustTone(p, kNaN, kInf, -1e300);  // must simply not fail
}

// The formula written out once more, independently of the library's layout.
int Formula(int v, double b, double c, double g) {
    if (b == 0 && c == 0 && g == 0) return v;
    double x = v / 255.0;
    x = b < 0 ? x * (100 + b) * 0.01 : x * (30 + b) / 30;
    x = c < 0 ? (x - 0.5) * (100 + c) * 0.01 + 0.5 : (x - 0.5) * (30 + c) / 30 + 0.5;
    if (x < 0) x = 0;
    x = g < 0 ? std::pow(x, 120 / (120 + g)) : std::pow(x, 20 / (20 + g));
    return x > 1 ? 255 : static_cast<int>(x * 255);
}

TEST(ToneTable, EqualsAdjustPixelToneOverAGrid) {
    std::vector<double> grid;
    for (int t = -100; t <= 100; t += 7) grid.push_back(t);
    for (double t : {33.3, -0.5, 0.0, 100.0, -99.999, 1e-9}) grid.push_back(t);
    for (double b : grid)
        for (double c : grid)
            for (double g : grid) {
                const auto table = ToneTable(b, c, g);
                for (int v = 0; v < 256; ++v)
                    ASSERT_EQ(table[v], AdjustPixelTone(v, b, c, g)) << v << " " << b << " " << c << " " << g;
            }
}

TEST(AdjustPixelTone, FollowsTheStepsInOrder) {
    for (double b = -100; b <= 100; b += 12.5)
        for (double c = -100; c <= 100; c += 12.5)
            for (double g = -100; g <= 100; g += 12.5)
                for (int v = 0; v < 256; v += 3)
                    ASSERT_EQ(AdjustPixelTone(v, b, c, g), Formula(v, b, c, g))
                        << v << " " << b << " " << c << " " << g;
}

TEST(AdjustTone, MapsEveryByteThroughTheFormula) {
    std::mt19937 rng(5);
    // Odd widths leave a tail after the wide steps; the big one runs on several threads.
    for (auto [w, h] : {std::pair{1, 1}, {3, 1}, {5, 7}, {641, 480}}) {
        const Picture original = testing::RandomPicture(w, h, rng);
        for (auto [b, c, g] : {std::tuple{10.0, 15.0, -20.0}, {-100.0, 0.0, 0.0}, {0.0, -33.3, 55.5}}) {
            Picture p = original;
            AdjustTone(p, b, c, g);
            for (std::size_t i = 0; i < p.byteSize(); ++i)
                ASSERT_EQ(p.data()[i], AdjustPixelTone(original.data()[i], b, c, g)) << w << "x" << h << " byte " << i;
        }
    }
    Picture empty;
    AdjustTone(empty, 10, 10, 10);
    EXPECT_TRUE(empty.empty());
}

// Each path the machine has maps every byte through ToneTable, the one statement of the formula;
// odd lengths leave tails after the 64-byte steps.
class AdjustTonePaths : public testing::KernelLevelTest {};
TURNLET_KERNEL_LEVELS(AdjustTonePaths);

TEST_P(AdjustTonePaths, EveryByteThroughTheTable) {
    std::mt19937 rng(6);
    for (auto [w, h] : {std::pair{333, 7}, {21, 1}, {22, 3}, {700, 500}}) {
        const Picture original = testing::RandomPicture(w, h, rng);
        for (auto [b, c, g] : {std::tuple{20.0, -40.0, 60.0}, {-100.0, 100.0, 0.0}, {0.5, 0.0, -99.5}}) {
            Picture p = original;
            AdjustTone(p, b, c, g);
            ExpectRan(Kernel::Tone, "tone", Highest({KernelLevel::Portable, KernelLevel::Avx512Vbmi}));
            const auto table = ToneTable(b, c, g);
            for (std::size_t i = 0; i < p.byteSize(); ++i)
                ASSERT_EQ(p.data()[i], table[original.data()[i]]) << w << "x" << h << " byte " << i;
        }
    }
}

}  // namespace
}  // namespace turnlet
