// SPDX-License-Identifier: MIT
// Whole exports from 12 photographs of 24 megapixels against their codec floor, as a user's machine
// sees them: a cropped, turned export and a full-picture one, with page faults and cores used.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "export/export_engine.h"
#include "session/make_export_plan.h"
#include "codecs/image_files.h"
#include "codecs/jpeg_io.h"

namespace turnlet {
namespace {

constexpr int kSources = 12;
constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

std::filesystem::path BenchDir() {
    return std::filesystem::temp_directory_path() / "turnlet-bench-export";
}

// Photograph-like content: smooth light and shade, hard-edged shapes and sensor-like grain, so that
// JPEG sizes (about 7 MB at q90) and decode times are those of real photographs.
const std::vector<std::string>& Sources() {
    static const std::vector<std::string> paths = [] {
        std::vector<std::string> out;
        std::filesystem::create_directories(BenchDir() / "photos");
        Picture picture(kWidth, kHeight);
        for (int i = 0; i < kSources; ++i) {
            const std::string path = (BenchDir() / "photos" / ("shot" + std::to_string(i) + ".jpg")).string();
            out.push_back(path);
            if (std::filesystem::exists(path)) continue;
            std::mt19937 grain(static_cast<unsigned>(i));
            for (int y = 0; y < kHeight; ++y) {
                std::uint8_t* row = picture.row(y);
                for (int x = 0; x < kWidth; ++x) {
                    const int shade = 60 + (x / 40 + y / 30 + 7 * i) % 120;
                    const int shape = ((x / 300 + y / 200 + i) % 3 == 0) ? 50 : 0;
                    const unsigned noise = grain();
                    row[3 * x] = static_cast<std::uint8_t>(shade + shape + (noise & 15));
                    row[3 * x + 1] = static_cast<std::uint8_t>(shade + ((noise >> 8) & 15));
                    row[3 * x + 2] = static_cast<std::uint8_t>(shade - shape / 2 + ((noise >> 16) & 15) + 40);
                }
            }
            // Quality 89 writes 4:2:0, as cameras do.
            if (!SavePicture(picture, path, 89).ok()) std::fprintf(stderr, "cannot write %s\n", path.c_str());
        }
        return out;
    }();
    return paths;
}

struct Scenario {
    const char* name;
    int rotation;
    std::optional<CropArea> crop;  // none: the whole (turned) picture
    int frames;
    int outWidth;
    int outHeight;
};

// The same two exports as the shared export_speed.sh.
const Scenario kScenarios[] = {
    {"crop", 90, CropArea{500, 1500, 3000, 3000}, 34, 1000, 1000},
    {"full", 0, std::nullopt, 24, 1500, 1000},
};

long MinorFaults() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec * 1e-6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

class BenchObserver : public ExportObserver {
  public:
    explicit BenchObserver(int steadyFrom) : steadyFrom_(steadyFrom) {}
    void exportProgress(int position) override {
        if (position == steadyFrom_) steadyFaults_ = MinorFaults();
    }
    void exportPreview(const Picture&) override {}
    void exportPreviewCleared() override {}
    void exportEnded(const ExportOutcome& outcome) override {
        if (!outcome.failure.ok()) std::fprintf(stderr, "%s\n", outcome.failure.message().c_str());
    }
    long steadyFaults() const { return steadyFaults_; }

  private:
    int steadyFrom_;
    long steadyFaults_ = 0;
};

// The scenario as a project exported through the plan the editor and turnlet-export make.
std::shared_ptr<const ExportPlan> Plan(const Scenario& s, const std::string& dir, bool smooth) {
    Project project;
    project.sources = Sources();
    project.lastFrame = kSources - 1;
    // Angle, scale and tone keyframes at the first and the seventh photograph, interpolated between,
    // set on every photograph as the frames show them.
    for (int r = 1; r <= kSources; ++r) {
        const double t = r <= 7 ? (r - 1) / 6.0 : (kSources + 1 - r) / 6.0;
        ChangeKeyframe(project.keyframes, project.sources[static_cast<std::size_t>(r - 1)],
                       {static_cast<double>(static_cast<int>(12 * t)), static_cast<double>(static_cast<int>(-7 * t)),
                        5 - 8 * t, 90 - 30 * t, 10 - 10 * t, 5 - 5 * t, -5 + 5 * t});
    }
    project.crop = s.crop;
    project.rotationIndex = s.rotation / 90;
    ExportSettings& settings = project.exportSettings;
    settings.frames = s.frames;
    settings.width = s.outWidth;
    settings.height = s.outHeight;
    settings.proportional = false;
    settings.html5Viewer = false;
    settings.directory = dir;
    settings.smooth = smooth;
    ExportPlanRequest request;
    request.pictureWidth = s.rotation == 90 ? kHeight : kWidth;
    request.pictureHeight = s.rotation == 90 ? kWidth : kHeight;
    auto plan = std::make_shared<ExportPlan>();
    if (!MakeExportPlan(project, request, *plan).ok()) std::fputs("no plan\n", stderr);
    return plan;
}

struct Figures {
    double seconds = 0;
    double cpu = 0;
    double floor = 0;
    double faultsPerSource = 0;
    double steadyFaultsPerSource = 0;
};
// The ways an export is run: step by step, the engine, the engine with smooth resizing.
enum Way { kStepByStep, kEngine, kEngineSmooth, kWays };
const char* const kWayNames[kWays] = {"one frame at a time", "engine", "engine, smooth"};
Figures g_figures[2][kWays];  // scenario, way

void RunExport(benchmark::State& state, int scenario, Way way) {
    const Scenario& s = kScenarios[scenario];
    const bool pipelined = way != kStepByStep;
    const std::string dir = (BenchDir() / (std::string(s.name) + (way == kEngineSmooth ? "-smooth"
                                                                  : pipelined          ? "-engine"
                                                                                       : "-naive")))
                                .string();
    std::filesystem::create_directories(dir);
    // The first frame of the fourth photograph: by then the buffers have reached their sizes.
    int steadyFrom = 1;
    while (steadyFrom < s.frames && ExportSourceFrame(steadyFrom - 1, s.frames, kSources) < 3) ++steadyFrom;
    const auto plan = Plan(s, dir, way == kEngineSmooth);
    for (auto _ : state) {
        BenchObserver host(steadyFrom);
        auto session = std::make_shared<ExportSession>(host, plan);
        const long faults = MinorFaults();
        const double cpu = CpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        ExportPicture worker(session, {}, ExportOptions{pipelined});
        worker.Start();
        const ExportOutcome outcome = worker.Wait();
        Figures& f = g_figures[scenario][way];
        f.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        f.cpu = CpuSeconds() - cpu;
        const long end = MinorFaults();
        f.faultsPerSource = static_cast<double>(end - faults) / kSources;
        f.steadyFaultsPerSource = static_cast<double>(end - host.steadyFaults()) / (kSources - 3);
        if (!outcome.succeeded()) state.SkipWithError("export failed");
        state.counters["cores"] = f.cpu / f.seconds;
        state.counters["faults/source"] = f.faultsPerSource;
    }
}

// What no export can avoid: every photograph decoded once and every frame encoded once, by the
// same codec, over two cores.
void CodecFloor(benchmark::State& state, int scenario) {
    const Scenario& s = kScenarios[scenario];
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        Picture picture;
        for (const std::string& path : Sources()) {
            if (!LoadPicture(path, picture).ok()) state.SkipWithError("decode failed");
        }
        Picture frame(s.outWidth, s.outHeight);
        for (int y = 0; y < s.outHeight; ++y) {
            std::copy_n(picture.row(y * 3), static_cast<std::size_t>(s.outWidth) * 3, frame.row(y));
        }
        JpegBuffer jpeg;
        for (int k = 0; k < s.frames; ++k) {
            if (!EncodeJpeg(frame, 90, "floor", jpeg).ok()) state.SkipWithError("encode failed");
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        for (Figures& f : g_figures[scenario]) f.floor = seconds / 2;
    }
}

void BM_CropCodecFloor(benchmark::State& state) {
    CodecFloor(state, 0);
}
void BM_CropEngine(benchmark::State& state) {
    RunExport(state, 0, kEngine);
}
void BM_CropEngineSmooth(benchmark::State& state) {
    RunExport(state, 0, kEngineSmooth);
}
void BM_CropOneFrameAtATime(benchmark::State& state) {
    RunExport(state, 0, kStepByStep);
}
void BM_FullCodecFloor(benchmark::State& state) {
    CodecFloor(state, 1);
}
void BM_FullEngine(benchmark::State& state) {
    RunExport(state, 1, kEngine);
}
void BM_FullEngineSmooth(benchmark::State& state) {
    RunExport(state, 1, kEngineSmooth);
}
void BM_FullOneFrameAtATime(benchmark::State& state) {
    RunExport(state, 1, kStepByStep);
}

BENCHMARK(BM_CropCodecFloor)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_CropEngine)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_CropEngineSmooth)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_CropOneFrameAtATime)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_FullCodecFloor)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_FullEngine)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_FullEngineSmooth)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_FullOneFrameAtATime)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace
}  // namespace turnlet

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    turnlet::Sources();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("\n%d photographs of %dx%d; floor = each decoded once + each frame encoded once, over 2 cores\n",
                turnlet::kSources, turnlet::kWidth, turnlet::kHeight);
    for (int s = 0; s < 2; ++s) {
        const turnlet::Scenario& scenario = turnlet::kScenarios[s];
        for (const int way : {turnlet::kEngine, turnlet::kEngineSmooth, turnlet::kStepByStep}) {
            const turnlet::Figures& f = turnlet::g_figures[s][way];
            if (f.seconds <= 0 || f.floor <= 0) continue;
            std::printf(
                "  %-4s %-19s %6.2f s = %.2f x floor (%.2f s), %.2f cores, page faults per source %.0f "
                "(%.0f after the first three)\n",
                scenario.name, turnlet::kWayNames[way], f.seconds, f.seconds / f.floor, f.floor, f.cpu / f.seconds,
                f.faultsPerSource, f.steadyFaultsPerSource);
        }
        const turnlet::Figures& plain = turnlet::g_figures[s][turnlet::kEngine];
        const turnlet::Figures& smooth = turnlet::g_figures[s][turnlet::kEngineSmooth];
        if (plain.seconds > 0 && smooth.seconds > 0) {
            std::printf("  %-4s smooth / nearest: %.2f x the time, %.2f x the processor time\n", scenario.name,
                        smooth.seconds / plain.seconds, smooth.cpu / plain.cpu);
        }
    }
    return 0;
}
