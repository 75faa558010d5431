// SPDX-License-Identifier: MIT
// The tuned view on 24-megapixel photographs: a Parameters-slider step on a kept frame, the first
// render of another frame, and the decode that bounds it, each from request to hand-over.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "imaging/geometry.h"
#include "codecs/image_files.h"
#include "imaging/tone.h"
#include "imaging/transform.h"
#include "tuning/tune_picture.h"

namespace turnlet {
namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;
constexpr int kPhotos = 3;  // more than the worker keeps, so cycling through them always decodes

std::filesystem::path BenchDir() {
    return std::filesystem::temp_directory_path() / "turnlet-bench-tune";
}

// Photograph-like content (smooth gradients, edges and noise) so JPEG sizes and decode times are realistic.
const std::vector<std::string>& Photos() {
    static const std::vector<std::string> paths = [] {
        std::vector<std::string> out;
        std::filesystem::create_directories(BenchDir());
        Picture picture(kWidth, kHeight);
        for (int i = 0; i < kPhotos; ++i) {
            const std::string path = (BenchDir() / ("photo" + std::to_string(i) + ".jpg")).string();
            out.push_back(path);
            if (std::filesystem::exists(path)) continue;
            unsigned seed = 12345u + static_cast<unsigned>(i);
            for (int y = 0; y < kHeight; ++y) {
                std::uint8_t* row = picture.row(y);
                for (int x = 0; x < kWidth; ++x) {
                    seed = seed * 1103515245u + 12345u;
                    const int noise = static_cast<int>((seed >> 16) & 15) - 8;
                    const int object =
                        ((x - 3000 - i * 40) * (x - 3000 - i * 40) + (y - 2000) * (y - 2000) < 1500 * 1500) ? 60 : 0;
                    row[3 * x] = static_cast<std::uint8_t>(std::clamp(x / 30 + object + noise, 0, 255));
                    row[3 * x + 1] = static_cast<std::uint8_t>(std::clamp(y / 20 + object / 2 + noise, 0, 255));
                    row[3 * x + 2] = static_cast<std::uint8_t>(std::clamp(((x + y) / 45) % 256 + noise, 0, 255));
                }
            }
            if (!SavePicture(picture, path, 90).ok()) std::fprintf(stderr, "cannot write %s\n", path.c_str());
        }
        return out;
    }();
    return paths;
}

// The worker as the editor runs it, with the hand-over in place of the GUI thread's step.
class TuneRig {
  public:
    TuneRig()
        : job_([this](const TuneResult& r) {
              std::lock_guard lock(mutex_);
              ++handed_;
              displayPixels_ = static_cast<long long>(r.display.width()) * r.display.height();
              cv_.notify_all();
          }),
          worker_([this](const TuneRequest& request, Worker& w) { return job_(request, w); }) {}

    // Milliseconds from the request to the hand-over.
    double Render(const TuneRequest& request) {
        std::unique_lock lock(mutex_);
        const long long before = handed_;
        const auto start = std::chrono::steady_clock::now();
        lock.unlock();
        worker_.tryWake(request);
        lock.lock();
        cv_.wait(lock, [&] { return handed_ > before; });
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        lock.unlock();
        worker_.waitIdle();
        return ms;
    }
    long long displayPixels() const { return displayPixels_; }

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    long long handed_ = 0;
    long long displayPixels_ = 0;
    TunePicture job_;
    RequestWorker<TuneRequest> worker_;
};

// A 3000 x 3000 crop of the 6000 x 4000 photograph, a small shift; the view's size in pixels from
// the benchmark's arguments.
TuneRequest Request(const std::string& path, int viewWidth, int viewHeight) {
    TuneRequest r;
    r.TuneFramePath = path;
    r.MainTuneParams = {1500, 500, 3000, 3000, -4, 3, 0x00FFFFFF, 0, 0, 5, 0, 0};
    r.viewWidth = viewWidth;
    r.viewHeight = viewHeight;
    return r;
}

void Report(benchmark::State& state, std::vector<double>& ms) {
    if (ms.empty()) return;
    std::sort(ms.begin(), ms.end());
    state.counters["median_ms"] = ms[ms.size() / 2];
    state.counters["max_ms"] = ms.back();
}

// One step of the Angle slider on the frame in view: the source is kept, only the transform and
// the tone are done again.
void BM_TuneSliderStep(benchmark::State& state) {
    TuneRig rig;
    TuneRequest r = Request(Photos()[0], static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    rig.Render(r);  // the frame is decoded once, as when it was first shown
    std::vector<double> ms;
    int angle = -30;
    for (auto _ : state) {
        r.MainTuneParams.Angle = -(++angle);
        const double t = rig.Render(r);
        state.SetIterationTime(t / 1000);
        ms.push_back(t);
    }
    Report(state, ms);
    state.counters["view_px"] = static_cast<double>(rig.displayPixels());
}

// The first render of another frame: its decode and one render.
void BM_TuneNewFrame(benchmark::State& state) {
    TuneRig rig;
    TuneRequest r = Request(Photos()[0], static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    std::vector<double> ms;
    int next = 0;
    for (auto _ : state) {
        r.TuneFramePath = Photos()[static_cast<std::size_t>(next++ % kPhotos)];
        const double t = rig.Render(r);
        state.SetIterationTime(t / 1000);
        ms.push_back(t);
    }
    Report(state, ms);
}

// The same with "Interlace with" set: a kept interlace frame beside the new one.
void BM_TuneNewFrameInterlaced(benchmark::State& state) {
    TuneRig rig;
    TuneRequest r = Request(Photos()[0], static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    r.InterlaceTuneParams = r.MainTuneParams;
    r.TuneInterlacePath = Photos()[0];
    std::vector<double> ms;
    int next = 1;
    for (auto _ : state) {
        r.TuneFramePath = Photos()[static_cast<std::size_t>(1 + next++ % (kPhotos - 1))];
        const double t = rig.Render(r);
        state.SetIterationTime(t / 1000);
        ms.push_back(t);
    }
    Report(state, ms);
}

// The decode alone, into a reused picture as the worker's kept sources do.
void BM_TuneDecode(benchmark::State& state) {
    Picture picture, scratch;
    std::vector<double> ms;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (!LoadPicture(Photos()[0], picture, scratch).ok()) state.SkipWithError("decode failed");
        const double t = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(t / 1000);
        ms.push_back(t);
    }
    Report(state, ms);
}

// A step without kept sources, made the long way at full size: load, quarter turn, transform of
// the whole crop, tone. What every slider step would cost without the kept source and the render
// at the view's size.
void BM_TuneStepUncachedFullSize(benchmark::State& state) {
    Picture loaded, turned, aligned;
    std::vector<double> ms;
    int angle = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (!LoadPicture(Photos()[0], loaded).ok()) state.SkipWithError("decode failed");
        RotateQuarter(loaded, turned, 0);
        TransformPicture(turned, aligned, 1504, 497, 3000, 3000, 0x00FFFFFF, -(++angle), 0);
        AdjustTone(aligned, 5, 0, 0);
        const double t = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(t / 1000);
        ms.push_back(t);
    }
    Report(state, ms);
}

// Views: the editor's designed window, and a large window on a 1920 x 1200 screen.
BENCHMARK(BM_TuneDecode)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(12);
BENCHMARK(BM_TuneSliderStep)
    ->Args({560, 470})
    ->Args({1300, 900})
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(40);
BENCHMARK(BM_TuneNewFrame)
    ->Args({560, 470})
    ->Args({1300, 900})
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(12);
BENCHMARK(BM_TuneNewFrameInterlaced)->Args({560, 470})->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(12);
BENCHMARK(BM_TuneStepUncachedFullSize)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(4);

}  // namespace
}  // namespace turnlet

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    turnlet::Photos();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
