// SPDX-License-Identifier: MIT
// The registration's parts: the coarse search, the robust refinement, scaled decoding, the brightness search.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "align/registration.h"
#include "align/turn_alignment.h"
#include "align/working_picture.h"
#include "align_test_support.h"
#include "base/files.h"
#include "codecs/image_files.h"
#include "codecs/jpeg_scaled.h"
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

// What a turntable leaves to align by once its turning surface is left out: a few sharp outlines on
// a nearly flat sweep. The flat points outnumber the edges by far, yet the edges set the pose.
TEST(Registration, SharpEdgesOnFlatGroundSetTheTilt) {
    const int width = 480, height = 360;
    auto shaken = [&](const Shake& shake) {
        Picture picture(width, height);
        const double a = shake.tilt * 3.141592653589793 / 180, c = std::cos(a), s = std::sin(a);
        const double cx = width * 0.5, cy = height * 0.5;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                double sum = 0;
                for (int j = 0; j < 4; ++j)
                    for (int i = 0; i < 4; ++i) {
                        const double px = x + 0.125 + 0.25 * i - cx - shake.dx,
                                     py = y + 0.125 + 0.25 * j - cy - shake.dy;
                        const double sx = cx + px * c + py * s, sy = cy - px * s + py * c;
                        const double ring = std::hypot(sx - 150, (sy - 110) * 2.5);
                        double v = 215 - 25 * sy / height;
                        if (ring > 50 && ring < 62) v = 95;
                        if (sx > 330 && sx < 346 && sy > 70 && sy < 300) v = 60;
                        if (sy > 280 && sy < 291 && sx > 60 && sx < 300) v = 130;
                        sum += v;
                    }
                std::uint8_t* p = picture.pixel(x, y);
                p[0] = p[1] = p[2] = static_cast<std::uint8_t>(std::min(sum / 16 * shake.exposure, 255.0));
            }
        return picture;
    };
    const Pyramid reference = BuildPyramid(GreyOf(shaken({})));
    const ReferencePoints points = CollectPoints(reference, nullptr);
    for (const Shake& shake : {Shake{4.2, -3.1, 1.2, 1.05}, Shake{-2.5, 1.8, -0.9, 0.95}, Shake{1.3, 2.2, 1.6, 1}}) {
        SCOPED_TRACE(shake.tilt);
        const Pyramid picture = BuildPyramid(GreyOf(shaken(shake)));
        const ShiftEstimate coarse = SearchShift(reference.back(), picture.back(), nullptr, 8);
        const double scale = std::ldexp(1.0, static_cast<int>(reference.size()) - 1);
        // The allowance the turn's comparisons make; without it the estimate stops well short.
        RegistrationOptions options;
        options.misplacement = kTurnMisplacement;
        const Similarity start{coarse.dx * scale, coarse.dy * scale, 0, 1};
        const RegistrationResult r = Register(points, picture, width / 2.0, height / 2.0, start, options);
        EXPECT_NEAR(r.pose.angle * 180 / 3.141592653589793, shake.tilt, 0.01);
        EXPECT_NEAR(r.pose.dx, shake.dx, 0.05);
        EXPECT_NEAR(r.pose.dy, shake.dy, 0.05);
    }
}

TEST(Registration, ThinnedPointsStillFindThePose) {
    const int width = 400, height = 300;
    const Pyramid reference = BuildPyramid(GreyOf(testing::ShakenPhoto(width, height, {})));
    const ReferencePoints points = CollectPoints(reference, nullptr);
    const Shake shake{2.3, -1.6, 0.4, 1.05};
    const Pyramid picture = BuildPyramid(GreyOf(testing::ShakenPhoto(width, height, shake)));
    for (std::size_t cap : {std::size_t{0}, std::size_t{3000}, std::size_t{500}}) {
        RegistrationOptions options;
        options.maxPoints = cap;
        options.maxFinestPoints = cap;
        const RegistrationResult r = Register(points, picture, width / 2.0, height / 2.0, {}, options);
        EXPECT_NEAR(r.pose.dx, shake.dx, 0.1) << cap;
        EXPECT_NEAR(r.pose.dy, shake.dy, 0.1) << cap;
        EXPECT_NEAR(r.pose.angle * 180 / 3.141592653589793, shake.tilt, 0.03) << cap;
        EXPECT_NEAR(r.pose.gain, 1 / shake.exposure, 0.02) << cap;
    }
}

TEST(Registration, SearchShiftLooksRoundTheGivenShift) {
    const GreyImage reference = GreyOf(testing::ShakenPhoto(120, 90, {}));
    const GreyImage picture = GreyOf(testing::ShakenPhoto(120, 90, {11, -7, 0, 1}));
    struct Case {
        int radius, fromX, fromY;
        bool reaches;  // whether (11, -7) lies within radius of (fromX, fromY)
    };
    for (const Case& c : std::vector<Case>{{12, 0, 0, true}, {1, 10, -6, true}, {2, 12, -8, true}, {3, 0, 0, false}}) {
        const ShiftEstimate found = SearchShift(reference, picture, nullptr, c.radius, c.fromX, c.fromY);
        EXPECT_LE(std::abs(found.dx - c.fromX), c.radius);
        EXPECT_LE(std::abs(found.dy - c.fromY), c.radius);
        EXPECT_EQ(found.dx == 11 && found.dy == -7, c.reaches) << c.radius << " from " << c.fromX << ", " << c.fromY;
    }
}

TEST(StillMask, CountedInPartsMatchesOneCountAndLeavesOutWhatMoves) {
    const int width = 200, height = 150;
    const Pyramid reference = BuildPyramid(GreyOf(testing::ShakenPhoto(width, height, {})));
    // Whole-pixel shifts, so only the dark block (in the first two pictures) differs.
    std::vector<Pyramid> pictures;
    std::vector<Similarity> poses;
    for (int k = 0; k < 3; ++k) {
        Picture photo = testing::ShakenPhoto(width, height, {2.0 * k, -1.0 * k, 0, 1});
        for (int y = 40; y < 70 && k < 2; ++y)
            for (int x = 60; x < 90; ++x) std::fill_n(photo.pixel(x, y), 3, std::uint8_t{5});
        pictures.push_back(BuildPyramid(GreyOf(photo)));
        poses.push_back({2.0 * k, -1.0 * k, 0, 1});
    }
    const std::vector<const Pyramid*> all = {&pictures[0], &pictures[1], &pictures[2]};
    const double cx = width / 2.0, cy = height / 2.0;
    const std::size_t inBlock = 55 * static_cast<std::size_t>(width) + 74, farAway = 120 * width + 170;
    for (int minPictures : {1, 2, 3}) {
        const LevelMasks whole = StillMask(reference, all, poses, cx, cy, minPictures);
        const ChangeCounter counter(reference, cx, cy);
        std::vector<std::uint16_t> one, other;
        counter.Add(pictures[0], poses[0], one);
        counter.Add(pictures[2], poses[2], one);
        counter.Add(pictures[1], poses[1], other);
        EXPECT_EQ(counter.Mask({&one, &other}, minPictures), whole) << minPictures;
        ASSERT_EQ(whole.size(), reference.size());
        EXPECT_EQ(whole[0][inBlock], minPictures <= 2 ? 0 : 1) << minPictures;
        EXPECT_EQ(whole[0][farAway], 1) << minPictures;
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
