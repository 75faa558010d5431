// SPDX-License-Identifier: MIT
// A whole export, 100 frames from 36 photographs of 24 megapixels, against its decode floor.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "export/export_engine.h"
#include "imaging/image_files.h"

namespace turnlet {
namespace {

constexpr int kSources = 36;
constexpr int kFrames = 100;
constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

std::filesystem::path BenchDir() {
    return std::filesystem::temp_directory_path() / "turnlet-bench-export";
}

// Photograph-like content (smooth gradients with texture) so JPEG sizes and decode times are realistic.
const std::vector<std::string>& Sources() {
    static const std::vector<std::string> paths = [] {
        std::vector<std::string> out;
        std::filesystem::create_directories(BenchDir() / "src");
        Picture picture(kWidth, kHeight);
        for (int i = 0; i < kSources; ++i) {
            const std::string path = (BenchDir() / "src" / ("shot" + std::to_string(i) + ".jpg")).string();
            out.push_back(path);
            if (std::filesystem::exists(path)) continue;
            for (int y = 0; y < kHeight; ++y) {
                std::uint8_t* row = picture.row(y);
                for (int x = 0; x < kWidth; ++x) {
                    const unsigned noise = (x * 2654435761u ^ y * 40503u ^ i * 97u) >> 28;
                    row[3 * x] = static_cast<std::uint8_t>((x / 24 + i * 7) + noise);
                    row[3 * x + 1] = static_cast<std::uint8_t>((y / 16) + noise);
                    row[3 * x + 2] = static_cast<std::uint8_t>(((x + y) / 40) ^ (i * 5));
                }
            }
            if (!SavePicture(picture, path, 90).ok()) std::fprintf(stderr, "cannot write %s\n", path.c_str());
        }
        return out;
    }();
    return paths;
}

class BenchHost : public ExportHost, public ExportObserver {
  public:
    explicit BenchHost(std::string dir) {
        inputs_.cropTexts = {"1500", "500", "3000", "3000"};
        inputs_.previewWidth = kWidth;
        inputs_.previewHeight = kHeight;
        inputs_.outputWidthText = "1000";
        inputs_.outputHeightText = "1000";
        inputs_.directory = std::move(dir);
    }
    ExportInputs inputs() const override { return inputs_; }
    void exportProgress(int) override {}
    void exportPreview(const Picture&) override {}
    void exportPreviewCleared() override {}
    void exportFinished(const std::string&) override {}
    void exportWrongFileType(const std::string&, const std::string&) override {}
    void exportFailed(const Status& status) override { std::fprintf(stderr, "%s\n", status.message().c_str()); }

  private:
    ExportInputs inputs_;
};

TextGrid Table() {
    TextGrid frames(9, kSources + 1);
    for (int r = 1; r <= kSources; ++r) {
        for (int c = 2; c <= 8; ++c) frames.set(r, c, "0");
        frames.set(r, 2, std::to_string(r % 7 - 3));  // small shifts and turns as after tuning
        frames.set(r, 4, std::to_string((r % 5) * 0.4));
    }
    return BuildExportTable(kFrames, frames, Sources(), 0);
}

double g_seconds[3] = {0, 0, 0};

void RunExport(benchmark::State& state, bool pipelined, int slot) {
    const TextGrid table = Table();
    const std::string dir = (BenchDir() / (pipelined ? "engine" : "naive")).string();
    std::filesystem::create_directories(dir);
    for (auto _ : state) {
        BenchHost host(dir);
        auto session = std::make_shared<ExportSession>(host, host, table);
        const auto start = std::chrono::steady_clock::now();
        ExportPicture worker(session, {}, ExportOptions{pipelined});
        worker.Start();
        const Status status = worker.Wait();
        g_seconds[slot] = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!status.ok()) state.SkipWithError("export failed");
    }
    state.counters["frames"] = kFrames;
}

void BM_ExportEngine(benchmark::State& state) {
    RunExport(state, true, 0);
}
void BM_ExportOneFrameAtATime(benchmark::State& state) {
    RunExport(state, false, 1);
}

// Decoding each source once is work no export can avoid; two cores can at best halve it.
void BM_DecodeFloor(benchmark::State& state) {
    const std::vector<std::string>& sources = Sources();
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        for (const std::string& path : sources) {
            Picture picture;
            if (!LoadPicture(path, picture).ok()) state.SkipWithError("decode failed");
            benchmark::DoNotOptimize(picture.data());
        }
        g_seconds[2] = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / 2;
    }
}

BENCHMARK(BM_DecodeFloor)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_ExportEngine)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_ExportOneFrameAtATime)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace
}  // namespace turnlet

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    turnlet::Sources();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    const double* s = turnlet::g_seconds;
    if (s[0] > 0 && s[1] > 0 && s[2] > 0) {
        std::printf("\nexport of %d frames from %d sources of %dx%d:\n", turnlet::kFrames, turnlet::kSources,
                    turnlet::kWidth, turnlet::kHeight);
        std::printf("  engine             %7.2f s  (%.2f x floor)\n", s[0], s[0] / s[2]);
        std::printf("  one frame at a time %6.2f s  (%.2f x floor)\n", s[1], s[1] / s[2]);
        std::printf("  decode floor       %7.2f s  (decode of every source once / 2 cores)\n", s[2]);
    }
    return 0;
}
