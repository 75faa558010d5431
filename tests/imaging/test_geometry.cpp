// SPDX-License-Identifier: MIT
// Quarter turn, crop, resize, interlace and the row splitter.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <climits>
#include <mutex>
#include <thread>
#include <stdexcept>
#include <tuple>
#include <utility>
#include <vector>

#include "imaging/geometry.h"
#include "imaging/kernel_util.h"
#include "base/parallel.h"
#include "imaging/resize.h"
#include "kernel_level_test_util.h"
#include "pixel_test_util.h"

namespace turnlet {
namespace {

using testing::Bgr;
using testing::Filled;
using testing::Pattern;
using testing::PixelAt;

// ---- RotateQuarter ----

TEST(RotateQuarter, Turn90Of4x2) {
    const Picture src = Pattern(4, 2);
    Picture out;
    RotateQuarter(src, out, 90);
    ASSERT_EQ(out.width(), 2);
    ASSERT_EQ(out.height(), 4);
    EXPECT_EQ(PixelAt(out, 0, 0), PixelAt(src, 0, 1));
    EXPECT_EQ(PixelAt(out, 1, 0), PixelAt(src, 0, 0));
    // Top-left of the source ends top-right.
    EXPECT_EQ(PixelAt(out, 1, 0), PixelAt(src, 0, 0));
    EXPECT_EQ(PixelAt(out, 0, 3), PixelAt(src, 3, 1));
}

TEST(RotateQuarter, Turn270Of4x2) {
    const Picture src = Pattern(4, 2);
    Picture out;
    RotateQuarter(src, out, 270);
    ASSERT_EQ(out.width(), 2);
    ASSERT_EQ(out.height(), 4);
    EXPECT_EQ(PixelAt(out, 0, 0), PixelAt(src, 3, 0));
    EXPECT_EQ(PixelAt(out, 1, 0), PixelAt(src, 3, 1));
    // Top-left of the source ends bottom-left.
    EXPECT_EQ(PixelAt(out, 0, 3), PixelAt(src, 0, 0));
}

// Checks every pixel against the written formulas, on sizes that are not multiples of the tiles.
TEST(RotateQuarter, MatchesFormulaOnAllAngles) {
    for (auto [w, h] : {std::pair{1, 1}, {1, 7}, {7, 1}, {65, 3}, {130, 67}, {700, 451}}) {
        const Picture src = Pattern(w, h);
        Picture out;
        RotateQuarter(src, out, 0);
        EXPECT_EQ(out, src);

        RotateQuarter(src, out, 90);
        ASSERT_EQ(out.width(), h);
        ASSERT_EQ(out.height(), w);
        for (int y = 0; y < out.height(); ++y)
            for (int x = 0; x < out.width(); ++x) ASSERT_EQ(PixelAt(out, x, y), PixelAt(src, y, h - 1 - x));

        RotateQuarter(src, out, 180);
        ASSERT_EQ(out.width(), w);
        ASSERT_EQ(out.height(), h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) ASSERT_EQ(PixelAt(out, x, y), PixelAt(src, w - 1 - x, h - 1 - y));

        RotateQuarter(src, out, 270);
        ASSERT_EQ(out.width(), h);
        ASSERT_EQ(out.height(), w);
        for (int y = 0; y < out.height(); ++y)
            for (int x = 0; x < out.width(); ++x) ASSERT_EQ(PixelAt(out, x, y), PixelAt(src, w - 1 - y, x));
    }
}

TEST(RotateQuarter, TurnsCompose) {
    std::mt19937 rng(7);
    const Picture src = testing::RandomPicture(613, 389, rng);  // big enough to split over threads
    Picture a, b, c, d;
    RotateQuarter(src, a, 90);
    RotateQuarter(a, b, 90);
    RotateQuarter(b, c, 90);
    RotateQuarter(c, d, 90);
    EXPECT_EQ(d, src) << "four quarter turns";

    Picture half;
    RotateQuarter(src, half, 180);
    EXPECT_EQ(half, b) << "180 equals two 90s";
    Picture threeQuarters;
    RotateQuarter(src, threeQuarters, 270);
    EXPECT_EQ(threeQuarters, c) << "270 equals three 90s";

    Picture back;
    RotateQuarter(a, back, 270);
    EXPECT_EQ(back, src) << "90 then 270";
}

// Every path the machine has, held pixel by pixel to QuarterTurnSource, on sizes around the tiles
// and the 4 x 4 blocks, and with runs that end at the source's last byte.
class RotateQuarterPaths : public testing::KernelLevelTest {};
TURNLET_KERNEL_LEVELS(RotateQuarterPaths);

TEST_P(RotateQuarterPaths, EveryPixelFromQuarterTurnSource) {
    std::mt19937 rng(8);
    for (auto [w, h] : {std::pair{1, 1}, {5, 3}, {4, 4}, {7, 9}, {17, 33}, {1030, 21}, {301, 1100}}) {
        const Picture src = testing::RandomPicture(w, h, rng);
        for (int angle : {90, 180, 270}) {
            Picture out;
            RotateQuarter(src, out, angle);
            const bool sideways = angle != 180;
            ExpectRan(Kernel::QuarterTurn, "quarter turn " + std::to_string(angle),
                      sideways ? Highest({KernelLevel::Portable, KernelLevel::Ssse3}) : KernelLevel::Portable);
            ASSERT_EQ(out.width(), sideways ? h : w);
            ASSERT_EQ(out.height(), sideways ? w : h);
            for (int y = 0; y < out.height(); ++y)
                for (int x = 0; x < out.width(); ++x) {
                    const SourcePoint p = QuarterTurnSource(angle, x, y, w, h);
                    ASSERT_EQ(PixelAt(out, x, y), PixelAt(src, p.x, p.y))
                        << w << "x" << h << " angle " << angle << " at " << x << "," << y;
                }
        }
    }
}

TEST(KernelLevels, LimitCapsTheMachineLevel) {
    std::printf("[     PATH ] this machine and build run up to %s\n", KernelLevelName(CpuKernelLevel()));
#ifdef TURNLET_PORTABLE
    EXPECT_EQ(CpuKernelLevel(), KernelLevel::Portable);
#endif
    for (KernelLevel limit : kAllKernelLevels) {
        SetKernelLevelLimit(limit);
        EXPECT_EQ(ActiveKernelLevel(), std::min(limit, CpuKernelLevel())) << KernelLevelName(limit);
    }
    SetKernelLevelLimit(kTopKernelLevel);
    EXPECT_EQ(ActiveKernelLevel(), CpuKernelLevel());
}

TEST(QuarterTurnSource, WrittenRules) {
    // 4 x 2 source: 90 shows source(0, 1), source(0, 0) along the top row; 270 source(3, 0), source(3, 1).
    EXPECT_EQ(QuarterTurnSource(90, 0, 0, 4, 2), (SourcePoint{0, 1}));
    EXPECT_EQ(QuarterTurnSource(90, 1, 0, 4, 2), (SourcePoint{0, 0}));
    EXPECT_EQ(QuarterTurnSource(270, 0, 0, 4, 2), (SourcePoint{3, 0}));
    EXPECT_EQ(QuarterTurnSource(270, 1, 0, 4, 2), (SourcePoint{3, 1}));
    EXPECT_EQ(QuarterTurnSource(180, 0, 0, 4, 2), (SourcePoint{3, 1}));
    EXPECT_EQ(QuarterTurnSource(0, 2, 1, 4, 2), (SourcePoint{2, 1}));
}

TEST(RotateQuarter, OtherAnglesLeaveOutputUntouched) {
    const Picture src = Pattern(4, 2);
    for (int angle : {45, -90, 360, 1, INT_MIN, INT_MAX}) {
        Picture out = Filled(3, 5, 77);
        const Picture before = out;
        RotateQuarter(src, out, angle);
        EXPECT_EQ(out, before) << angle;
    }
}

TEST(RotateQuarter, EmptyGivesEmpty) {
    for (int angle : {0, 90, 180, 270}) {
        Picture out = Filled(3, 3, 1);
        RotateQuarter(Picture(), out, angle);
        EXPECT_TRUE(out.empty()) << angle;
        EXPECT_EQ(out.width(), 0);
    }
}

TEST(RotateQuarter, SamePictureAsSourceAndOutput) {
    Picture p = Pattern(5, 3);
    Picture expected;
    RotateQuarter(p, expected, 90);
    RotateQuarter(p, p, 90);
    EXPECT_EQ(p, expected);
}

// ---- CropPicture ----

struct CropCase {
    int left, top, width, height;
    int outLeft, outTop, outWidth, outHeight;
};

TEST(CropPicture, ClampsInTheDocumentedOrder) {
    const Picture src = Pattern(100, 50);
    const CropCase cases[] = {
        {-10, 5, 0, 1000, 0, 5, 1, 45},    // width 0 becomes 1, height runs to the bottom
        {500, 0, 10, 10, 99, 0, 1, 10},    // left beyond the picture
        {10, 20, 30, 15, 10, 20, 30, 15},  // already inside
        {0, 0, 100, 50, 0, 0, 100, 50},    // whole picture
        {90, 45, 10, 5, 90, 45, 10, 5},    // touching the far corner
        {90, 45, 11, 6, 90, 45, 10, 5},    // one past the far corner
        {0, 60, -5, -5, 0, 49, 1, 1},      // negative sizes, top beyond
        {INT_MIN, INT_MIN, INT_MAX, INT_MAX, 0, 0, 100, 50},
        {INT_MAX, INT_MAX, INT_MAX, INT_MAX, 99, 49, 1, 1},
    };
    for (const CropCase& c : cases) {
        Picture out;
        CropPicture(src, out, c.left, c.top, c.width, c.height);
        ASSERT_EQ(out.width(), c.outWidth) << c.left << "," << c.top;
        ASSERT_EQ(out.height(), c.outHeight) << c.left << "," << c.top;
        for (int y = 0; y < out.height(); ++y)
            for (int x = 0; x < out.width(); ++x)
                ASSERT_EQ(PixelAt(out, x, y), PixelAt(src, c.outLeft + x, c.outTop + y));
    }
}

TEST(CropPicture, EmptySourceGivesEmptyOutput) {
    Picture out = Filled(2, 2, 9);
    CropPicture(Picture(), out, 0, 0, 10, 10);
    EXPECT_TRUE(out.empty());
}

// ---- ResizePicture ----

TEST(ResizePicture, ThreeToFiveRepeatsColumnsAndRows) {
    const Picture src = Pattern(3, 3);
    Picture out(5, 5);
    ResizePicture(src, out);
    ASSERT_EQ(out.width(), 5);
    ASSERT_EQ(out.height(), 5);
    const int map[5] = {0, 0, 1, 1, 2};
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(PixelAt(out, x, y), PixelAt(src, map[x], map[y]));
}

TEST(ResizePicture, MatchesIntegerMapping) {
    for (auto [sw, sh, dw, dh] :
         {std::tuple{10, 7, 3, 4}, {2, 2, 9, 2}, {641, 480, 640, 481}, {1000, 300, 1001, 299}}) {
        const Picture src = Pattern(sw, sh);
        Picture out(dw, dh);
        ResizePicture(src, out);
        ASSERT_EQ(out.width(), dw);
        ASSERT_EQ(out.height(), dh);
        for (int y = 0; y < dh; ++y)
            for (int x = 0; x < dw; ++x)
                ASSERT_EQ(PixelAt(out, x, y), PixelAt(src, x * (sw - 1) / (dw - 1), y * (sh - 1) / (dh - 1)));
        // Corners land on corners.
        EXPECT_EQ(PixelAt(out, dw - 1, dh - 1), PixelAt(src, sw - 1, sh - 1));
    }
}

TEST(ResizePicture, SizeOneTakesRowAndColumnZero) {
    const Picture src = Pattern(6, 4);
    Picture row(5, 1);
    ResizePicture(src, row);
    for (int x = 0; x < 5; ++x) EXPECT_EQ(PixelAt(row, x, 0), PixelAt(src, x * 5 / 4, 0));
    Picture column(1, 3);
    ResizePicture(src, column);
    for (int y = 0; y < 3; ++y) EXPECT_EQ(PixelAt(column, 0, y), PixelAt(src, 0, y * 3 / 2));
}

TEST(ResizePicture, EmptySourceGivesZeros) {
    Picture out = Filled(4, 3, 200);
    ResizePicture(Picture(), out);
    EXPECT_EQ(out, Filled(4, 3, 0));
    Picture empty;
    ResizePicture(Pattern(3, 3), empty);
    EXPECT_TRUE(empty.empty());
}

// ---- InterlacePictures ----

TEST(InterlacePictures, TenByTenAlternatesRows) {
    const Picture first = Pattern(10, 10);
    Picture second = Filled(10, 10, 3);
    for (int y = 0; y < 10; ++y) second.pixel(y, y)[0] = 250;
    const Picture secondBefore = second;
    Picture out(10, 10);
    InterlacePictures(first, second, out);
    for (int y = 0; y < 10; ++y) {
        const Picture& from = (y % 2 == 0) ? secondBefore : first;
        for (int x = 0; x < 10; ++x) ASSERT_EQ(PixelAt(out, x, y), PixelAt(from, x, y)) << x << "," << y;
    }
    EXPECT_EQ(second, secondBefore);
}

TEST(InterlacePictures, SecondTakesFirstSizeKeepingSharedArea) {
    const Picture first = Pattern(6, 5);
    const Picture original = Filled(4, 8, 111);
    Picture second = original;
    Picture out(6, 5);
    InterlacePictures(first, second, out);
    ASSERT_EQ(second.width(), 6);
    ASSERT_EQ(second.height(), 5);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x) {
            const Bgr expected = x < 4 ? Bgr{111, 111, 111} : Bgr{0, 0, 0};  // added area is black
            ASSERT_EQ(PixelAt(second, x, y), expected) << x << "," << y;
            if (y % 2 == 0) {
                ASSERT_EQ(PixelAt(out, x, y), expected);
            }
        }
}

TEST(InterlacePictures, MapsRowsAndColumnsOntoOutputSize) {
    const Picture first = Pattern(7, 9);
    Picture second = Pattern(7, 9);
    for (std::size_t i = 0; i < second.byteSize(); i += 3) second.data()[i + 2] ^= 0xFF;
    for (auto [ow, oh] : {std::pair{3, 4}, {13, 17}, {7, 9}, {1, 5}, {5, 1}, {1, 1}}) {
        Picture out(ow, oh);
        InterlacePictures(first, second, out);
        ASSERT_EQ(out.width(), ow);
        ASSERT_EQ(out.height(), oh);
        for (int y = 0; y < oh; ++y) {
            const Picture& from = (y % 2 == 1) ? first : second;
            const int sy = oh == 1 ? 0 : y * 8 / (oh - 1);
            for (int x = 0; x < ow; ++x) {
                const int sx = ow == 1 ? 0 : x * 6 / (ow - 1);
                ASSERT_EQ(PixelAt(out, x, y), PixelAt(from, sx, sy)) << ow << "x" << oh << " at " << x << "," << y;
            }
        }
    }
}

TEST(InterlacePictures, EmptyFirstGivesZeros) {
    Picture second = Pattern(3, 3);
    Picture out = Filled(4, 4, 50);
    InterlacePictures(Picture(), second, out);
    EXPECT_EQ(out, Filled(4, 4, 0));
    EXPECT_TRUE(second.empty());
}

// ---- ParallelRows ----

TEST(ParallelRows, CoversEveryRowOnce) {
    for (auto [rows, cost] : {std::pair{0, 1LL},
                              {1, 1LL << 40},
                              {2, 1000000LL},
                              {7, 1LL},
                              {1001, 100000LL},
                              {4000, 6000LL},
                              {5, LLONG_MAX},
                              {3, -5LL}}) {
        std::vector<std::atomic<int>> hits(static_cast<std::size_t>(rows));
        std::mutex m;
        std::vector<std::pair<int, int>> ranges;
        ParallelRows(rows, cost, [&](int begin, int end) {
            {
                std::lock_guard lock(m);
                ranges.emplace_back(begin, end);
            }
            for (int r = begin; r < end; ++r) hits[r]++;
        });
        for (int r = 0; r < rows; ++r) ASSERT_EQ(hits[r].load(), 1) << rows << " rows, row " << r;
        for (auto [b, e] : ranges) EXPECT_LT(b, e);
    }
}

// A caller that keeps the cores busy itself gets every call inline, in one piece on its own thread,
// until its scope ends (nested scopes included); other threads are not affected.
TEST(ParallelRows, RunsInlineWhileTheCallerAsksAndSplitsAgainAfter) {
    auto pieces = [] {
        std::mutex m;
        std::vector<std::thread::id> threads;
        ParallelRows(4000, 1000000, [&](int, int) {
            std::lock_guard lock(m);
            threads.push_back(std::this_thread::get_id());
        });
        return threads;
    };
    const bool splits = pieces().size() > 1;  // one core: never split
    {
        const InlineRows outer;
        {
            const InlineRows inner;
            EXPECT_EQ(pieces(), std::vector<std::thread::id>{std::this_thread::get_id()});
        }
        EXPECT_EQ(pieces(), std::vector<std::thread::id>{std::this_thread::get_id()});
        std::size_t elsewhere = 0;
        std::thread other([&] { elsewhere = pieces().size(); });
        other.join();
        EXPECT_EQ(elsewhere > 1, splits);
    }
    EXPECT_EQ(pieces().size() > 1, splits);
}

TEST(ParallelRows, PassesExceptionsToTheCaller) {
    EXPECT_THROW(ParallelRows(1000, 1000000,
                              [](int, int end) {
                                  if (end == 1000) throw std::runtime_error("last chunk");
                              }),
                 std::runtime_error);
    EXPECT_THROW(ParallelRows(1000, 1000000,
                              [](int begin, int) {
                                  if (begin == 0) throw std::runtime_error("caller");
                              }),
                 std::runtime_error);
}

}  // namespace
}  // namespace turnlet
