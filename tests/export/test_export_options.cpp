// SPDX-License-Identifier: MIT
// The export's two options: the viewer's half- and double-size frame sets, and the smooth resize.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "export/export_engine.h"
#include "export/viewer_page.h"
#include "export_test_support.h"
#include "render/frame_render.h"
#include "codecs/image_files.h"

namespace turnlet {
namespace {

using testing::EvenPlan;
using testing::FakeObserver;
using testing::FreshTempDir;
using testing::RunPlan;

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Name(int k, const char* ext) {
    char name[16];
    std::snprintf(name, sizeof name, "%04d%s", k, ext);
    return name;
}

// m sources of fine random detail, so a wrong pixel anywhere shows.
std::vector<std::string> Sources(const std::filesystem::path& dir, int m) {
    std::mt19937 rng(17);
    std::vector<std::string> paths;
    for (int i = 0; i < m; ++i) {
        Picture p(70 + 3 * i, 52);
        for (std::size_t b = 0; b < p.byteSize(); ++b) p.data()[b] = static_cast<std::uint8_t>(rng());
        paths.push_back((dir / ("src" + std::to_string(i) + ".png")).string());
        EXPECT_TRUE(SavePicture(p, paths.back(), 95).ok());
    }
    return paths;
}

// n frames of the turn of sources, each source with its own shift, angle, zoom and brightness,
// turned, cropped and shrunk to 25 x 19 (odd ratios, so the half set rounds up).
ExportPlan Plan(const std::vector<std::string>& sources, int n, const std::filesystem::path& out, bool smooth,
                bool extraSizes, bool zoomSet = false) {
    ExportPlan plan = EvenPlan(sources, n, out.string());
    for (PlannedFrame& f : plan.frames) {
        const int r = static_cast<int>(std::find(sources.begin(), sources.end(), f.source) - sources.begin()) + 1;
        f.shiftX = -(r % 3);
        f.shiftY = 1;
        f.angle = -(2 * r - 3);
        f.scale = r % 2 ? 60 : -40;
        f.brightness = 5;
    }
    plan.cropLeft = 4;
    plan.cropTop = 3;
    plan.cropWidth = 60;
    plan.cropHeight = 45;
    plan.outputWidth = 25;
    plan.outputHeight = 19;
    plan.rotationDegrees = 90;
    plan.smooth = smooth;
    plan.extraSizes = extraSizes;
    plan.zoomSet = zoomSet;
    return plan;
}

TEST(ExtraFrameSizes, HalfRoundsUpAndNeverVanishesDoubleSaturates) {
    const std::pair<int, int> half[] = {{1, 1}, {2, 1}, {3, 2}, {0, 1}, {-4, 1}, {999, 500}, {1000, 500}};
    for (const auto& [size, expected] : half) EXPECT_EQ(HalfFrameSize(size), expected) << size;
    EXPECT_EQ(DoubleFrameSize(1), 2);
    EXPECT_EQ(DoubleFrameSize(1000), 2000);
    EXPECT_EQ(DoubleFrameSize(2'000'000'000), INT32_MAX);
}

// Each set's frames are the renderer's for its size from the same source and values, smooth or not,
// from the scheduled export as from the step-by-step one; the main set is what it is without them.
TEST(ExtraFrameSizes, EverySetHoldsTheRenderersFramesAtItsSize) {
    const std::filesystem::path dir = FreshTempDir("src");
    const std::vector<std::string> sources = Sources(dir, 3);
    const int n = 5;
    for (const bool smooth : {false, true}) {
        std::string mainSets[2];
        for (const bool pipelined : {true, false}) {
            const std::filesystem::path out =
                FreshTempDir(std::string(smooth ? "smooth" : "nearest") + (pipelined ? "-engine" : "-steps"));
            const ExportPlan plan = Plan(sources, n, out, smooth, true, true);
            FakeObserver host;
            const ExportOutcome outcome = RunPlan(host, plan, ExportOptions{pipelined});
            ASSERT_TRUE(outcome.succeeded()) << outcome.failure.message() << " " << outcome.written;
            for (int k = 1; k <= n; ++k) {
                // The frame as the plan describes it, rendered the documented way.
                const FrameParams params = plan.Frame(k - 1);
                Picture decoded;
                ASSERT_TRUE(LoadPicture(plan.frames[k - 1].source, decoded).ok());
                const struct {
                    const char* folder;
                    int width, height;
                } sets[] = {
                    {".", 25, 19}, {kHalfSizeFolder, 13, 10}, {kDoubleSizeFolder, 50, 38}, {kZoomFolder, 60, 46}};
                for (const auto& set : sets) {
                    FrameParams p = params;
                    p.OutputWidth = set.width;
                    p.OutputHeight = set.height;
                    Picture written;
                    ASSERT_TRUE(LoadPicture((out / set.folder / Name(k, ".png")).string(), written).ok())
                        << set.folder << " " << k;
                    EXPECT_TRUE(written == RenderFrameStepByStep(decoded, p)) << set.folder << " frame " << k;
                }
                mainSets[pipelined] += ReadFile(out / Name(k, ".png"));
            }
        }
        EXPECT_TRUE(mainSets[0] == mainSets[1]);
        // Without the sets the main frames are the same and no sub-folder appears.
        const std::filesystem::path plain = FreshTempDir(smooth ? "smooth-plain" : "nearest-plain");
        FakeObserver host;
        ASSERT_TRUE(RunPlan(host, Plan(sources, n, plain, smooth, false)).succeeded());
        std::string main;
        for (int k = 1; k <= n; ++k) main += ReadFile(plain / Name(k, ".png"));
        EXPECT_TRUE(main == mainSets[1]);
        EXPECT_FALSE(std::filesystem::exists(plain / kHalfSizeFolder));
        EXPECT_FALSE(std::filesystem::exists(plain / kDoubleSizeFolder));
        EXPECT_FALSE(std::filesystem::exists(plain / kZoomFolder));
    }
}

// The zoom set is the crop's own resolution in the frame's shape, and only where it is larger than the
// largest set written anyway.
TEST(ExtraFrameSizes, ZoomSetAtTheCropsResolutionWhenLarger) {
    struct Case {
        int cropWidth, cropHeight, width, height;
        bool extraSizes;
        ZoomSize expected;
    };
    const Case cases[] = {
        {3000, 3000, 1000, 1000, true, {3000, 3000}},
        {3000, 2000, 600, 400, false, {3000, 2000}},
        {3000, 2000, 500, 400, false, {3000, 2400}},  // stretched frames keep their shape
        {1500, 1500, 1000, 1000, false, {1500, 1500}},
        {1500, 1500, 1000, 1000, true, {}},  // the double set is larger
        {2000, 2000, 1000, 1000, true, {}},  // and as large
        {800, 800, 1000, 1000, false, {}},   // the main set is already larger
        {60, 45, 25, 19, true, {60, 46}},
    };
    for (const Case& c : cases) {
        ExportPlan plan;
        plan.cropWidth = c.cropWidth;
        plan.cropHeight = c.cropHeight;
        plan.outputWidth = c.width;
        plan.outputHeight = c.height;
        plan.extraSizes = c.extraSizes;
        plan.zoomSet = true;
        const ZoomSize zoom = ZoomFrameSize(plan);
        EXPECT_EQ(zoom.width, c.expected.width) << c.cropWidth << " " << c.width << " " << c.extraSizes;
        EXPECT_EQ(zoom.height, c.expected.height) << c.cropWidth << " " << c.width << " " << c.extraSizes;
        plan.zoomSet = false;
        EXPECT_TRUE(ZoomFrameSize(plan).empty());
    }
}

// An extra size's file that cannot be written ends the export there: its frame is not complete,
// the frames before it are, and nothing started after the failed write stays.
TEST(ExtraFrameSizes, AFailedExtraWriteEndsTheExportAtItsFrame) {
    const std::filesystem::path dir = FreshTempDir("src");
    const std::filesystem::path out = FreshTempDir("out");
    std::filesystem::create_directories(out / kDoubleSizeFolder / "0003.png");
    FakeObserver host;
    const ExportOutcome outcome = RunPlan(host, Plan(Sources(dir, 2), 6, out, false, true, true));
    EXPECT_EQ(outcome.end, ExportOutcome::End::Failed);
    EXPECT_EQ(outcome.failure.file(), (out / kDoubleSizeFolder / "0003.png").string());
    EXPECT_EQ(outcome.written, 2);
    for (int k = 1; k <= 2; ++k) {
        for (const char* set : {".", kHalfSizeFolder, kDoubleSizeFolder, kZoomFolder})
            EXPECT_TRUE(std::filesystem::exists(out / set / Name(k, ".png"))) << set << k;
    }
    EXPECT_FALSE(std::filesystem::exists(out / kZoomFolder / "0003.png"));
    for (int k = 4; k <= 6; ++k) EXPECT_FALSE(std::filesystem::exists(out / Name(k, ".png"))) << k;
}

// A sub-folder that cannot be made ends the export at its first frame, naming the folder.
TEST(ExtraFrameSizes, AFolderInTheWayIsNamed) {
    const std::filesystem::path dir = FreshTempDir("src");
    const std::filesystem::path out = FreshTempDir("out");
    std::ofstream(out / kHalfSizeFolder) << "not a folder";
    FakeObserver host;
    const ExportOutcome outcome = RunPlan(host, Plan(Sources(dir, 2), 3, out, false, true));
    EXPECT_EQ(outcome.end, ExportOutcome::End::Failed);
    EXPECT_EQ(outcome.failure.file(), (out / kHalfSizeFolder).string());
    EXPECT_EQ(outcome.written, 0);  // frame 1 lacks its other sizes
    EXPECT_TRUE(std::filesystem::exists(out / "0001.png"));
    EXPECT_FALSE(std::filesystem::exists(out / "0002.png"));
}

// Each type of the list names its frames with its own extension, in the files and on the page; an
// index from a newer or damaged project falls back to JPEG.
TEST(ExportTypes, FramesAndPageShareTheExtension) {
    const std::pair<int, const char*> types[] = {{0, "jpg"},  {1, "png"}, {2, "bmp"}, {3, "webp"},
                                                 {4, "avif"}, {5, "jpg"}, {-1, "jpg"}};
    for (const auto& [index, ext] : types) {
        ExportPlan plan;
        plan.typeIndex = index;
        EXPECT_EQ(plan.FileName(41), std::string("0042.") + ext) << index;
        EXPECT_EQ(FillViewerTemplate("[TYPE]/[ITEMS]", {7, index, 10, 10, false}), std::string(ext) + "/7");
    }
}

TEST(ViewerPage, NamesTheExtraSetsOnlyWhenTheyAreWritten) {
    const std::string text = "<div data-count=\"[ITEMS]\" data-sets=\"\"></div> data-sets=\"x\"";
    ViewerPageFacts facts{12, 0, 640, 480, false};
    EXPECT_EQ(FillViewerTemplate(text, facts), "<div data-count=\"12\" data-sets=\"\"></div> data-sets=\"x\"");
    facts.extraSizes = true;
    EXPECT_EQ(FillViewerTemplate(text, facts),
              "<div data-count=\"12\" data-sets=\"half double\"></div> data-sets=\"x\"");
    facts.zoomWidth = 1920;
    facts.zoomHeight = 1440;
    EXPECT_EQ(FillViewerTemplate(text, facts),
              "<div data-count=\"12\" data-sets=\"half double zoom\" data-zoom-width=\"1920\" "
              "data-zoom-height=\"1440\"></div> data-sets=\"x\"");
    facts.extraSizes = false;
    EXPECT_EQ(FillViewerTemplate(text, facts),
              "<div data-count=\"12\" data-sets=\"zoom\" data-zoom-width=\"1920\" "
              "data-zoom-height=\"1440\"></div> data-sets=\"x\"");
}

}  // namespace
}  // namespace turnlet
