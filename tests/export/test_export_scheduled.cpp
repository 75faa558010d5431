// SPDX-License-Identifier: MIT
// The scheduled export (sources decoded ahead in part, frames rendered fused) writes the files of the
// step-by-step export byte for byte, over random plans.
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

using testing::FakeObserver;
using testing::FreshTempDir;
using testing::RunPlan;

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

ExportPlan RandomPlan(const std::filesystem::path& dir, std::mt19937& rng) {
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const int m = pick(1, 6);
    const std::vector<std::string> sources = MakeSources(dir, m, rng);
    std::vector<PlannedFrame> turn;
    for (int r = 0; r < m; ++r) {
        turn.push_back({sources[r], pick(-20, 20), pick(-20, 20), pick(-200, 200) / 10.0, pick(-300, 400) * 1.0,
                        pick(0, 2) ? 0.0 : pick(-50, 50), 0, pick(0, 2) ? 0.0 : pick(-50, 50)});
    }
    ExportPlan plan;
    const int n = pick(1, 14);
    for (int k = 0; k < n; ++k) plan.frames.push_back(turn[ExportSourceFrame(k, n, m)]);
    plan.rotationDegrees = 90 * pick(0, 3);
    plan.background = 0x00336699;
    if (pick(0, 3) > 0) {
        plan.cropLeft = pick(-20, 200);
        plan.cropTop = pick(-20, 150);
        plan.cropWidth = pick(5, 160);
        plan.cropHeight = pick(5, 140);
    } else {
        // No crop: the whole of source 0, turned.
        Picture first;
        EXPECT_TRUE(LoadPicture(sources[0], first).ok());
        const bool sideways = plan.rotationDegrees == 90 || plan.rotationDegrees == 270;
        plan.cropWidth = sideways ? first.height() : first.width();
        plan.cropHeight = sideways ? first.width() : first.height();
    }
    plan.outputWidth = pick(2, 160);
    plan.outputHeight = pick(2, 160);
    plan.typeIndex = pick(0, 1);
    return plan;
}

std::string RunAndRead(ExportPlan plan, bool pipelined, const std::filesystem::path& out,
                       std::vector<std::string>& events) {
    plan.directory = out.string();
    FakeObserver host;
    EXPECT_TRUE(RunPlan(host, plan, ExportOptions{pipelined}).succeeded());
    events = host.events;
    std::string all;
    for (int k = 0; k < plan.frameCount(); ++k) {
        const std::string bytes = ReadAll(out / plan.FileName(k));
        EXPECT_FALSE(bytes.empty()) << plan.FileName(k);
        all += bytes;
    }
    return all;
}

TEST(ExportRun, ScheduledExportWritesTheStepByStepFilesOverRandomPlans) {
    std::mt19937 rng(2024);
    for (int i = 0; i < 12; ++i) {
        const std::string name = "project" + std::to_string(i);
        const ExportPlan plan = RandomPlan(FreshTempDir(name), rng);
        std::vector<std::string> events[2];
        const std::string scheduled = RunAndRead(plan, true, FreshTempDir(name + "-scheduled"), events[0]);
        const std::string reference = RunAndRead(plan, false, FreshTempDir(name + "-reference"), events[1]);
        ASSERT_FALSE(reference.empty()) << name;
        ASSERT_TRUE(scheduled == reference)
            << name << ": rotation " << plan.rotationDegrees << ", " << plan.frameCount() << " frames";
        EXPECT_EQ(events[0], events[1]) << name;
    }
}

}  // namespace
}  // namespace turnlet
