// SPDX-License-Identifier: MIT
// The editor session on a large project: a frame edit (one slider step) and its undo.
#include <benchmark/benchmark.h>

#include <string>

#include "session/editor_session.h"

namespace turnlet {
namespace {

// A project of many photos with every tenth frame a keyframe, as after Auto-align of a video.
void FillProject(EditorSession& session, int photos) {
    std::vector<std::string> paths;
    for (int i = 0; i < photos; ++i)
        paths.push_back("/photos/a studio folder/product 42/IMG_" + std::to_string(i) + ".jpg");
    session.AddSources(paths);
    for (int k = 0; k < photos; k += 10) session.SetFrameValues(k, {1.5, -2, 0.25, 0, 3, 0, 0});
}

void BM_FrameEdit(benchmark::State& state) {
    EditorSession session;
    FillProject(session, static_cast<int>(state.range(0)));
    double angle = 0;
    for (auto _ : state) {
        angle += 0.1;
        session.SetFrameValues(5, {0, 0, angle, 0, 0, 0, 0});
    }
    state.counters["frames"] = static_cast<double>(session.frames().size());
}
BENCHMARK(BM_FrameEdit)->Arg(200)->Arg(2000)->Unit(benchmark::kMicrosecond);

void BM_UndoRedo(benchmark::State& state) {
    EditorSession session;
    FillProject(session, static_cast<int>(state.range(0)));
    for (int i = 0; i < 100; ++i) session.SetFrameValues(5, {0, 0, i * 0.1, 0, 0, 0, 0});
    for (auto _ : state) {
        session.Undo();
        session.Redo();
    }
}
BENCHMARK(BM_UndoRedo)->Arg(2000)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace turnlet

BENCHMARK_MAIN();
