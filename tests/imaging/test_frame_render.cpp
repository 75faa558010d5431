// SPDX-License-Identifier: MIT
// The frame renderer as the tuned view and a reusing caller use it: into a used picture, and at the crop size.
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/frame_render.h"
#include "imaging/geometry.h"
#include "imaging/tone.h"
#include "imaging/transform.h"
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
        p.BackgroundColor = 0x00405060u + static_cast<Color>(i);
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
                         p.BackgroundColor, p.Angle, p.Scale);
        AdjustTone(tuned, p.Brightness, p.Contrast, p.Gamma);
        ASSERT_TRUE(RenderFrameFused(source, p) == tuned) << p.RotationDegrees;
    }
}

}  // namespace
}  // namespace turnlet
