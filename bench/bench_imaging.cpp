// SPDX-License-Identifier: MIT
// Speed of the pixel kernels and codecs on a 24-megapixel picture, with ratios to a plain memcpy.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

#include "render/frame_render.h"
#include "imaging/geometry.h"
#include "codecs/image_files.h"
#include "imaging/kernel_util.h"
#include "base/parallel.h"
#include "imaging/resize.h"
#include "imaging/tone.h"
#include "imaging/transform.h"

namespace {

using turnlet::Picture;

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

// Gradients with noise: compresses roughly like a photograph, unlike pure noise.
const Picture& Photo() {
    static const Picture photo = [] {
        Picture p(kWidth, kHeight);
        std::uint32_t state = 2463534242u;
        for (int y = 0; y < kHeight; ++y) {
            std::uint8_t* q = p.row(y);
            for (int x = 0; x < kWidth; ++x, q += 3) {
                state ^= state << 13;
                state ^= state >> 17;
                state ^= state << 5;
                const int noise = static_cast<int>(state & 15);
                q[0] = static_cast<std::uint8_t>(x / 24 + noise);
                q[1] = static_cast<std::uint8_t>(y / 16 + noise);
                q[2] = static_cast<std::uint8_t>((x + y) / 40 + noise);
            }
        }
        return p;
    }();
    return photo;
}

std::string TempPath(const char* name) {
    return (std::filesystem::temp_directory_path() / ("turnlet_bench_" + std::to_string(getpid()) + "_" + name))
        .string();
}

void SetBytes(benchmark::State& state, std::size_t bytesPerIteration) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(bytesPerIteration));
}

void BM_Memcpy(benchmark::State& state) {
    const Picture& src = Photo();
    std::vector<std::uint8_t> dst(src.byteSize());
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), src.byteSize());
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    SetBytes(state, src.byteSize());
}

void BM_RotateQuarter(benchmark::State& state) {
    const Picture& src = Photo();
    Picture out;
    const int angle = static_cast<int>(state.range(0));
    turnlet::RotateQuarter(src, out, angle);  // workers reuse their pictures: time the steady state
    for (auto _ : state) {
        turnlet::RotateQuarter(src, out, angle);
        benchmark::DoNotOptimize(out.data());
    }
    SetBytes(state, out.byteSize());
}

void BM_CropPicture(benchmark::State& state) {
    const Picture& src = Photo();
    Picture out;
    turnlet::CropPicture(src, out, 1500, 500, 3000, 3000);
    for (auto _ : state) {
        turnlet::CropPicture(src, out, 1500, 500, 3000, 3000);
        benchmark::DoNotOptimize(out.data());
    }
    SetBytes(state, out.byteSize());
}

void BM_TransformPicture(benchmark::State& state) {
    const Picture& src = Photo();
    Picture out;
    turnlet::TransformPicture(src, out, 1500, 500, 3000, 3000, 0x00FFFFFF, 5, 90);
    for (auto _ : state) {
        turnlet::TransformPicture(src, out, 1500, 500, 3000, 3000, 0x00FFFFFF, 5, 90);
        benchmark::DoNotOptimize(out.data());
    }
    SetBytes(state, out.byteSize());
}

void BM_ResizePicture(benchmark::State& state) {
    Picture src;
    turnlet::CropPicture(Photo(), src, 1500, 500, 3000, 3000);
    Picture out(1000, 1000);
    turnlet::ResizePicture(src, out);
    for (auto _ : state) {
        turnlet::ResizePicture(src, out);
        benchmark::DoNotOptimize(out.data());
    }
    SetBytes(state, out.byteSize());
}

// One export frame rendered fused from the whole photograph, nearest-neighbour (arg 0) or smooth
// (arg 1): the crop scenario (turned, 3000 x 3000 tilted and zoomed to 1000 x 1000, tone) or the
// full one (6000 x 4000 to 1500 x 1000).
turnlet::FrameParams FrameOf(bool crop, bool smooth) {
    turnlet::FrameParams p;
    if (crop) {
        p.RotationDegrees = 90;
        p.CropLeft = 500;
        p.CropTop = 1500;
        p.CropWidth = p.CropHeight = 3000;
        p.Angle = -5;
        p.Scale = -90;
        p.Brightness = 10;
        p.OutputWidth = p.OutputHeight = 1000;
    } else {
        p.CropWidth = kWidth;
        p.CropHeight = kHeight;
        p.OutputWidth = 1500;
        p.OutputHeight = 1000;
    }
    p.Smooth = smooth;
    return p;
}

// Arg 1 set: on the calling thread alone, as the export renders its frames (the other core decodes).
void RenderFrame(benchmark::State& state, bool crop) {
    const turnlet::FrameParams p = FrameOf(crop, state.range(0) != 0);
    std::optional<turnlet::InlineRows> oneThread;
    if (state.range(1) != 0) oneThread.emplace();
    Picture out;
    turnlet::RenderFrameFused(Photo(), p, out);
    for (auto _ : state) {
        turnlet::RenderFrameFused(Photo(), p, out);
        benchmark::DoNotOptimize(out.data());
    }
    SetBytes(state, out.byteSize());
}
// The same with the photograph out of cache, as in an export, where the next source has been
// decoded since (arg 0: crop scenario, 1: full; nearest-neighbour).
void BM_RenderFrameCold(benchmark::State& state) {
    turnlet::FrameParams p = FrameOf(state.range(0) == 0, false);
    p.Angle = 5;
    p.Scale = 90;
    Picture out;
    turnlet::RenderFrameFused(Photo(), p, out);
    std::vector<std::uint8_t> evict(std::size_t{96} << 20);
    for (auto _ : state) {
        state.PauseTiming();
        std::memset(evict.data(), static_cast<int>(state.iterations()), evict.size());
        benchmark::DoNotOptimize(evict.data());
        state.ResumeTiming();
        turnlet::RenderFrameFused(Photo(), p, out);
        benchmark::DoNotOptimize(out.data());
    }
    SetBytes(state, out.byteSize());
}
void BM_RenderCropFrame(benchmark::State& state) {
    RenderFrame(state, true);
}
void BM_RenderFullFrame(benchmark::State& state) {
    RenderFrame(state, false);
}

void BM_AdjustTone(benchmark::State& state) {
    Picture p = Photo();
    for (auto _ : state) {
        turnlet::AdjustTone(p, 10, 15, -20);
        benchmark::DoNotOptimize(p.data());
    }
    SetBytes(state, p.byteSize());
}

void BM_Decode(benchmark::State& state, const char* name) {
    const std::string path = TempPath(name);
    if (const turnlet::Status s = turnlet::SavePicture(Photo(), path, 90); !s.ok()) {
        state.SkipWithError(s.message().c_str());
        return;
    }
    Picture p;
    for (auto _ : state) {
        if (const turnlet::Status s = turnlet::LoadPicture(path, p); !s.ok()) {
            state.SkipWithError(s.message().c_str());
            break;
        }
    }
    std::filesystem::remove(path);
    SetBytes(state, Photo().byteSize());
}

void BM_Save(benchmark::State& state, const Picture& picture, const char* name) {
    const std::string path = TempPath(name);
    for (auto _ : state) {
        if (const turnlet::Status s = turnlet::SavePicture(picture, path, 90); !s.ok()) {
            state.SkipWithError(s.message().c_str());
            break;
        }
    }
    std::filesystem::remove(path);
    SetBytes(state, picture.byteSize());
}

void BM_Encode(benchmark::State& state, const char* name) {
    BM_Save(state, Photo(), name);
}

// What the export does once a frame: one 1000 x 1000 frame of the photograph written at quality 90,
// for comparing the frame types in one run (the AVIF export's budget is three times JPEG's).
void BM_EncodeFrame(benchmark::State& state, const char* name) {
    static const Picture frame = [] {
        Picture p(1000, 1000);
        for (int y = 0; y < p.height(); ++y) std::memcpy(p.row(y), Photo().row(y + 1500) + 3 * 2500, 3 * 1000);
        return p;
    }();
    BM_Save(state, frame, name);
}

// Prints the usual table, then the speed targets as ratios to the memcpy of the same run.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& reports) override {
        ConsoleReporter::ReportRuns(reports);
        // Medians where there are repetitions: the machine is shared and single runs stray.
        for (const Run& run : reports) {
            if (run.error_occurred) continue;
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                best_[run.run_name.str()] = run.GetAdjustedRealTime();
            } else if (run.run_type == Run::RT_Iteration && run.repetitions <= 1) {
                best_[run.run_name.str()] = run.GetAdjustedRealTime();
            }
        }
    }

    void PrintRatios() const {
        if (Find("BM_RenderCropFrame/1") > 0 || Find("BM_RenderFullFrame/1") > 0) {
            std::printf("\nSmooth frame to nearest-neighbour frame, rendered fused (all cores; one, as exported):\n");
            Print("crop 3000 to 1000, turned, tilted", Find("BM_RenderCropFrame/1/0"), Find("BM_RenderCropFrame/0/0"),
                  1.5);
            Print("  one thread", Find("BM_RenderCropFrame/1/1"), Find("BM_RenderCropFrame/0/1"), 1.5);
            Print("whole 6000 x 4000 to 1500 x 1000", Find("BM_RenderFullFrame/1/0"), Find("BM_RenderFullFrame/0/0"),
                  1.5);
            Print("  one thread", Find("BM_RenderFullFrame/1/1"), Find("BM_RenderFullFrame/0/1"), 1.5);
        }
        const double copy = Find("BM_Memcpy");
        if (copy <= 0) return;
        const double outputShare = 3000.0 * 3000.0 / (double(kWidth) * kHeight);
        std::printf("\nRatios to memcpy of %d x %d (%.2f ms):\n", kWidth, kHeight, copy);
        Print("RotateQuarter 90", Find("BM_RotateQuarter/90"), copy, 3.0);
        Print("RotateQuarter 270", Find("BM_RotateQuarter/270"), copy, 3.0);
        Print("RotateQuarter 180", Find("BM_RotateQuarter/180"), copy, 0);
        Print("AdjustTone", Find("BM_AdjustTone"), copy, 2.0);
        Print("TransformPicture (per output byte)", Find("BM_TransformPicture"), copy * outputShare, 2.0);
    }

  private:
    double Find(const std::string& prefix) const {
        for (const auto& [name, ms] : best_)
            if (name.rfind(prefix, 0) == 0) return ms;
        return -1;
    }

    static void Print(const char* what, double ms, double reference, double target) {
        if (ms < 0 || reference <= 0) return;
        const double ratio = ms / reference;
        if (target > 0) {
            std::printf("  %-36s %6.2fx  (target <= %gx: %s)\n", what, ratio, target,
                        ratio <= target ? "ok" : "MISSED");
        } else {
            std::printf("  %-36s %6.2fx\n", what, ratio);
        }
    }

    std::map<std::string, double> best_;
};

}  // namespace

#define TURNLET_BENCH(...)              \
    BENCHMARK(__VA_ARGS__)              \
        ->Unit(benchmark::kMillisecond) \
        ->MeasureProcessCPUTime()       \
        ->UseRealTime()                 \
        ->Repetitions(5)                \
        ->ReportAggregatesOnly(true)
TURNLET_BENCH(BM_Memcpy);
TURNLET_BENCH(BM_RotateQuarter)->Arg(90)->Arg(270)->Arg(180);
TURNLET_BENCH(BM_CropPicture);
TURNLET_BENCH(BM_TransformPicture);
TURNLET_BENCH(BM_ResizePicture);
TURNLET_BENCH(BM_AdjustTone);
TURNLET_BENCH(BM_RenderCropFrame)->ArgsProduct({{0, 1}, {0, 1}});
TURNLET_BENCH(BM_RenderFullFrame)->ArgsProduct({{0, 1}, {0, 1}});
TURNLET_BENCH(BM_RenderFrameCold)->Arg(0)->Arg(1);
BENCHMARK_CAPTURE(BM_Decode, jpeg, "decode.jpg")->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK_CAPTURE(BM_Encode, jpeg_q90, "encode.jpg")
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Decode, png, "decode.png")->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK_CAPTURE(BM_Encode, png, "encode.png")->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK_CAPTURE(BM_EncodeFrame, jpeg_q90, "frame.jpg")->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(BM_EncodeFrame, webp_90, "frame.webp")->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(BM_EncodeFrame, avif_90, "frame.avif")->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

// --kernel_level=portable|ssse3|avx2|avx512vbmi caps the kernels' paths, to time each one on a
// machine that has them all. Returns false for an unknown name.
bool TakeKernelLevel(int& argc, char** argv) {
    const std::string prefix = "--kernel_level=";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind(prefix, 0) != 0) continue;
        bool known = false;
        for (turnlet::KernelLevel level : turnlet::kAllKernelLevels) {
            if (arg.substr(prefix.size()) != turnlet::KernelLevelName(level)) continue;
            turnlet::SetKernelLevelLimit(level);
            known = true;
        }
        if (!known) return false;
        for (int j = i; j + 1 < argc; ++j) argv[j] = argv[j + 1];
        --argc;
        --i;
    }
    return true;
}

int main(int argc, char** argv) {
    if (!TakeKernelLevel(argc, argv)) {
        std::fprintf(stderr, "--kernel_level takes portable, ssse3, avx2 or avx512vbmi\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    std::printf("Kernel paths up to %s (this machine and build: %s)\n",
                turnlet::KernelLevelName(turnlet::ActiveKernelLevel()),
                turnlet::KernelLevelName(turnlet::CpuKernelLevel()));
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
