// SPDX-License-Identifier: MIT
// The export's two options: the viewer's half- and double-size frame sets, and the smooth resize.
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

using testing::FakeHost;
using testing::FreshTempDir;

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

TextGrid Frames(int m) {
    TextGrid frames(9, m + 1);
    for (int r = 1; r <= m; ++r) {
        frames.set(r, 0, std::to_string(r - 1));
        frames.set(r, 2, std::to_string(r % 3));
        frames.set(r, 3, "-1");
        frames.set(r, 4, std::to_string(2 * r - 3));
        frames.set(r, 5, r % 2 ? "-60" : "40");
        for (int c = 6; c <= 8; ++c) frames.set(r, c, c == 6 ? "5" : "0");
    }
    return frames;
}

TEST(ExtraFrameSizes, HalfRoundsUpAndNeverVanishesDoubleSaturates) {
    const std::pair<int, int> half[] = {{1, 1}, {2, 1}, {3, 2}, {0, 1}, {-4, 1}, {999, 500}, {1000, 500}};
    for (const auto& [size, expected] : half) EXPECT_EQ(HalfFrameSize(size), expected) << size;
    EXPECT_EQ(DoubleFrameSize(1), 2);
    EXPECT_EQ(DoubleFrameSize(1000), 2000);
    EXPECT_EQ(DoubleFrameSize(2'000'000'000), INT32_MAX);
}

struct ExportRun {
    std::filesystem::path out;
    FakeHost host;
    bool failed = false;

    // Turned, cropped and shrunk to 25 x 19 (odd ratios, so the half set rounds up).
    ExportRun(const std::string& name, bool smooth) : out(FreshTempDir(name)) {
        host.dir = out.string();
        const char* const crop[] = {"4", "3", "60", "45"};
        for (int i = 0; i < 4; ++i) host.crop[i] = crop[i];
        host.width = "25";
        host.height = "19";
        host.rotation = 90;
        host.smooth = smooth;
    }
};

void Export(ExportRun& run, const TextGrid& table, bool extraSizes, bool pipelined) {
    auto session = std::make_shared<ExportSession>(run.host, run.host, table, extraSizes);
    ExportPicture worker(session, {}, ExportOptions{pipelined});
    worker.Start();
    run.failed = !worker.Wait().ok();
}

// Each set's frames are the renderer's for its size from the same source and values, smooth or not,
// from the scheduled export as from the step-by-step one; the main set is what it is without them.
TEST(ExtraFrameSizes, EverySetHoldsTheRenderersFramesAtItsSize) {
    const std::filesystem::path dir = FreshTempDir("src");
    const std::vector<std::string> sources = Sources(dir, 3);
    const TextGrid frames = Frames(3);
    const int n = 5;
    const TextGrid table = BuildExportTable(n, frames, sources, 0);
    for (const bool smooth : {false, true}) {
        std::string mainSets[2];
        for (const bool pipelined : {true, false}) {
            ExportRun run(std::string(smooth ? "smooth" : "nearest") + (pipelined ? "-engine" : "-steps"), smooth);
            Export(run, table, true, pipelined);
            ASSERT_FALSE(run.failed);
            EXPECT_EQ(run.host.messages, std::vector<std::string>{"Export finished!"});
            for (int k = 1; k <= n; ++k) {
                // The frame as the hand-over describes it, rendered the documented way.
                ExportSession probe(run.host, run.host, table);
                ExportParams params;
                Picture none;
                for (int i = 0; i < k; ++i) probe.HandOver(none, params);
                Picture decoded;
                ASSERT_TRUE(LoadPicture(params.SourcePath, decoded).ok());
                const struct {
                    const char* folder;
                    int width, height;
                } sets[] = {{".", 25, 19}, {kHalfSizeFolder, 13, 10}, {kDoubleSizeFolder, 50, 38}};
                for (const auto& set : sets) {
                    FrameParams p = params;
                    p.OutputWidth = set.width;
                    p.OutputHeight = set.height;
                    Picture written;
                    ASSERT_TRUE(LoadPicture((run.out / set.folder / Name(k, ".png")).string(), written).ok())
                        << set.folder << " " << k;
                    EXPECT_TRUE(written == RenderFrameStepByStep(decoded, p)) << set.folder << " frame " << k;
                }
                mainSets[pipelined] += ReadFile(run.out / Name(k, ".png"));
            }
        }
        EXPECT_TRUE(mainSets[0] == mainSets[1]);
        // Without the sets the main frames are the same and no sub-folder appears.
        ExportRun plain(smooth ? "smooth-plain" : "nearest-plain", smooth);
        Export(plain, table, false, true);
        std::string main;
        for (int k = 1; k <= n; ++k) main += ReadFile(plain.out / Name(k, ".png"));
        EXPECT_TRUE(main == mainSets[1]);
        EXPECT_FALSE(std::filesystem::exists(plain.out / kHalfSizeFolder));
        EXPECT_FALSE(std::filesystem::exists(plain.out / kDoubleSizeFolder));
    }
}

// A sub-folder that cannot be made ends the export at its first frame, naming the folder.
TEST(ExtraFrameSizes, AFolderInTheWayIsNamed) {
    const std::filesystem::path dir = FreshTempDir("src");
    ExportRun run("out", false);
    std::ofstream(run.out / kHalfSizeFolder) << "not a folder";
    Export(run, BuildExportTable(3, Frames(2), Sources(dir, 2), 0), true, true);
    EXPECT_TRUE(run.failed);
    ASSERT_EQ(run.host.failures.size(), 1u);
    EXPECT_EQ(run.host.failures[0].file(), (run.out / kHalfSizeFolder).string());
    EXPECT_TRUE(std::filesystem::exists(run.out / "0001.png"));
    EXPECT_FALSE(std::filesystem::exists(run.out / "0002.png"));
}

TEST(ViewerPage, NamesTheExtraSetsOnlyWhenTheyAreWritten) {
    const std::string text = "<div data-count=\"[ITEMS]\" data-sets=\"\"></div> data-sets=\"x\"";
    ViewerPageFacts facts{12, 0, "640", "480", 0, 0};
    EXPECT_EQ(FillViewerTemplate(text, facts), "<div data-count=\"12\" data-sets=\"\"></div> data-sets=\"x\"");
    facts.extraSizes = true;
    EXPECT_EQ(FillViewerTemplate(text, facts),
              "<div data-count=\"12\" data-sets=\"half double\"></div> data-sets=\"x\"");
}

}  // namespace
}  // namespace turnlet
