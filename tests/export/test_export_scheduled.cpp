// SPDX-License-Identifier: MIT
// The scheduled export (sources decoded ahead in part, frames rendered fused) writes the files of the
// step-by-step export byte for byte, over random projects, also when the crop is edited mid-export.
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "export/export_engine.h"
#include "export_test_support.h"
#include "codecs/image_files.h"

namespace turnlet {
namespace {

using testing::FakeHost;
using testing::FreshTempDir;

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Photo-like sources: smooth ramps with grain, mostly JPEG of both chroma layouts, some PNG.
std::vector<std::string> MakeSources(const std::filesystem::path& dir, int m, std::mt19937& rng) {
    std::vector<std::string> paths;
    for (int i = 0; i < m; ++i) {
        const int width = 260 + static_cast<int>(rng() % 140), height = 200 + static_cast<int>(rng() % 100);
        Picture p(width, height);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                std::uint8_t* px = p.pixel(x, y);
                px[0] = static_cast<std::uint8_t>(x + 17 * i + rng() % 25);
                px[1] = static_cast<std::uint8_t>(2 * y + rng() % 25);
                px[2] = static_cast<std::uint8_t>(((x / 7) ^ (y / 5)) * 9 + rng() % 25);
            }
        }
        const bool png = rng() % 5 == 0;
        const std::string path = (dir / ("src" + std::to_string(i) + (png ? ".png" : ".jpg"))).string();
        EXPECT_TRUE(SavePicture(p, path, rng() % 2 ? 95 : 75).ok());
        paths.push_back(path);
    }
    return paths;
}

struct Project {
    std::vector<std::string> sources;
    TextGrid frames{9, 1};
    int n = 1;
    int rotation = 0;
    std::string crop[4];
    int preview[2] = {0, 0};
    std::string width, height;
    int type = 0;
    // Crops taken from the hand-over of these frames on (1-based), as when the user edits them.
    std::vector<std::pair<int, std::array<std::string, 4>>> cropEdits;
};

Project RandomProject(const std::filesystem::path& dir, std::mt19937& rng) {
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    Project p;
    const int m = pick(1, 6);
    p.sources = MakeSources(dir, m, rng);
    p.frames = TextGrid(9, m + 1);
    for (int r = 1; r <= m; ++r) {
        p.frames.set(r, 2, std::to_string(pick(-20, 20)));
        p.frames.set(r, 3, std::to_string(pick(-20, 20)) + ".5");
        p.frames.set(r, 4, std::to_string(pick(-200, 200) / 10.0));
        p.frames.set(r, 5, std::to_string(pick(-400, 300)));
        p.frames.set(r, 6, std::to_string(pick(0, 2) ? 0 : pick(-50, 50)));
        p.frames.set(r, 7, "0");
        p.frames.set(r, 8, std::to_string(pick(0, 2) ? 0 : pick(-50, 50)));
    }
    p.n = pick(1, 14);
    p.rotation = 90 * pick(0, 3);
    auto randomCrop = [&] {
        return std::array<std::string, 4>{std::to_string(pick(-20, 200)), std::to_string(pick(-20, 150)),
                                          std::to_string(pick(5, 160)), std::to_string(pick(5, 140))};
    };
    if (pick(0, 3) > 0) {
        const auto crop = randomCrop();
        for (int i = 0; i < 4; ++i) p.crop[i] = crop[i];
    }
    // The preview shows source 0 turned: its size stands in for an unset crop.
    Picture first;
    EXPECT_TRUE(LoadPicture(p.sources[0], first).ok());
    const bool sideways = p.rotation == 90 || p.rotation == 270;
    p.preview[0] = sideways ? first.height() : first.width();
    p.preview[1] = sideways ? first.width() : first.height();
    p.width = std::to_string(pick(2, 160));
    p.height = std::to_string(pick(2, 160));
    p.type = pick(0, 1);
    for (int edits = pick(0, 2); edits > 0; --edits) p.cropEdits.push_back({pick(2, p.n + 1), randomCrop()});
    return p;
}

std::string RunAndRead(const Project& p, bool pipelined, const std::filesystem::path& out,
                       std::vector<std::string>& events) {
    FakeHost host;
    host.dir = out.string();
    for (int i = 0; i < 4; ++i) host.crop[i] = p.crop[i];
    host.preview[0] = p.preview[0];
    host.preview[1] = p.preview[1];
    host.width = p.width;
    host.height = p.height;
    host.type = p.type;
    host.rotation = p.rotation;
    host.background = 0x00336699;
    host.onFrameHandedOut = [&](int frame) {
        // Shown with frame k's hand-over, read by the hand-over of frame k + 1.
        for (const auto& [from, crop] : p.cropEdits) {
            if (frame + 1 == from) {
                for (int i = 0; i < 4; ++i) host.crop[i] = crop[i];
            }
        }
    };
    auto session = std::make_shared<ExportSession>(host, host, BuildExportTable(p.n, p.frames, p.sources, 0));
    ExportPicture worker(session, {}, ExportOptions{pipelined});
    worker.Start();
    EXPECT_TRUE(worker.Wait().ok());
    events = host.events;
    std::string all;
    for (int k = 1; k <= p.n; ++k) {
        char name[16];
        std::snprintf(name, sizeof name, "%04d%s", k, ExportExtension(p.type).c_str());
        const std::string bytes = ReadAll(out / name);
        EXPECT_FALSE(bytes.empty()) << name;
        all += bytes;
    }
    return all;
}

TEST(ExportRun, ScheduledExportWritesTheStepByStepFilesOverRandomProjects) {
    std::mt19937 rng(2024);
    for (int i = 0; i < 12; ++i) {
        const std::string name = "project" + std::to_string(i);
        const Project project = RandomProject(FreshTempDir(name), rng);
        std::vector<std::string> events[2];
        const std::string scheduled = RunAndRead(project, true, FreshTempDir(name + "-scheduled"), events[0]);
        const std::string reference = RunAndRead(project, false, FreshTempDir(name + "-reference"), events[1]);
        ASSERT_FALSE(reference.empty()) << name;
        ASSERT_TRUE(scheduled == reference) << name << ": rotation " << project.rotation << ", " << project.n
                                            << " frames, " << project.cropEdits.size() << " crop edits";
        EXPECT_EQ(events[0], events[1]) << name;
    }
}

}  // namespace
}  // namespace turnlet
