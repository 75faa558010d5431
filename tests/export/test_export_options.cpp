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
                bool extraSizes) {
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
            const ExportPlan plan = Plan(sources, n, out, smooth, true);
            FakeObserver host;
            ASSERT_TRUE(RunPlan(host, plan, ExportOptions{pipelined}).succeeded());
            for (int k = 1; k <= n; ++k) {
                // The frame as the plan describes it, rendered the documented way.
                const FrameParams params = plan.Frame(k - 1);
                Picture decoded;
                ASSERT_TRUE(LoadPicture(plan.frames[k - 1].source, decoded).ok());
                const struct {
                    const char* folder;
                    int width, height;
                } sets[] = {{".", 25, 19}, {kHalfSizeFolder, 13, 10}, {kDoubleSizeFolder, 50, 38}};
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
    }
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

TEST(ViewerPage, NamesTheExtraSetsOnlyWhenTheyAreWritten) {
    const std::string text = "<div data-count=\"[ITEMS]\" data-sets=\"\"></div> data-sets=\"x\"";
    ViewerPageFacts facts{12, 0, 640, 480, false};
    EXPECT_EQ(FillViewerTemplate(text, facts), "<div data-count=\"12\" data-sets=\"\"></div> data-sets=\"x\"");
    facts.extraSizes = true;
    EXPECT_EQ(FillViewerTemplate(text, facts),
              "<div data-count=\"12\" data-sets=\"half double\"></div> data-sets=\"x\"");
}

}  // namespace
}  // namespace turnlet
