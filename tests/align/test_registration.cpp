// SPDX-License-Identifier: MIT
// The registration's parts: the coarse search, the robust refinement, scaled decoding, the brightness search.
#include <gtest/gtest.h>

#include <cmath>

#include "align/registration.h"
#include "align/turn_alignment.h"
#include "align/working_picture.h"
#include "align_test_support.h"
#include "base/files.h"
#include "imaging/image_files.h"
#include "imaging/jpeg_scaled.h"
#include "imaging/tone.h"
#include "temp_folder.h"

namespace turnlet {
namespace {

using testing::Shake;

TEST(Registration, RecoversShiftTiltAndGain) {
    const int width = 400, height = 300;
    const Pyramid reference = BuildPyramid(GreyOf(testing::ShakenPhoto(width, height, {})));
    const ReferencePoints points = CollectPoints(reference, nullptr);
    struct Case {
        Shake shake;
    };
    for (const Case& c : std::vector<Case>{{{3.4, -2.7, 0, 1}}, {{-0.6, 1.25, 0.7, 0.9}}, {{12.5, 6, -0.9, 1.1}}}) {
        const Pyramid picture = BuildPyramid(GreyOf(testing::ShakenPhoto(width, height, c.shake)));
        const double cx = width / 2.0, cy = height / 2.0;
        const ShiftEstimate coarse = SearchShift(reference.back(), picture.back(), nullptr, 8);
        const double scale = std::ldexp(1.0, static_cast<int>(reference.size()) - 1);
        Similarity start;
        start.dx = coarse.dx * scale;
        start.dy = coarse.dy * scale;
        const RegistrationResult r = Register(points, picture, cx, cy, start);
        // About the picture's centre the camera's own shift and tilt are the pose.
        EXPECT_NEAR(r.pose.dx, c.shake.dx, 0.1);
        EXPECT_NEAR(r.pose.dy, c.shake.dy, 0.1);
        EXPECT_NEAR(r.pose.angle * 180 / 3.141592653589793, c.shake.tilt, 0.03);
        EXPECT_NEAR(r.pose.gain, 1 / c.shake.exposure, 0.02);
        EXPECT_GT(r.inliers, 0.9);
    }
}

TEST(Registration, ComposeAndMapAgree) {
    const Similarity a{3, -2, 0.01, 1.1}, b{-1.5, 4, -0.02, 0.95};
    const Similarity ab = Compose(a, b, 50, 40);
    double x1, y1, x2, y2, x3, y3;
    MapPoint(a, 50, 40, 10, 90, x1, y1);
    MapPoint(b, 50, 40, x1, y1, x2, y2);
    MapPoint(ab, 50, 40, 10, 90, x3, y3);
    EXPECT_NEAR(x2, x3, 1e-9);
    EXPECT_NEAR(y2, y3, 1e-9);
    EXPECT_NEAR(ab.gain, 1.045, 1e-12);
}

TEST(WorkingPicture, ScaledJpegMatchesABlockMeanOfTheFullDecode) {
    testing::TempFolder folder;
    ASSERT_TRUE(folder.ok());
    const std::string path = folder.file("p.jpg");
    ASSERT_TRUE(SavePicture(testing::ShakenPhoto(403, 301, {}), path, 95).ok());
    Picture full;
    ASSERT_TRUE(LoadPicture(path, full).ok());
    EXPECT_EQ(ScaleDenominatorFor(403, 301, 403 * 301), 1);
    EXPECT_EQ(ScaleDenominatorFor(403, 301, 40000), 2);
    EXPECT_EQ(ScaleDenominatorFor(6000, 4000, 2'600'000), 4);
    EXPECT_EQ(ScaleDenominatorFor(6000, 4000, 10), 8);
    for (int d : {2, 4, 8}) {
        ByteBuffer bytes;
        Picture scaled, scratch, reduced;
        ASSERT_TRUE(LoadWorkingPicture(path, d, 0, scaled, bytes, scratch).ok());
        ReduceByBlocks(full, d, reduced);
        ASSERT_EQ(scaled.width(), reduced.width());
        ASSERT_EQ(scaled.height(), reduced.height());
        double difference = 0;
        for (int y = 0; y < scaled.height(); ++y)
            for (int x = 0; x < scaled.width() * 3; ++x) difference += std::abs(scaled.row(y)[x] - reduced.row(y)[x]);
        EXPECT_LT(difference / (scaled.width() * scaled.height() * 3.0), 3.0) << "1/" << d;
    }
    // Turned as the project turns its sources.
    ByteBuffer bytes;
    Picture turned, scratch;
    ASSERT_TRUE(LoadWorkingPicture(path, 2, 90, turned, bytes, scratch).ok());
    EXPECT_EQ(turned.width(), 151);
    EXPECT_EQ(turned.height(), 202);
}

TEST(WorkingPicture, DamagedJpegFailsNamingTheFile) {
    testing::TempFolder folder;
    ASSERT_TRUE(folder.ok());
    const std::string path = folder.file("cut.jpg");
    ASSERT_TRUE(SavePicture(testing::ShakenPhoto(200, 150, {}), path, 90).ok());
    std::string bytes = testing::ReadBytes(path);
    bytes.resize(bytes.size() / 2);
    ASSERT_TRUE(WriteFileAtomically(path, bytes).ok());
    ByteBuffer buffer;
    Picture out, scratch;
    const Status status = LoadWorkingPicture(path, 4, 0, out, buffer, scratch);
    EXPECT_FALSE(status.ok());
    EXPECT_EQ(status.file(), path);
    EXPECT_FALSE(DecodeJpegScaled({}, "x.jpg", 3, out).ok());
}

TEST(Brightness, MatchesTheTargetThroughTheToneItself) {
    // One value, darker and brighter targets: the result reproduces the target through the tone.
    for (double target : {60.0, 90.0, 100.0, 130.0, 200.0}) {
        std::vector<double> histogram(256, 0.0);
        histogram[100] = 10;
        const double b = BrightnessForSum(histogram, target * 10);
        EXPECT_NEAR(AdjustPixelTone(100, b, 0, 0), target, 1.0) << target;
    }
    EXPECT_EQ(BrightnessForSum(std::vector<double>(256, 0.0), 5), 0);
    // Beyond what the tone can reach: the nearer end.
    std::vector<double> one(256, 0.0);
    one[10] = 1;
    EXPECT_EQ(BrightnessForSum(one, 255), 100);
}

}  // namespace
}  // namespace turnlet
