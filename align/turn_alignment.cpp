// SPDX-License-Identifier: MIT
// The frames of a turn registered against the first: direct estimates, checked through the neighbours.
#include "align/turn_alignment.h"

#include <cmath>

#include "align/full_size.h"
#include "align/turn_stages.h"
#include "base/tasks.h"
#include "imaging/tone.h"

namespace turnlet {
namespace {

using alignment::Rounded;

// The stages in order; each ends the run early on a failure or a stop.
void AlignStages(const AlignSettings& settings, const AlignCallbacks& callbacks, TurnAlignment& out) {
    const int count = static_cast<int>(settings.paths.size());
    out.frames.resize(static_cast<std::size_t>(count));
    out.frames[0].aligned = true;
    out.frames[0].confidence = 1;
    alignment::FrameRunner run(settings, callbacks);
    alignment::TurnWork work{settings, run, {}, {}};
    if (Status status = alignment::MeasureGeometry(settings, work.g); !status.ok()) {
        out.status = status;
        return;
    }
    out.scaleDenominator = work.g.denominator;
    if (work.g.denominator > 1 && settings.refineFullSize) run.addSteps(count - 1);
    work.frames.resize(static_cast<std::size_t>(count));

    // First the frames next to the first one on both sides: what differs between them and the first
    // frame, once laid over it, is what moves with the object; the rest is left to align by.
    std::vector<int> near;
    if (!alignment::ReadFirstFrames(work, near)) {
        run.interrupted(out);
        return;
    }
    run.report();
    alignment::StillScene scene;
    if (!alignment::FindStillScene(work, near, scene)) {
        run.interrupted(out);
        return;
    }
    // Parts of the object that look still near the first frame may move later in the turn: the
    // direct estimates count the changes over the whole turn, and every frame is refined once more
    // without what changes.
    const bool widen = scene.mask() && count > 5;
    int counted = 0;
    if (!alignment::EstimateDirect(work, scene, widen, out.frames, counted)) {
        run.interrupted(out);
        return;
    }
    if (widen) alignment::WidenStillMask(scene, counted);
    LevelMasks shrunk;  // for the steps between neighbours
    alignment::PoseGraph graph;
    std::vector<double> stepInliers;
    if (!alignment::RefineDirect(work, scene, shrunk, out.frames) ||
        !alignment::MeasureSteps(work, scene, shrunk, graph, stepInliers)) {
        run.interrupted(out);
        return;
    }
    alignment::KeyframeValues(graph, work.frames, stepInliers, work.g.denominator, settings.minConfidence, out.frames);
    if (settings.refineFullSize && !alignment::RefineFullSize(work, scene, out.frames)) run.interrupted(out);
}

}  // namespace

double BrightnessForSum(const std::vector<double>& histogram, double target) {
    double count = 0;
    for (double h : histogram) count += h;
    if (count <= 0) return 0;
    auto sumFor = [&](double brightness) {
        double sum = 0;
        for (std::size_t v = 0; v < histogram.size() && v < 256; ++v) {
            if (histogram[v] != 0) sum += histogram[v] * AdjustPixelTone(static_cast<int>(v), brightness, 0, 0);
        }
        return sum;
    };
    // The tone's brightness is increasing in its value: bisection, then the better of the two ends.
    double low = -100, high = 100;
    if (sumFor(low) >= target) return low;
    if (sumFor(high) <= target) return high;
    for (int i = 0; i < 50; ++i) {
        const double mid = 0.5 * (low + high);
        (sumFor(mid) < target ? low : high) = mid;
    }
    // The nearest value on a 0.001 grid whose result is closest, so the table's text gives it back.
    double best = Rounded(low, 0.001), bestError = 1e300;
    for (double candidate :
         {Rounded(low, 0.001), Rounded(high, 0.001), Rounded(low, 0.001) + 0.001, Rounded(high, 0.001) - 0.001}) {
        const double error = std::abs(sumFor(candidate) - target);
        if (error < bestError) {
            bestError = error;
            best = candidate;
        }
    }
    return Rounded(best, 0.001);
}

TurnAlignment AlignTurn(const AlignSettings& settings, const AlignCallbacks& callbacks) {
    TurnAlignment out;
    if (settings.paths.empty()) return out;
    try {
        AlignStages(settings, callbacks, out);
    } catch (...) {
        // The frame jobs' failures come back as statuses; this is what escaped the stages between
        // them. Either way the run fails and the program goes on.
        out.status = TaskOutcome::Caught({}, "aligning the frames").status;
    }
    return out;
}

}  // namespace turnlet
