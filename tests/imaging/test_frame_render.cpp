// SPDX-License-Identifier: MIT
// The frame renderer as the tuned view and a reusing caller use it: into a used picture, and at the crop size.
#include <algorithm>
#include <climits>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "render/frame_render.h"
#include "imaging/geometry.h"
#include "imaging/resize.h"
#include "imaging/tone.h"
#include "imaging/transform.h"
#include "kernel_level_test_util.h"
#include "pixel_test_util.h"

namespace turnlet {
namespace {

std::vector<FrameParams> Cases() {
    std::vector<FrameParams> cases;
    std::mt19937 rng(77);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int i = 0; i < 24; ++i) {
        FrameParams p;
        p.RotationDegrees = 90 * (i % 4);
        p.CropLeft = pick(-10, 30);
        p.CropTop = pick(-10, 30);
        p.CropWidth = pick(1, 50);
        p.CropHeight = pick(1, 50);
        p.ShiftX = pick(-9, 9);
        p.ShiftY = pick(-9, 9);
        p.Angle = pick(-30, 30) * 0.7;
        p.Scale = pick(-600, 600);
        p.Background = 0x00405060u + static_cast<Color>(i);
        p.OutputWidth = pick(1, 60);
        p.OutputHeight = pick(1, 60);
        if (i % 2) p.Gamma = pick(-50, 50);
        cases.push_back(p);
    }
    return cases;
}

// A caller that keeps its output picture between frames gets the bytes of a fresh render, whatever
// the picture held before (larger, smaller, or of another frame).
TEST(FrameRender, IntoAUsedPictureGivesTheBytesOfAFreshOne) {
    std::mt19937 rng(5);
    const Picture source = testing::RandomPicture(47, 35, rng);
    Picture fused = testing::RandomPicture(80, 80, rng);
    Picture stepByStep = testing::RandomPicture(3, 2, rng);
    for (const FrameParams& p : Cases()) {
        RenderFrameFused(source, p, fused);
        RenderFrameStepByStep(source, p, stepByStep);
        const Picture fresh = RenderFrameStepByStep(source, p);
        ASSERT_TRUE(fused == fresh) << p.OutputWidth << "x" << p.OutputHeight;
        ASSERT_TRUE(stepByStep == fresh) << p.OutputWidth << "x" << p.OutputHeight;
    }
}

// The tuned view is the frame at its crop size: quarter turn, transform and tone, without a resize.
TEST(FrameRender, OutputAtTheCropSizeIsTheTunedViewChain) {
    std::mt19937 rng(9);
    const Picture source = testing::RandomPicture(41, 29, rng);
    for (FrameParams p : Cases()) {
        p.OutputWidth = p.CropWidth;
        p.OutputHeight = p.CropHeight;
        p.Brightness = 12;
        Picture turned, tuned;
        RotateQuarter(source, turned, p.RotationDegrees);
        TransformPicture(turned, tuned, p.CropLeft + p.ShiftX, p.CropTop + p.ShiftY, p.CropWidth, p.CropHeight,
                         p.Background, p.Angle, p.Scale);
        AdjustTone(tuned, p.Brightness, p.Contrast, p.Gamma);
        ASSERT_TRUE(RenderFrameFused(source, p) == tuned) << p.RotationDegrees;
    }
}

// The rectangle of decoded pixels a frame reads, found by walking every output pixel back to its source.
// inside: whether every output pixel takes a source pixel (no background).
PixelRect WalkedReach(const FrameParams& p, int width, int height, bool& inside) {
    inside = true;
    const bool sideways = p.RotationDegrees == 90 || p.RotationDegrees == 270;
    const int turnedWidth = sideways ? height : width, turnedHeight = sideways ? width : height;
    const TransformMapping mapping(ShiftedOrigin(p.CropLeft, p.ShiftX), ShiftedOrigin(p.CropTop, p.ShiftY), p.CropWidth,
                                   p.CropHeight, p.Angle, p.Scale);
    int x0 = INT_MAX, y0 = INT_MAX, x1 = -1, y1 = -1;
    for (int y = 0; y < p.OutputHeight; ++y) {
        for (int x = 0; x < p.OutputWidth; ++x) {
            int sx = 0, sy = 0;
            if (!mapping.Map(ResizeIndex(x, p.OutputWidth, p.CropWidth), ResizeIndex(y, p.OutputHeight, p.CropHeight),
                             turnedWidth, turnedHeight, sx, sy)) {
                inside = false;
                continue;
            }
            const SourcePoint d = QuarterTurnSource(p.RotationDegrees, sx, sy, width, height);
            x0 = std::min(x0, d.x), x1 = std::max(x1, d.x), y0 = std::min(y0, d.y), y1 = std::max(y1, d.y);
        }
    }
    return x1 < 0 ? PixelRect{} : PixelRect{x0, y0, x1 - x0 + 1, y1 - y0 + 1};
}

// FrameReach holds every pixel read (exactly their rectangle when no background shows), and a frame rendered from just
// that part of the source (or any part holding it) has the bytes of one rendered from the whole; a part that misses a
// pixel is refused.
TEST(FrameRender, FromTheReachedPartEqualsFromTheWhole) {
    std::mt19937 rng(13);
    const Picture source = testing::RandomPicture(53, 37, rng);
    std::vector<FrameParams> cases = Cases();
    FrameParams outside;
    outside.CropLeft = 500;
    outside.CropWidth = outside.CropHeight = outside.OutputWidth = outside.OutputHeight = 9;
    cases.push_back(outside);
    // Frames well inside the source, where the reach is exact.
    std::mt19937 pick(3);
    for (int i = 0; i < 16; ++i) {
        FrameParams p;
        p.RotationDegrees = 90 * (i % 4);
        p.CropLeft = 10 + static_cast<int>(pick() % 8);
        p.CropTop = 10 + static_cast<int>(pick() % 8);
        p.CropWidth = 5 + static_cast<int>(pick() % 12);
        p.CropHeight = 5 + static_cast<int>(pick() % 12);
        p.Angle = static_cast<double>(pick() % 40) - 20;
        p.Scale = static_cast<double>(pick() % 200) - 100;
        p.OutputWidth = 1 + static_cast<int>(pick() % 30);
        p.OutputHeight = 1 + static_cast<int>(pick() % 30);
        cases.push_back(p);
    }
    for (const FrameParams& p : cases) {
        const PixelRect reach = FrameReach(p, source.width(), source.height());
        bool inside = false;
        const PixelRect walked = WalkedReach(p, source.width(), source.height(), inside);
        ASSERT_TRUE(reach.contains(walked)) << p.RotationDegrees << " " << p.Angle;
        if (inside) {
            ASSERT_EQ(reach, walked) << p.RotationDegrees << " " << p.Angle;
        }
        const Picture whole = RenderFrameFused(source, p);
        Picture part;
        CropPicture(source, part, reach.left, reach.top, reach.width, reach.height);
        Picture fromPart = testing::RandomPicture(4, 4, rng);
        const PictureArea area{reach.empty() ? PixelRect{} : reach, source.width(), source.height()};
        ASSERT_TRUE(RenderFrameFused(part, area, p, fromPart));
        ASSERT_TRUE(fromPart == whole) << p.RotationDegrees << " " << p.Angle << " " << p.Scale;
        if (reach.width > 1) {
            Picture narrower;
            CropPicture(source, narrower, reach.left + 1, reach.top, reach.width - 1, reach.height);
            const PictureArea less{PixelRect{reach.left + 1, reach.top, reach.width - 1, reach.height}, source.width(),
                                   source.height()};
            EXPECT_FALSE(RenderFrameFused(narrower, less, p, fromPart));
        }
    }
}

// Every path of the nearest-neighbour frame (portable, AVX2) against the step-by-step chain: runs
// along output rows and down columns, partly off the source (background lanes among inside ones),
// from the whole source and from just its reach, with frames large enough for threads.
class NearestFramePaths : public testing::KernelLevelTest {};

TEST_P(NearestFramePaths, GiveTheStepByStepBytes) {
    std::mt19937 rng(61);
    const Picture source = testing::RandomPicture(611, 457, rng);
    const KernelLevel expected = Highest({KernelLevel::Portable, KernelLevel::Avx2});
    int index = 0;
    for (const int turn : {0, 90, 180, 270}) {
        for (const double angle : {0.0, -4.0, 30.0, 80.0, 135.0}) {
            FrameParams p;
            p.RotationDegrees = turn;
            p.CropLeft = index % 3 == 0 ? -60 : 15 + index % 7;  // some frames reach past the source
            p.CropTop = 10 - index % 5;
            p.CropWidth = 400 + index;
            p.CropHeight = 380 - index;
            p.ShiftX = index % 4 - 2;
            p.Angle = angle;
            p.Scale = index % 2 ? -120 : 60;
            p.OutputWidth = 217 + index % 3;
            p.OutputHeight = 431 - index;  // enlarging one way, shrinking the other
            p.Background = 0x00102030u + static_cast<Color>(index);
            ++index;
            const Picture fused = RenderFrameFused(source, p);
            ExpectRan(Kernel::NearestFrame, "nearest-neighbour frame", expected);
            ASSERT_TRUE(fused == RenderFrameStepByStep(source, p)) << "turn " << turn << " angle " << angle;
            const PixelRect reach = FrameReach(p, source.width(), source.height());
            Picture part, fromPart;
            CropPicture(source, part, reach.left, reach.top, reach.width, reach.height);
            ASSERT_TRUE(RenderFrameFused(part, PictureArea{reach, source.width(), source.height()}, p, fromPart));
            ASSERT_TRUE(fromPart == fused) << "from the reach, turn " << turn << " angle " << angle;
        }
    }
}
TURNLET_KERNEL_LEVELS(NearestFramePaths);

}  // namespace
}  // namespace turnlet
