// SPDX-License-Identifier: MIT
// Automatic alignment of a turn of 24-megapixel photographs against the time to decode them once.
// The turn is the sample tool's: TURNLET_ALIGN_PROJECT names its project file, made for example by
//   turnlet-make-sample /tmp/turn24 --width 6000 --height 4000
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "align/turn_alignment.h"
#include "base/tasks.h"
#include "codecs/image_files.h"
#include "project/project.h"
#include "tuning/tune_params.h"

namespace turnlet {
namespace {

const Project* Turn() {
    static const Project* project = [] {
        const char* path = std::getenv("TURNLET_ALIGN_PROJECT");
        if (!path) return static_cast<Project*>(nullptr);
        auto* p = new Project;
        if (!OpenProject(*p, path, {}).ok() || p->sources.empty()) return static_cast<Project*>(nullptr);
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
        RunBoth(worker, worker).throwIfFailed();
    }
}
BENCHMARK(BM_DecodeTurnOnce)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(2);

// The sample tool's jitter file beside the project: per frame the DX, DY and Angle that undo its
// shake and its exposure ratio (columns 7 to 10). Empty when there is none.
struct Truth {
    double dx, dy, angle, exposureRatio;
};
std::vector<Truth> TruthBeside(const std::string& projectPath) {
    const std::size_t slash = projectPath.rfind('/');
    std::ifstream in((slash == std::string::npos ? std::string(".") : projectPath.substr(0, slash)) + "/jitter.csv");
    std::vector<Truth> truth;
    std::string line;
    if (!std::getline(in, line)) return truth;
    while (std::getline(in, line)) {
        std::stringstream fields(line);
        std::vector<double> v;
        std::string field;
        while (std::getline(fields, field, ',')) v.push_back(std::atof(field.c_str()));
        if (v.size() < 10) return {};
        truth.push_back({v[6], v[7], v[8], v[9]});
    }
    return truth;
}

void BM_AlignTurn(benchmark::State& state) {
    const Project* project = Turn();
    if (!project) {
        state.SkipWithError("set TURNLET_ALIGN_PROJECT to a sample project");
        return;
    }
    AlignSettings settings;
    settings.paths = project->sources;
    const CropArea crop = ResolveCrop(project->crop, 0, 0);
    settings.crop = {crop.left, crop.top, crop.width, crop.height};
    settings.threads = 2;
    // Argument 0: the working size alone, as before the full-size pass, for comparison.
    settings.refineFullSize = state.range(0) != 0;
    TurnAlignment result;
    for (auto _ : state) {
        result = AlignTurn(settings);
        if (!result.status.ok()) std::abort();
    }
    // How far the estimates lie from the truth, in full-size pixels, degrees and per cent.
    const std::vector<Truth> truth = TruthBeside(std::getenv("TURNLET_ALIGN_PROJECT"));
    if (truth.size() == result.frames.size() && !truth.empty()) {
        double sum = 0, worst = 0, worstAngle = 0, worstExposure = 0;
        for (std::size_t k = 0; k < truth.size(); ++k) {
            const double d = std::hypot(result.frames[k].DX - truth[k].dx, result.frames[k].DY - truth[k].dy);
            sum += d * d;
            worst = std::max(worst, d);
            worstAngle = std::max(worstAngle, std::abs(result.frames[k].Angle - truth[k].angle));
            worstExposure =
                std::max(worstExposure, std::abs(result.frames[k].exposureRatio / truth[k].exposureRatio - 1));
        }
        state.counters["rms_px"] = std::sqrt(sum / static_cast<double>(truth.size()));
        state.counters["worst_px"] = worst;
        state.counters["worst_deg"] = worstAngle;
        state.counters["worst_exposure_pct"] = 100 * worstExposure;
    }
}
BENCHMARK(BM_AlignTurn)->Arg(1)->Arg(0)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(2);

}  // namespace
}  // namespace turnlet

BENCHMARK_MAIN();
