// SPDX-License-Identifier: MIT
// The smooth resize against a per-pixel reference, and the fused smooth frame against the step-by-step chain.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "render/frame_render.h"
#include "imaging/geometry.h"
#include "imaging/resize.h"
#include "render/smooth_frame.h"
#include "imaging/tone.h"
#include "imaging/transform.h"
#include "kernel_level_test_util.h"
#include "pixel_test_util.h"

namespace turnlet {
namespace {

// How much of source pixel j (of m) output pixel i (of n) weighs, straight from the definition: the
// overlap of [i * m, (i + 1) * m) and [j * n, (j + 1) * n) when shrinking, else 1 for the nearest one.
std::int64_t Weight(int i, int n, int j, int m) {
    if (n >= m) return j == ResizeIndex(i, n, m) ? 1 : 0;
    const std::int64_t low = std::max<std::int64_t>(std::int64_t{i} * m, std::int64_t{j} * n);
    const std::int64_t high = std::min<std::int64_t>(std::int64_t{i + 1} * m, std::int64_t{j + 1} * n);
    return std::max<std::int64_t>(0, high - low);
}

// Each output pixel on its own: every source pixel with its two weights, the mean truncated.
Picture DirectSmooth(const Picture& source, int width, int height) {
    Picture out(width, height);
    std::vector<std::int64_t> wx(static_cast<std::size_t>(source.width()));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int sx = 0; sx < source.width(); ++sx) wx[sx] = Weight(x, width, sx, source.width());
            std::int64_t sum[3] = {0, 0, 0}, total = 0;
            for (int sy = 0; sy < source.height(); ++sy) {
                const std::int64_t wy = Weight(y, height, sy, source.height());
                if (wy == 0) continue;
                for (int sx = 0; sx < source.width(); ++sx) {
                    for (int c = 0; c < 3; ++c) sum[c] += wx[sx] * wy * source.pixel(sx, sy)[c];
                    total += wx[sx] * wy;
                }
            }
            for (int c = 0; c < 3; ++c) out.pixel(x, y)[c] = static_cast<std::uint8_t>(sum[c] / total);
        }
    }
    return out;
}

TEST(SmoothResize, EqualsThePerPixelAreaMean) {
    std::mt19937 rng(31);
    struct Case {
        int sw, sh, dw, dh;
    };
    const Case cases[] = {
        {9, 6, 3, 2},                                      // whole ratios
        {10, 7, 3, 2},                                     // odd ratios: pixels shared between two outputs
        {31, 17, 7, 5}, {17, 31, 16, 30}, {13, 11, 1, 1},  // one pixel: the mean of all
        {13, 11, 1, 4}, {5, 9, 5, 9},                      // the same size copies
        {4, 3, 9, 7},                                      // enlarging both ways is the nearest neighbour
        {20, 3, 6, 8},                                     // shrinking one way, enlarging the other
        {1, 1, 1, 1},   {2, 40, 1, 39},
    };
    for (const Case& c : cases) {
        const Picture source = testing::RandomPicture(c.sw, c.sh, rng);
        Picture out(c.dw, c.dh);
        ResizePictureSmooth(source, out);
        ASSERT_TRUE(out == DirectSmooth(source, c.dw, c.dh)) << c.sw << "x" << c.sh << " -> " << c.dw << "x" << c.dh;
        if (c.dw >= c.sw && c.dh >= c.sh) {
            Picture nearest(c.dw, c.dh);
            ResizePicture(source, nearest);
            EXPECT_TRUE(out == nearest);
        }
    }
    // Large enough to be split over threads.
    const Picture big = testing::RandomPicture(701, 389, rng);
    Picture out(233, 97);
    ResizePictureSmooth(big, out);
    EXPECT_TRUE(out == DirectSmooth(big, 233, 97));
}

// The spread of one channel's levels over a picture.
double StandardDeviation(const Picture& p) {
    double sum = 0, squares = 0;
    const auto count = static_cast<double>(p.byteSize());
    for (std::size_t i = 0; i < p.byteSize(); ++i) {
        sum += p.data()[i];
        squares += static_cast<double>(p.data()[i]) * p.data()[i];
    }
    const double mean = sum / count;
    return std::sqrt(std::max(0.0, squares / count - mean * mean));
}

Picture Checkerboard(int w, int h) {
    Picture p(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) std::memset(p.pixel(x, y), (x + y) % 2 ? 255 : 0, 3);
    return p;
}

// The finest pattern a photograph holds, shrunk through the whole frame: the smooth frame turns it to
// even grey at any ratio, where the nearest neighbour keeps picking black or white. A tilt samples the
// pattern nearest-neighbour before the resize, which leaves faint bands the area mean cannot remove.
// A flat picture stays exactly its colour.
TEST(SmoothFrame, FinePatternsBecomeEvenGreyAndFlatStaysFlat) {
    const Picture board = Checkerboard(640, 480);
    const Picture flat = testing::Filled(640, 480, 93);
    struct Case {
        int turn, cropWidth, cropHeight, outWidth, outHeight;
        double angle, spread;
    };
    const Case cases[] = {
        {0, 400, 400, 100, 100, 0, 3},    // 4 times, the target
        {90, 401, 399, 100, 100, 0, 3},   // a little over and under it, turned
        {180, 300, 300, 81, 81, 0, 3},    // 3.7 times
        {0, 360, 360, 200, 200, 0, 3},    // 1.8 times
        {0, 300, 300, 100, 75, 7.5, 14},  // tilted
    };
    for (const Case& c : cases) {
        FrameParams p;
        p.RotationDegrees = c.turn;
        const int width = c.turn == 90 ? 480 : 640, height = c.turn == 90 ? 640 : 480;
        p.CropLeft = (width - c.cropWidth) / 2;
        p.CropTop = (height - c.cropHeight) / 2;
        p.CropWidth = c.cropWidth;
        p.CropHeight = c.cropHeight;
        p.OutputWidth = c.outWidth;
        p.OutputHeight = c.outHeight;
        p.Angle = c.angle;
        p.Smooth = true;
        const Picture grey = RenderFrameFused(board, p);
        EXPECT_LE(StandardDeviation(grey), c.spread) << c.cropWidth << " -> " << c.outWidth << " angle " << c.angle;
        EXPECT_NEAR(grey.data()[0], 127, c.spread);
        EXPECT_TRUE(RenderFrameFused(flat, p) == testing::Filled(c.outWidth, c.outHeight, 93)) << c.cropWidth;
        p.Smooth = false;
        EXPECT_GT(StandardDeviation(RenderFrameFused(board, p)), 60.0) << c.cropWidth;
    }
}

// A frame half off the source: an output pixel whose centre misses the source is the background,
// one whose centre lands on it is the mean of source pixels only (no background bleeds in).
TEST(SmoothFrame, EdgesTakeSourceOrBackgroundWhole) {
    Picture source(4, 1);
    for (int x = 0; x < 4; ++x) std::memset(source.pixel(x, 0), x < 2 ? 255 : 0, 3);
    FrameParams p;
    p.CropLeft = -4;
    p.CropWidth = 8;
    p.CropHeight = 1;
    p.OutputWidth = 2;
    p.OutputHeight = 1;
    p.Background = 0x000000FF;  // red
    p.Smooth = true;
    for (const int turn : {0, 180}) {
        p.RotationDegrees = turn;
        const Picture frame = RenderFrameFused(source, p);
        EXPECT_EQ(testing::PixelAt(frame, 0, 0), (testing::Bgr{0, 0, 255})) << turn;
        EXPECT_EQ(testing::PixelAt(frame, 1, 0), (testing::Bgr{127, 127, 127})) << turn;
        EXPECT_TRUE(frame == RenderFrameStepByStep(source, p));
    }
}

// A frame of the whole picture with no tilt or zoom is the picture's area mean at the output size,
// whole ratio or not, turned or not.
TEST(SmoothFrame, WholePictureIsItsAreaMean) {
    std::mt19937 rng(77);
    const Picture source = testing::RandomPicture(704, 388, rng);  // quarters: a whole ratio
    for (const int turn : {0, 90, 180, 270}) {
        Picture turned;
        RotateQuarter(source, turned, turn);
        for (const auto& [w, h] : {std::pair{233, 97}, {turned.width() / 4, turned.height() / 4}, {1, 1}}) {
            FrameParams p;
            p.RotationDegrees = turn;
            p.CropWidth = turned.width();
            p.CropHeight = turned.height();
            p.OutputWidth = w;
            p.OutputHeight = h;
            p.Smooth = true;
            Picture mean(w, h);
            ResizePictureSmooth(turned, mean);
            EXPECT_TRUE(RenderFrameFused(source, p) == mean) << turn << ": " << w << "x" << h;
        }
    }
}

// How far the source is averaged: one reduced pixel per output pixel along each turned direction,
// the zoom counted in, a tilt mixing the directions, sides beyond the 32-bit sums left alone.
TEST(SmoothFrame, ReducedSizeFollowsTheShrink) {
    struct Case {
        const char* what;
        int turn, decodedWidth, decodedHeight, cropWidth, cropHeight, outWidth, outHeight;
        double angle, scale;
        int reducedWidth, reducedHeight;
    };
    const Case cases[] = {
        {"three to one", 0, 6000, 4000, 3000, 3000, 1000, 1000, 0, 0, 2000, 1333},
        {"turned", 90, 6000, 4000, 3000, 3000, 1000, 1000, 0, 0, 1333, 2000},
        {"one way only", 0, 600, 400, 600, 400, 200, 400, 0, 0, 200, 400},
        {"tilted a quarter", 0, 600, 400, 600, 400, 200, 400, 90, 0, 600, 133},
        {"tilted an eighth", 0, 600, 400, 600, 400, 150, 400, 45, 0, 240, 160},
        {"zoomed out twice", 0, 600, 400, 300, 300, 300, 300, 0, 500, 300, 200},
        {"zoomed in", 0, 600, 400, 300, 300, 150, 150, 0, -500, 600, 400},
        {"too long to sum", 0, kMaxSmoothSide + 1, 2, kMaxSmoothSide + 1, 2, 1000, 1, 0, 0, kMaxSmoothSide + 1, 1},
    };
    for (const Case& c : cases) {
        FrameParams p;
        p.RotationDegrees = c.turn;
        p.CropWidth = c.cropWidth;
        p.CropHeight = c.cropHeight;
        p.OutputWidth = c.outWidth;
        p.OutputHeight = c.outHeight;
        p.Angle = c.angle;
        p.Scale = c.scale;
        p.Smooth = true;
        const SmoothPlan plan(p, c.decodedWidth, c.decodedHeight);
        EXPECT_EQ(plan.reducedWidth, c.reducedWidth) << c.what;
        EXPECT_EQ(plan.reducedHeight, c.reducedHeight) << c.what;
    }
}

// The rectangle of a frame's corner points on a 10 x 8 picture: clamped to it, empty when every point
// misses it on one side, the whole picture when a point is not a number.
TEST(SmoothFrame, CornerBoundsClampToThePicture) {
    struct Case {
        const char* what;
        double xs[4], ys[4];
        PixelRect expected;
    };
    const double nan = std::nan("");
    const Case cases[] = {
        {"inside", {2, 5, 3, 4}, {1, 1, 6, 6}, {2, 1, 4, 6}},
        {"over every edge", {-5, 20, -5, 20}, {-3, -3, 30, 30}, {0, 0, 10, 8}},
        {"one point", {9, 9, 9, 9}, {7, 7, 7, 7}, {9, 7, 1, 1}},
        {"left of it", {-9, -1, -4, -2}, {0, 7, 3, 3}, {}},
        {"below it", {0, 9, 3, 3}, {8, 12, 9, 8}, {}},
        {"not a number", {0, nan, 1, 1}, {0, 0, 1, 1}, {0, 0, 10, 8}},
    };
    for (const Case& c : cases) EXPECT_EQ(CornerBounds(c.xs, c.ys, 10, 8), c.expected) << c.what;
}

// Which frames are smooth: asked for, and some output pixel covering more than one source pixel.
TEST(SmoothFrame, OnlyShrinkingFramesAreSmooth) {
    struct Case {
        const char* what;
        int cropWidth, cropHeight, outWidth, outHeight;
        double scale;
        bool smooth, asked;
    };
    const Case cases[] = {
        {"shrinks", 300, 300, 100, 100, 0, true, true},
        {"not asked", 300, 300, 100, 100, 0, false, false},
        {"one way", 300, 300, 300, 299, 0, true, true},
        {"same size", 300, 300, 300, 300, 0, false, true},
        {"enlarges", 300, 300, 600, 900, 0, false, true},
        {"zoomed out", 300, 300, 300, 300, 10, true, true},
        {"zoomed in while shrinking less", 300, 300, 200, 200, -500, false, true},
        {"zoom beyond the scale's end", 300, 300, 100, 100, 1000, false, true},
        {"no output", 300, 300, 0, 100, 0, false, true},
        {"no crop", 0, 300, 100, 100, 0, false, true},
    };
    for (const Case& c : cases) {
        FrameParams p;
        p.CropWidth = c.cropWidth;
        p.CropHeight = c.cropHeight;
        p.OutputWidth = c.outWidth;
        p.OutputHeight = c.outHeight;
        p.Scale = c.scale;
        p.Smooth = c.asked;
        EXPECT_EQ(SmoothResizes(p), c.smooth) << c.what;
    }
}

std::vector<FrameParams> SmoothCases() {
    std::vector<FrameParams> cases;
    std::mt19937 rng(404);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const double angles[] = {0, 90, -90, 180, 3.5, -12.5, 45, 359};
    const double scales[] = {0, 300, -300, -1000, 1000, 90, -90, 999};
    for (int i = 0; i < 96; ++i) {
        FrameParams p;
        p.RotationDegrees = 90 * (i % 4);
        p.CropLeft = pick(-20, 40);
        p.CropTop = pick(-20, 40);
        p.CropWidth = pick(1, 80);
        p.CropHeight = pick(1, 80);
        p.ShiftX = pick(-10, 10);
        p.ShiftY = pick(-10, 10);
        // Mostly shrinking, by whole and odd ratios, down to one pixel; some enlarge one way.
        p.OutputWidth = i % 5 == 0 ? pick(1, 100) : std::max(1, p.CropWidth / pick(1, 7));
        p.OutputHeight = i % 7 == 0 ? pick(1, 100) : std::max(1, p.CropHeight * 2 / pick(2, 9));
        p.Angle = angles[i % 8];
        p.Scale = scales[(i / 8) % 8];
        p.Background = 0x00203040u + static_cast<Color>(i);
        if (i % 3 == 0) p.Gamma = pick(-60, 60);
        p.Smooth = true;
        cases.push_back(p);
    }
    return cases;
}

// The fused smooth frame, which averages only the part of the source it reaches, has the bytes of
// the step-by-step one, which averages the whole turned source; also into a used picture and from
// just the part of the source the frame reaches.
TEST(SmoothFrame, FusedEqualsTheStepByStepChain) {
    std::mt19937 rng(8);
    const Picture sources[] = {testing::RandomPicture(57, 43, rng), testing::RandomPicture(1, 1, rng), Picture()};
    Picture fused = testing::RandomPicture(90, 90, rng);
    for (const Picture& source : sources) {
        for (const FrameParams& p : SmoothCases()) {
            const Picture chain = RenderFrameStepByStep(source, p);
            RenderFrameFused(source, p, fused);
            ASSERT_TRUE(fused == chain) << "turn " << p.RotationDegrees << " crop " << p.CropWidth << "x"
                                        << p.CropHeight << " out " << p.OutputWidth << "x" << p.OutputHeight
                                        << " angle " << p.Angle << " scale " << p.Scale;
            const PixelRect reach = FrameReach(p, source.width(), source.height());
            Picture part;
            CropPicture(source, part, reach.left, reach.top, reach.width, reach.height);
            Picture fromPart;
            ASSERT_TRUE(RenderFrameFused(part, PictureArea{reach, source.width(), source.height()}, p, fromPart));
            ASSERT_TRUE(fromPart == chain);
        }
    }
}

// Enlarging, or the tuned view at the crop size, is untouched by the choice.
TEST(SmoothFrame, NotShrinkingGivesTheNearestNeighbourBytes) {
    std::mt19937 rng(21);
    const Picture source = testing::RandomPicture(40, 30, rng);
    FrameParams p;
    p.CropLeft = 3;
    p.CropWidth = 20;
    p.CropHeight = 15;
    p.Angle = 7;
    for (const auto& [w, h] : {std::pair{20, 15}, {41, 15}, {20, 77}}) {
        p.OutputWidth = w;
        p.OutputHeight = h;
        p.Smooth = false;
        const Picture nearest = RenderFrameFused(source, p);
        p.Smooth = true;
        EXPECT_TRUE(RenderFrameFused(source, p) == nearest) << w << "x" << h;
    }
}

// Every path of the fused smooth frame (portable, AVX2, AVX-512) against the step-by-step chain, over
// turns, tilts and zooms, with frames large enough to be split over threads.
class SmoothFramePaths : public testing::KernelLevelTest {};

TEST_P(SmoothFramePaths, GiveTheStepByStepBytes) {
    std::mt19937 rng(55);
    const Picture source = testing::RandomPicture(903, 677, rng);
    const KernelLevel expected = Highest({KernelLevel::Portable, KernelLevel::Avx2, KernelLevel::Avx512Vbmi});
    int index = 0;
    for (const int turn : {0, 90, 180, 270}) {
        for (const double angle : {0.0, -3.0, 11.0, 45.0, 88.0}) {
            FrameParams p;
            p.RotationDegrees = turn;
            p.CropLeft = 20 + index % 7;
            p.CropTop = 10 + index % 5;
            p.CropWidth = 600 + index;
            p.CropHeight = 560 - index;
            p.Angle = angle;
            p.Scale = index % 2 ? -80 : 40;
            p.OutputWidth = 117 + index % 3;
            p.OutputHeight = 101;
            p.Smooth = true;
            ++index;
            const Picture fused = RenderFrameFused(source, p);
            ExpectRan(Kernel::SmoothFrame, "smooth frame", expected);
            ASSERT_TRUE(fused == RenderFrameStepByStep(source, p)) << "turn " << turn << " angle " << angle;
        }
    }
}
TURNLET_KERNEL_LEVELS(SmoothFramePaths);

// Untilted frames take their averages by rows and columns, are averaged straight into the frame
// when the averages lie on its grid, and shrink by whole ratios as plain blocks: every path against
// the step-by-step chain, with the grid on and just off the frame's (a crop moved by one pixel or
// zoomed), partly off the photograph, a negative zero tilt, and frames split over threads.
class UprightSmoothPaths : public testing::KernelLevelTest {};

TEST_P(UprightSmoothPaths, GiveTheStepByStepBytes) {
    std::mt19937 rng(31);
    const Picture source = testing::RandomPicture(1200, 800, rng);
    struct Case {
        const char* what;
        int left, top, cropWidth, cropHeight, outWidth, outHeight;
        double scale;
    };
    const Case cases[] = {
        {"whole ratio on the grid", 0, 0, 1200, 800, 300, 200, 0},
        {"whole ratio, crop moved", 1, 3, 1200, 800, 400, 160, 0},
        {"odd ratio on the grid", 0, 0, 1200, 800, 401, 268, 0},
        {"odd ratio", 7, 2, 1100, 700, 333, 211, 0},
        {"zoomed out", 0, 0, 1200, 800, 300, 200, 250},
        {"zoomed in", 0, 0, 1200, 800, 300, 200, -250},
        {"partly off the photograph", -150, 60, 1200, 800, 240, 160, 0},
    };
    for (const int turn : {0, 90, 180, 270}) {
        for (const Case& c : cases) {
            for (const double angle : {0.0, -0.0}) {
                FrameParams p;
                p.RotationDegrees = turn;
                p.CropLeft = c.left;
                p.CropTop = c.top;
                p.CropWidth = turn % 180 ? c.cropHeight : c.cropWidth;
                p.CropHeight = turn % 180 ? c.cropWidth : c.cropHeight;
                p.OutputWidth = turn % 180 ? c.outHeight : c.outWidth;
                p.OutputHeight = turn % 180 ? c.outWidth : c.outHeight;
                p.Angle = angle;
                p.Scale = c.scale;
                p.Background = 0x00405060;
                p.Smooth = true;
                ASSERT_TRUE(RenderFrameFused(source, p) == RenderFrameStepByStep(source, p))
                    << c.what << ", turn " << turn << ", angle " << angle;
            }
        }
    }
}
TURNLET_KERNEL_LEVELS(UprightSmoothPaths);

// Every way the averages are summed (whole ratios added plain, odd ratios weighed, outputs of
// more than eight pixels, one axis left alone, rows wider than a strip), from part of a source and
// for part of the outputs, against the whole source's area mean.
class ReduceAreaPaths : public testing::KernelLevelTest {};

TEST_P(ReduceAreaPaths, EqualTheWholeAreaMean) {
    std::mt19937 rng(12);
    struct Case {
        const char* what;
        int width, height, outWidth, outHeight;
    };
    const Case cases[] = {
        {"whole ratio", 1200, 400, 300, 100},
        {"odd ratio", 1093, 377, 400, 138},
        {"over eight", 1000, 300, 97, 29},
        {"one way only", 700, 300, 700, 71},
        {"wide rows", 3001, 40, 2999, 13},
        {"one output", 50, 50, 1, 1},
        // Whole ratios of each stride the four-output means take, block widths not a multiple of four.
        {"ratio 2", 1206, 300, 603, 150},
        {"ratio 3", 1209, 300, 403, 100},
        {"ratio 5", 1005, 300, 201, 60},
        // Whole ratios across only, down too uneven to add blocks: the widest tiled and padded strides.
        {"ratio 5 across", 1005, 300, 201, 71},
        {"ratio 8 across", 1600, 200, 200, 57},
        // Rows shorter than one vector load, the block ending at the picture's last byte.
        {"short rows", 14, 4, 7, 2},
    };
    for (const Case& c : cases) {
        const Picture source = testing::RandomPicture(c.width, c.height, rng);
        Picture mean(c.outWidth, c.outHeight);
        ResizePictureSmooth(source, mean);
        const SmoothAxis ax = MakeSmoothAxis(c.outWidth, c.width), ay = MakeSmoothAxis(c.outHeight, c.height);
        // An inner block of outputs, from just the source pixels it averages.
        const PixelRect outputs{c.outWidth / 5, c.outHeight / 4, c.outWidth - c.outWidth / 5 - c.outWidth / 7,
                                c.outHeight - c.outHeight / 4};
        const PixelRect from = SourceOfReduced(outputs, ax, ay);
        Picture part;
        CropPicture(source, part, from.left, from.top, from.width, from.height);
        Picture reduced;
        ReduceArea(part, PictureArea{from, c.width, c.height}, ax, ay, outputs, reduced);
        ASSERT_EQ(reduced.width(), outputs.width) << c.what;
        for (int y = 0; y < outputs.height; ++y)
            ASSERT_EQ(0, std::memcmp(reduced.row(y), mean.pixel(outputs.left, outputs.top + y), reduced.stride()))
                << c.what << " row " << y;
        ExpectRan(Kernel::SmoothFrame, "area reduce",
                  Highest({KernelLevel::Portable, KernelLevel::Avx2, KernelLevel::Avx512Vbmi}));
    }
}
TURNLET_KERNEL_LEVELS(ReduceAreaPaths);

}  // namespace
}  // namespace turnlet
