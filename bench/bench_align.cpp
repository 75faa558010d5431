// SPDX-License-Identifier: MIT
// Automatic alignment of a turn of 24-megapixel photographs against the time to decode them once.
// The turn is the sample tool's: TURNLET_ALIGN_PROJECT names its project file, made for example by
//   turnlet-make-sample /tmp/turn24 --width 6000 --height 4000
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "align/turn_alignment.h"
#include "imaging/image_files.h"
#include "project/project.h"
#include "tuning/tune_params.h"

namespace turnlet {
namespace {

const Project* Turn() {
    static const Project* project = [] {
        const char* path = std::getenv("TURNLET_ALIGN_PROJECT");
        if (!path) return static_cast<Project*>(nullptr);
        auto* p = new Project;
        if (!OpenProject(*p, path).ok() || p->sources.empty()) return static_cast<Project*>(nullptr);
        return p;
    }();
    return project;
}

// Every source decoded whole once, on two threads.
void BM_DecodeTurnOnce(benchmark::State& state) {
    const Project* project = Turn();
    if (!project) {
        state.SkipWithError("set TURNLET_ALIGN_PROJECT to a sample project");
        return;
    }
    for (auto _ : state) {
        std::atomic<std::size_t> next{0};
        auto worker = [&] {
            Picture picture, scratch;
            for (std::size_t k = next++; k < project->sources.size(); k = next++) {
                if (!LoadPicture(project->sources[k], picture, scratch).ok()) std::abort();
                benchmark::DoNotOptimize(picture.data());
            }
        };
        std::thread other(worker);
        worker();
        other.join();
    }
}
BENCHMARK(BM_DecodeTurnOnce)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(2);

void BM_AlignTurn(benchmark::State& state) {
    const Project* project = Turn();
    if (!project) {
        state.SkipWithError("set TURNLET_ALIGN_PROJECT to a sample project");
        return;
    }
    AlignSettings settings;
    settings.paths = project->sources;
    const TuneCrop crop =
        TuneCropFromTexts(project->crop.left, project->crop.top, project->crop.width, project->crop.height, 0, 0);
    settings.crop = {crop.left, crop.top, crop.width, crop.height};
    settings.threads = 2;
    for (auto _ : state) {
        const TurnAlignment result = AlignTurn(settings);
        if (!result.status.ok()) std::abort();
    }
}
BENCHMARK(BM_AlignTurn)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(2);

}  // namespace
}  // namespace turnlet

BENCHMARK_MAIN();
