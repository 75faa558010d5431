// SPDX-License-Identifier: MIT
// TransformPicture: worked examples, orientation, and agreement with a plain per-pixel evaluation.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <cmath>
#include <limits>
#include <random>
#include <sstream>
#include <vector>

#include "imaging/transform.h"
#include "kernel_level_test_util.h"
#include "pixel_test_util.h"

namespace turnlet {
namespace {

using testing::Bgr;
using testing::Pattern;
using testing::PixelAt;

constexpr Color kBackground = 0x00332211;  // red 0x11, green 0x22, blue 0x33
constexpr Bgr kBackgroundBgr = {0x33, 0x22, 0x11};
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// The formula pixel by pixel on one thread, no shortcuts.
Picture Reference(const Picture& src, int left, int top, int outW, int outH, Color bg, double angle, double scale) {
    Picture out(outW, outH);
    out.fill(bg);
    const double k = scale > 0 ? 1000 / (1000 - scale) : (1000 + scale) * 0.001;
    if (!(scale < 1000) || !(k >= 0) || std::isinf(k)) return out;
    const double theta = angle * 3.141592653589793 / 180;
    const double c = std::cos(theta), s = std::sin(theta);
    const int cx = outW / 2, cy = outH / 2;
    for (int y = 0; y < out.height(); ++y) {
        for (int x = 0; x < out.width(); ++x) {
            const double dx = x - cx, dy = y - cy;
            const double u = dx * c - dy * s;
            const double v = dx * s + dy * c;
            const double sx = std::trunc(u * k + left + cx);
            const double sy = std::trunc(v * k + top + cy);
            if (sx >= 0 && sx < src.width() && sy >= 0 && sy < src.height()) {
                std::memcpy(out.pixel(x, y), src.pixel(static_cast<int>(sx), static_cast<int>(sy)), 3);
            }
        }
    }
    return out;
}

bool AllBackground(const Picture& p) {
    for (int y = 0; y < p.height(); ++y)
        for (int x = 0; x < p.width(); ++x)
            if (PixelAt(p, x, y) != kBackgroundBgr) return false;
    return true;
}

TEST(ZoomFactor, WorkedValues) {
    EXPECT_EQ(ZoomFactor(0), 1.0);
    EXPECT_EQ(ZoomFactor(500), 2.0);
    EXPECT_EQ(ZoomFactor(-500), 0.5);
    EXPECT_EQ(ZoomFactor(-1000), 0.0);
    EXPECT_TRUE(std::isinf(ZoomFactor(1000)));
    EXPECT_LT(ZoomFactor(2000), 0);
}

TEST(TransformPicture, IdentityReproducesSource) {
    const Picture src = Pattern(37, 23);
    Picture out;
    TransformPicture(src, out, 0, 0, 37, 23, kBackground, 0, 0);
    EXPECT_EQ(out, src);
}

TEST(TransformPicture, NegativeLeftGivesBackgroundBand) {
    const Picture src = Pattern(60, 10);
    Picture out;
    TransformPicture(src, out, -20, 0, 60, 10, kBackground, 0, 0);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 60; ++x) {
            const Bgr expected = x < 20 ? kBackgroundBgr : PixelAt(src, x - 20, y);
            ASSERT_EQ(PixelAt(out, x, y), expected) << x << "," << y;
        }
}

TEST(TransformPicture, ZeroZoomShowsTheCentrePoint) {
    const Picture src = Pattern(50, 40);
    Picture out;
    TransformPicture(src, out, 3, 4, 21, 11, kBackground, 17, -1000);
    const Bgr centre = PixelAt(src, 3 + 10, 4 + 5);
    for (int y = 0; y < 11; ++y)
        for (int x = 0; x < 21; ++x) ASSERT_EQ(PixelAt(out, x, y), centre);
    TransformPicture(src, out, 45, 4, 21, 11, kBackground, 17, -1000);  // centre at x = 55, outside
    EXPECT_TRUE(AllBackground(out));
}

TEST(TransformPicture, EmptySourceGivesBackground) {
    Picture out;
    TransformPicture(Picture(), out, 0, 0, 8, 6, kBackground, 10, 100);
    ASSERT_EQ(out.width(), 8);
    ASSERT_EQ(out.height(), 6);
    EXPECT_TRUE(AllBackground(out));
}

TEST(TransformPicture, Angle90ShowsRightOfCentreAbove) {
    const Picture src = Pattern(11, 11);
    Picture out;
    TransformPicture(src, out, 0, 0, 11, 11, kBackground, 90, 0);
    // Centre (5, 5); the source point right of it, (6, 5), appears above it.
    EXPECT_EQ(PixelAt(out, 5, 5), PixelAt(src, 5, 5));
    EXPECT_EQ(PixelAt(out, 5, 4), PixelAt(src, 6, 5));
}

TEST(TransformPicture, PointsJustLeftOfZeroTakeColumnZero) {
    // Zoom 0.5, centre 2: column x samples trunc((x - 2) * 0.5 + left + 2).
    const Picture src = Pattern(4, 1);
    Picture out;
    TransformPicture(src, out, -1, 0, 4, 1, kBackground, 0, -500);
    EXPECT_EQ(PixelAt(out, 0, 0), PixelAt(src, 0, 0));
    EXPECT_EQ(PixelAt(out, 1, 0), PixelAt(src, 0, 0));  // -0.5 + 1 = 0.5 → 0
    EXPECT_EQ(PixelAt(out, 3, 0), PixelAt(src, 1, 0));
    TransformPicture(src, out, -2, 0, 4, 1, kBackground, 0, -500);
    EXPECT_EQ(PixelAt(out, 0, 0), kBackgroundBgr);      // -1 is outside
    EXPECT_EQ(PixelAt(out, 1, 0), PixelAt(src, 0, 0));  // -0.5 truncates to 0
}

TEST(TransformPicture, UnusableScalesAndSizes) {
    const Picture src = Pattern(20, 20);
    Picture out;
    for (double scale : {1000.0, 1000.5, 5000.0, kInf, -kInf, kNaN, -1000.5, -1e300}) {
        TransformPicture(src, out, 0, 0, 9, 7, kBackground, 0, scale);
        ASSERT_EQ(out.width(), 9);
        EXPECT_TRUE(AllBackground(out)) << scale;
        // The export's renderer asks the mapping; it must give up on the same scales.
        EXPECT_FALSE(TransformMapping(0, 0, 9, 7, 0, scale).valid()) << scale;
    }
    for (double angle : {kNaN, kInf, -kInf}) {
        TransformPicture(src, out, 0, 0, 9, 7, kBackground, angle, 0);
        EXPECT_TRUE(AllBackground(out)) << angle;
    }
    for (auto [w, h] : {std::pair{0, 5}, {5, 0}, {-3, 4}, {INT_MIN, INT_MIN}}) {
        TransformPicture(src, out, 0, 0, w, h, kBackground, 0, 0);
        EXPECT_TRUE(out.empty());
    }
}

struct TransformCase {
    int srcW, srcH, left, top, outW, outH;
    double angle, scale;
};

std::string Describe(const TransformCase& c) {
    std::ostringstream s;
    s.precision(17);
    s << c.srcW << "x" << c.srcH << " at (" << c.left << "," << c.top << ") -> " << c.outW << "x" << c.outH << " angle "
      << c.angle << " scale " << c.scale;
    return s.str();
}

// The output TransformMapping describes: what every path of TransformPicture must write.
Picture ByMapping(const Picture& src, const TransformCase& c) {
    Picture out(c.outW, c.outH);
    const TransformMapping mapping(c.left, c.top, c.outW, c.outH, c.angle, c.scale);
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x) {
            int sx = 0, sy = 0;
            const Bgr bgr =
                mapping.Map(x, y, src.width(), src.height(), sx, sy) ? PixelAt(src, sx, sy) : kBackgroundBgr;
            std::memcpy(out.pixel(x, y), bgr.data(), 3);
        }
    return out;
}

void ExpectSamePixels(const Picture& out, const Picture& expected, const std::string& what) {
    ASSERT_EQ(out.width(), expected.width()) << what;
    ASSERT_EQ(out.height(), expected.height()) << what;
    if (out == expected) return;
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x)
            ASSERT_EQ(PixelAt(out, x, y), PixelAt(expected, x, y)) << what << " at " << x << "," << y;
}

// TransformPicture against TransformMapping, and the mapping against the formula as written.
void ExpectMatchesReference(const TransformCase& c, std::mt19937& rng) {
    const Picture src = testing::RandomPicture(c.srcW, c.srcH, rng);
    Picture out;
    TransformPicture(src, out, c.left, c.top, c.outW, c.outH, kBackground, c.angle, c.scale);
    const Picture expected = ByMapping(src, c);
    ExpectSamePixels(out, expected, Describe(c));
    if (c.outW > 0 && c.outH > 0) {
        ExpectSamePixels(expected, Reference(src, c.left, c.top, c.outW, c.outH, kBackground, c.angle, c.scale),
                         "mapping " + Describe(c));
    }
}

// Run at every level the machine has; each test also checks that the level asked for really ran.
class TransformKernels : public testing::KernelLevelTest {
  protected:
    void ExpectRanAtLimit() { ExpectRan(Kernel::Transform, "transform", GetParam()); }
};
TURNLET_KERNEL_LEVELS(TransformKernels);

TEST_P(TransformKernels, MatchesReferenceOnChosenCases) {
    std::mt19937 rng(11);
    const TransformCase cases[] = {
        {40, 30, 0, 0, 40, 30, 90, 0},
        {40, 30, 0, 0, 40, 30, -90, 0},
        {40, 30, 0, 0, 40, 30, 180, 0},
        {40, 30, 0, 0, 40, 30, 270, 0},
        {41, 31, -3, 5, 33, 47, 45, 0},
        {41, 31, 5, -7, 30, 30, 30, 500},
        {41, 31, 5, 7, 30, 30, -30, -500},
        {41, 31, 0, 0, 41, 31, 1e-9, 1e-9},
        {41, 31, 10, 10, 20, 20, 5, 999.999},
        {41, 31, -20, -15, 80, 60, 3, 999.999999},
        {9, 9, 2000000000, 0, 10, 10, 0, 0},
        {9, 9, -2000000000, 0, 10, 10, 0, 0},
        {9, 9, INT_MIN, INT_MAX, 10, 10, 7, 3},
        {9, 9, INT_MAX, INT_MIN, 10, 10, 7, -3},
        {1, 1, 0, 0, 7, 5, 0, 0},
        {1, 1, -3, -2, 7, 5, 33, -999},
        {1, 40, 0, 0, 5, 40, 0.5, 0},
        {40, 1, 0, 0, 40, 5, -0.5, 0},
        {50, 50, 0, 0, 1, 1, 12, 34},
        {50, 50, 0, 0, 1, 60, 12, 34},
        {50, 50, 0, 0, 60, 1, 12, 34},
        {30, 20, 0, 0, 30, 20, 1e6, 0},
        {30, 20, 0, 0, 30, 20, -720.25, -1000},
        {30, 20, 0, 0, 30, 20, 359.999999, 0},
        {1200, 900, 100, 50, 1000, 800, 5, 90},  // large enough to run on several threads
        {1201, 899, -300, 400, 999, 801, -37.5, -250},
    };
    for (const TransformCase& c : cases) ExpectMatchesReference(c, rng);
    ExpectRanAtLimit();
}

TEST_P(TransformKernels, MatchesReferenceOnRandomCases) {
    std::mt19937 rng(2024);
    std::uniform_int_distribution<int> size(1, 90);
    std::uniform_int_distribution<int> offset(-60, 60);
    std::uniform_real_distribution<double> angle(-400, 400);
    std::uniform_real_distribution<double> scale(-1000, 999.999);
    std::uniform_int_distribution<int> pick(0, 9);
    const double specialAngles[] = {0, 90, -90, 180, 270, 45, 1e-12, -1e-12, 360, kNaN};
    const double specialScales[] = {0, -1000, 500, -500, 999.999, 1000, 5000, 1e-12, -999.9999, 250};
    for (int i = 0; i < 2000; ++i) {
        TransformCase c{size(rng), size(rng), offset(rng), offset(rng), size(rng), size(rng), angle(rng), scale(rng)};
        if (pick(rng) == 0) c.angle = specialAngles[pick(rng)];
        if (pick(rng) == 0) c.scale = specialScales[pick(rng)];
        if (pick(rng) == 0) c.left = pick(rng) < 5 ? 2000000000 : -2000000000;
        ExpectMatchesReference(c, rng);
        if (::testing::Test::HasFatalFailure()) return;
    }
    ExpectRanAtLimit();
}

// Rows wide enough for the 16-pixel vector steps, at the small angles and zooms they serve and at
// others that make them fall back.
TEST_P(TransformKernels, WideRowsAtSmallAnglesAndZooms) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> srcSize(1, 400);
    std::uniform_int_distribution<int> outWidth(16, 520);
    std::uniform_int_distribution<int> outHeight(1, 24);
    std::uniform_int_distribution<int> offset(-150, 350);
    std::uniform_real_distribution<double> smallAngle(-12, 12);
    std::uniform_real_distribution<double> anyAngle(-400, 400);
    std::uniform_real_distribution<double> scale(-900, 999);
    std::uniform_int_distribution<int> pick(0, 9);
    const double fixedAngles[] = {0, 5, -5, -30, 30, 90, -90, 180, 175, -0.001};
    const double fixedScales[] = {90, 0, -500, -900, 200, 500, 999, 1e-9};
    for (int i = 0; i < 400; ++i) {
        TransformCase c{srcSize(rng), srcSize(rng), offset(rng), offset(rng), outWidth(rng), outHeight(rng), 0, 0};
        const int kind = pick(rng);
        c.angle = kind < 4 ? fixedAngles[pick(rng)] : kind < 8 ? smallAngle(rng) : anyAngle(rng);
        c.scale = pick(rng) < 4 ? fixedScales[pick(rng) % 8] : scale(rng);
        if (pick(rng) == 0) c.left = pick(rng) < 5 ? 2000000000 : -2000000000;
        if (pick(rng) == 0) c.top = pick(rng) < 5 ? 2000000000 : -2000000000;
        // Windows that reach the source's last bytes, where the wide loads must not go.
        if (pick(rng) == 0) c.top = c.srcH - c.outH / 2;
        ExpectMatchesReference(c, rng);
        if (::testing::Test::HasFatalFailure()) return;
    }
    ExpectRanAtLimit();
}

// The benchmark's shape in small: a photo-sized row walk at 5 degrees and scale 90, and its mirror images.
TEST_P(TransformKernels, MatchesReferenceOnWideRows) {
    std::mt19937 rng(5);
    const TransformCase cases[] = {
        {1500, 300, 300, 40, 1200, 160, 5, 90},     {1500, 300, 300, 40, 1200, 160, -5, 90},
        {1500, 300, 300, 40, 1200, 160, 175, 90},   {1500, 300, 300, 40, 1200, 160, 0, 90},
        {1500, 300, -100, 200, 1200, 160, 5, -300}, {1500, 300, 400, -60, 1201, 161, 5, 150},
    };
    for (const TransformCase& c : cases) ExpectMatchesReference(c, rng);
    ExpectRanAtLimit();
}

// A 16-pixel step reaches up to ceil(15 |sin| k) + 1 rows and ceil(15 |cos| k) + 1 columns; the widest
// path picks from that how many rows to load and whether to check each step. Slopes just under and
// over each bound, along rows whose source columns and rows rise or fall, from crops over every edge
// of the source.
TEST_P(TransformKernels, StepReachAtItsBounds) {
    std::mt19937 rng(15);
    std::vector<TransformCase> cases;
    for (const double rowsMoved : {1.0, 2.0, 3.0, 3.15}) {
        for (const double nudge : {-1e-4, 1e-4}) {
            const double degrees = std::asin(rowsMoved / 15 + nudge) * 180 / 3.141592653589793;
            for (const double angle : {degrees, -degrees, 180 - degrees, 180 + degrees}) {
                cases.push_back({300, 120, -10, -5, 280, 90, angle, 0});
                cases.push_back({300, 120, 30, 40, 280, 90, angle, 0});
            }
        }
    }
    // 15 cos k = 20 at scale 250 and 20.15 at about 255.58: columns a step may span, at the bounds
    // and around them.
    for (const double scale : {249.99, 250.0, 250.01, 255.57, 255.59}) {
        for (const double angle : {0.0, 180.0, 3.0, 183.0}) cases.push_back({400, 60, -20, -8, 300, 70, angle, scale});
    }
    for (const TransformCase& c : cases) ExpectMatchesReference(c, rng);
    ExpectRanAtLimit();
}

// The export renders through TransformMapping pixel by pixel; both paths must pick the same pixels.
TEST(TransformPicture, AgreesWithTransformMapping) {
    std::mt19937 rng(99);
    std::uniform_int_distribution<int> size(1, 70);
    std::uniform_int_distribution<int> offset(-40, 40);
    std::uniform_real_distribution<double> angle(-200, 200);
    std::uniform_real_distribution<double> scale(-1000, 999.9);
    for (int i = 0; i < 300; ++i) {
        const int srcW = size(rng), srcH = size(rng), outW = size(rng), outH = size(rng);
        const int left = offset(rng), top = offset(rng);
        const double a = angle(rng), sc = scale(rng);
        const Picture src = testing::RandomPicture(srcW, srcH, rng);
        Picture out;
        TransformPicture(src, out, left, top, outW, outH, kBackground, a, sc);
        const TransformMapping mapping(left, top, outW, outH, a, sc);
        for (int y = 0; y < outH; ++y)
            for (int x = 0; x < outW; ++x) {
                int sx = 0, sy = 0;
                const Bgr expected = mapping.Map(x, y, srcW, srcH, sx, sy) ? PixelAt(src, sx, sy) : kBackgroundBgr;
                ASSERT_EQ(PixelAt(out, x, y), expected) << i << " at " << x << "," << y;
            }
    }
}

}  // namespace
}  // namespace turnlet
