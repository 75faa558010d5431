// SPDX-License-Identifier: MIT
// The table of kernel levels: a processor lacking any feature of a level never runs that level's code.
#include <cstdio>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "imaging/geometry.h"
#include "imaging/kernel_util.h"
#include "imaging/tone.h"
#include "imaging/transform.h"
#include "pixel_test_util.h"
#include "render/frame_render.h"

namespace turnlet {
namespace {

constexpr CpuFeatureSet kEveryFeature = kLevelFeatures[static_cast<int>(kTopKernelLevel)];

std::string FeatureNames(CpuFeatureSet set) {
    std::string names;
    for (int f = 0; f < kCpuFeatureCount; ++f)
        if (set & FeatureBit(static_cast<CpuFeature>(f)))
            names += std::string(names.empty() ? "" : " ") + CpuFeatureName(static_cast<CpuFeature>(f));
    return names.empty() ? "none" : names;
}

// For every level and every feature of its list: a processor without that feature, whether it
// has the rest of the level or every other feature of the table, is granted a lower level.
TEST(KernelLevelTable, EveryFeatureOfALevelIsNeeded) {
    EXPECT_EQ(KernelLevelFor(0), KernelLevel::Portable);
    EXPECT_EQ(KernelLevelFor(kEveryFeature), kTopKernelLevel);
    for (const KernelLevel level : kAllKernelLevels) {
        const CpuFeatureSet needs = kLevelFeatures[static_cast<int>(level)];
        EXPECT_EQ(KernelLevelFor(needs), level) << KernelLevelName(level);
        for (int f = 0; f < kCpuFeatureCount; ++f) {
            const CpuFeatureSet bit = FeatureBit(static_cast<CpuFeature>(f));
            if ((needs & bit) == 0) continue;
            EXPECT_LT(KernelLevelFor(needs & ~bit), level)
                << KernelLevelName(level) << " without " << CpuFeatureName(static_cast<CpuFeature>(f));
            EXPECT_LT(KernelLevelFor(kEveryFeature & ~bit), level)
                << "every feature but " << CpuFeatureName(static_cast<CpuFeature>(f));
        }
    }
    // VBMI without VL (a VM may hide it), which the AVX-512 means and binning use.
    EXPECT_EQ(KernelLevelFor(kEveryFeature & ~FeatureBit(CpuFeature::Avx512Vl)), KernelLevel::Avx2);
    EXPECT_EQ(KernelLevelFor(kEveryFeature & ~FeatureBit(CpuFeature::Avx)), KernelLevel::Ssse3);
}

// The probe grants this processor what the table grants its features.
TEST(KernelLevelTable, ProbeFollowsTheTable) {
    std::printf("[     PATH ] features: %s\n[     PATH ] level: %s\n", FeatureNames(CpuFeaturesPresent()).c_str(),
                KernelLevelName(CpuKernelLevel()));
    EXPECT_EQ(CpuKernelLevel(), KernelLevelFor(CpuFeaturesPresent()));
    if (!TURNLET_X86_KERNELS) {
        EXPECT_EQ(CpuKernelLevel(), KernelLevel::Portable);
    }
}

// Runs every kernel with more than one path on a picture large enough for its widest path.
void RunEveryKernel() {
    std::mt19937 rng(11);
    const Picture source = testing::RandomPicture(301, 203, rng);
    Picture out;
    RotateQuarter(source, out, 90);
    TransformPicture(source, out, 20, 10, 200, 150, 0x00102030u, 3, 50);
    AdjustTone(out, 10, -5, 20);
    FrameParams p;
    p.CropLeft = 5;
    p.CropTop = 7;
    p.CropWidth = 280;
    p.CropHeight = 190;
    p.Angle = 2;
    p.OutputWidth = 93;
    p.OutputHeight = 61;
    RenderFrameFused(source, p, out);
    p.Smooth = true;
    RenderFrameFused(source, p, out);
}

// This processor with one feature taken away at a time (and with none taken): the level the table
// grants it caps the kernels, and none of them runs the level of the missing feature, nor above
// what it was granted.
TEST(KernelLevels, NoKernelRunsALevelItsProcessorLacks) {
    const CpuFeatureSet present = CpuFeaturesPresent();
    for (int f = -1; f < kCpuFeatureCount; ++f) {
        const CpuFeatureSet missing = f < 0 ? 0 : FeatureBit(static_cast<CpuFeature>(f));
        const KernelLevel granted = KernelLevelFor(present & ~missing);
        SetKernelLevelLimit(granted);
        RunEveryKernel();
        for (const Kernel kernel : kAllKernels) {
            const KernelLevel ran = LastKernelLevel(kernel);
            EXPECT_LE(ran, granted) << "without " << FeatureNames(missing);
            EXPECT_LE(ran, CpuKernelLevel());
            EXPECT_EQ(kLevelFeatures[static_cast<int>(ran)] & missing, 0u)
                << KernelLevelName(ran) << " ran without " << FeatureNames(missing);
        }
        // The transform has a path at every level: the runs reach the granted one.
        EXPECT_EQ(LastKernelLevel(Kernel::Transform), granted);
    }
    SetKernelLevelLimit(kTopKernelLevel);
}

}  // namespace
}  // namespace turnlet
