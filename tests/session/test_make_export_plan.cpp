// SPDX-License-Identifier: MIT
// The export plan made from a project: frames picked evenly, the proportional rule, what is refused.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "session/make_export_plan.h"

namespace turnlet {
namespace {

constexpr std::int32_t kBig = std::numeric_limits<std::int32_t>::max();

Project TurnOf(int photos) {
    Project p;
    New(p, "/out/turn");
    for (int i = 0; i < photos; ++i) p.sources.push_back("/s/" + std::to_string(i) + ".jpg");
    p.lastFrame = photos - 1;
    return p;
}

ExportPlanRequest Request(int pictureWidth, int pictureHeight, std::string templatePath = {}) {
    ExportPlanRequest request;
    request.pictureWidth = pictureWidth;
    request.pictureHeight = pictureHeight;
    request.templatePath = std::move(templatePath);
    return request;
}

TEST(MakeExportPlan, PicksTheTurnsFramesEvenlyWithTheirValues) {
    Project p = TurnOf(6);
    p.firstFrame = 1;
    p.lastFrame = 4;  // four frames: photos 1 .. 4
    ChangeKeyframe(p.keyframes, p.sources[3], {10.7, -3.9, 2.5, 40, 5, -6, 7});
    p.backgroundColor = 0x00010203;
    const struct {
        int n;
        std::vector<int> photos;
    } cases[] = {
        {7, {1, 1, 2, 2, 3, 3, 4}}, {4, {1, 2, 3, 4}}, {2, {1, 4}}, {1, {1}}, {3, {1, 2, 4}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.n);
        p.exportSettings.frames = c.n;
        ExportPlan plan;
        ASSERT_TRUE(MakeExportPlan(p, Request(640, 480), plan).ok());
        std::vector<int> photos;
        for (const PlannedFrame& f : plan.frames) photos.push_back(std::stoi(f.source.substr(3)));
        EXPECT_EQ(photos, c.photos);
        EXPECT_EQ(plan.background, 0x00010203u);
        for (const PlannedFrame& f : plan.frames) {
            // The one keyframe holds everywhere: whole pixels and angle and scale negated, tone as it is.
            EXPECT_EQ(f, (PlannedFrame{f.source, -10, 3, -2.5, -40, 5, -6, 7}));
        }
    }
}

TEST(MakeExportPlan, RefusesWhatCannotBeExported) {
    ExportPlan plan;
    plan.directory = "kept";
    const Status none = MakeExportPlan(TurnOf(0), Request(640, 480), plan);
    EXPECT_FALSE(none.ok());
    EXPECT_NE(none.message().find("no source images"), std::string::npos);
    EXPECT_EQ(plan.directory, "kept");
    for (int frames : {0, -3, kMaxExportFrames + 1}) {
        Project p = TurnOf(3);
        p.exportSettings.frames = frames;
        const Status status = MakeExportPlan(p, Request(640, 480), plan);
        EXPECT_FALSE(status.ok()) << frames;
        EXPECT_NE(status.message().find(std::to_string(frames)), std::string::npos);
    }
}

TEST(MakeExportPlan, SettingsRequestAndThePage) {
    const struct {
        const char* name;
        int typeIndex;
        bool viewer, extraSizes;
        bool requestExtra;
        bool page, extra;
    } cases[] = {
        {"JPEG with a page", 0, true, false, false, true, false},
        {"PNG with a page and extra sizes", 1, true, true, false, true, true},
        {"the command line adds extra sizes", 0, true, false, true, true, true},
        {"BMP never has a page", 2, true, true, true, false, false},
        {"no page, no extra sizes", 0, false, true, false, false, false},
        {"an unknown type is JPEG", 7, true, false, false, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Project p = TurnOf(2);
        p.rotationIndex = 3;
        p.exportSettings.typeIndex = c.typeIndex;
        p.exportSettings.html5Viewer = c.viewer;
        p.exportSettings.extraSizes = c.extraSizes;
        ExportPlanRequest request = Request(640, 480, "/share/viewer.html");
        request.extraSizes = c.requestExtra;
        ExportPlan plan;
        ASSERT_TRUE(MakeExportPlan(p, request, plan).ok());
        EXPECT_EQ(plan.page.has_value(), c.page);
        if (plan.page) {
            EXPECT_EQ(plan.page->templatePath, "/share/viewer.html");
        }
        EXPECT_EQ(plan.extraSizes, c.extra);
        EXPECT_EQ(plan.typeIndex, c.typeIndex == 7 ? 0 : c.typeIndex);
        EXPECT_EQ(plan.rotationDegrees, 270);
        EXPECT_EQ(plan.directory, "/out/turn");
        EXPECT_FALSE(plan.smooth);
        // No crop: the whole turned picture at its own size.
        EXPECT_EQ((CropArea{plan.cropLeft, plan.cropTop, plan.cropWidth, plan.cropHeight}), (CropArea{0, 0, 640, 480}));
        EXPECT_EQ((FrameSize{plan.outputWidth, plan.outputHeight}), (FrameSize{640, 480}));
    }
    // The command line's folder and smooth resize override the project's.
    Project p = TurnOf(2);
    p.crop = CropArea{5, 6, 300, 200};
    p.exportSettings.width = 600;
    ExportPlanRequest request = Request(640, 480);
    request.directory = "/elsewhere";
    request.smooth = true;
    ExportPlan plan;
    ASSERT_TRUE(MakeExportPlan(p, request, plan).ok());
    EXPECT_EQ(plan.directory, "/elsewhere");
    EXPECT_TRUE(plan.smooth);
    EXPECT_EQ((CropArea{plan.cropLeft, plan.cropTop, plan.cropWidth, plan.cropHeight}), (CropArea{5, 6, 300, 200}));
    EXPECT_EQ((FrameSize{plan.outputWidth, plan.outputHeight}), (FrameSize{600, 400}));
}

// The proportional rule on a crop of cropWidth x cropHeight: integer arithmetic, the product first,
// the division truncating, either side may have led.
TEST(ProportionalRule, KeepsFollowsAndDistorts) {
    const struct {
        FrameSize size;
        std::int32_t cropWidth, cropHeight;
        bool keeps;
        FrameSize followed;
        bool distorts;
    } cases[] = {
        {{600, 400}, 300, 200, true, {600, 400}, false},
        {{601, 400}, 300, 200, true, {601, 400}, false},   // 601 * 2 / 3 = 400
        {{600, 403}, 300, 200, false, {600, 400}, false},  // within 1 %
        {{600, 405}, 300, 200, false, {600, 400}, true},
        {{100, 67}, 3, 2, true, {100, 67}, false},  // the height led: 67 * 3 / 2 = 100
        {{100, 66}, 3, 2, true, {100, 66}, false},
        {{3, 2}, 1000, 667, true, {3, 2}, false},  // small frames cannot match to 1 %
        {{1, 1}, 3000, 10, false, {1, 1}, true},   // never below one row
        {{kBig, 5}, 1, 1000, false, {kBig, kBig}, true},
        {{640, 480}, 0, 480, true, {640, 480}, false},  // a crop of no size has no proportions
        {{0, 480}, 640, 480, false, {0, 1}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.size.width << "x" << c.size.height << " on " << c.cropWidth << "x"
                                        << c.cropHeight);
        EXPECT_EQ(KeepsProportions(c.size, c.cropWidth, c.cropHeight), c.keeps);
        EXPECT_EQ(FollowCrop(c.size, c.cropWidth, c.cropHeight), c.followed);
        EXPECT_EQ(DistortsCrop(c.size, c.cropWidth, c.cropHeight), c.distorts);
    }
}

TEST(ExportFrameSize, UnsetSidesTakeTheCropsAndProportionalFollowsIt) {
    const CropArea crop{0, 0, 1200, 900};
    const struct {
        std::int32_t width, height;
        bool proportional;
        FrameSize size;
    } cases[] = {
        {0, 0, true, {1200, 900}},    {800, 0, true, {800, 600}},    {800, 0, false, {800, 900}},
        {800, 500, true, {800, 600}}, {800, 500, false, {800, 500}}, {2666, 2000, true, {2666, 2000}},
    };
    for (const auto& c : cases) {
        ExportSettings settings;
        settings.width = c.width;
        settings.height = c.height;
        settings.proportional = c.proportional;
        EXPECT_EQ(ExportFrameSize(settings, crop), c.size) << c.width << "x" << c.height << " " << c.proportional;
    }
}

}  // namespace
}  // namespace turnlet
