// SPDX-License-Identifier: MIT
// The poses of a turn's frames from the direct estimates and the steps between neighbours, and the values they give.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "align/turn_stages.h"

namespace turnlet::alignment {
namespace {

constexpr double kAgree = 1.0;  // working pixels: estimates this close agree
// A comparison finding less than this share of what the others find again is not used.
constexpr double kWeakShare = 0.6;
// A direct estimate that finds at least this share of what the others find again stands alone.
constexpr double kStrongShare = 0.9;
// A step is measured a level above the direct estimates: it counts for less.
constexpr double kStepWeight = 0.5;

double Travel(double angle, double dx, double dy, double radius) {
    return std::max(std::hypot(dx, dy), std::abs(angle) * radius);
}

}  // namespace

std::vector<Similarity> SolvePoses(const PoseGraph& graph, std::vector<double>& directError,
                                   std::vector<double>& stepError) {
    const int n = static_cast<int>(graph.direct.size());
    std::vector<Similarity> pose(graph.direct);
    pose[0] = Similarity{};
    std::vector<double> wd(static_cast<std::size_t>(n), 1.0), ws(static_cast<std::size_t>(n), kStepWeight);
    directError.assign(static_cast<std::size_t>(n), 0.0);
    stepError.assign(static_cast<std::size_t>(n), 0.0);
    auto residuals = [&] {
        for (int k = 0; k < n; ++k) {
            const Similarity& d = graph.direct[static_cast<std::size_t>(k)];
            const Similarity& p = pose[static_cast<std::size_t>(k)];
            directError[static_cast<std::size_t>(k)] =
                graph.hasDirect[static_cast<std::size_t>(k)]
                    ? Travel(p.angle - d.angle, p.dx - d.dx, p.dy - d.dy, graph.radius)
                    : 1e9;
            const Similarity& previous = pose[static_cast<std::size_t>((k + n - 1) % n)];
            const Similarity through = Compose(previous, graph.step[static_cast<std::size_t>(k)], 0, 0);
            stepError[static_cast<std::size_t>(k)] =
                graph.hasStep[static_cast<std::size_t>(k)]
                    ? Travel(p.angle - through.angle, p.dx - through.dx, p.dy - through.dy, graph.radius)
                    : 1e9;
        }
    };
    for (int round = 0; round < 8; ++round) {
        for (int sweep = 0; sweep < 300; ++sweep) {
            for (int k = 1; k < n; ++k) {
                const std::size_t i = static_cast<std::size_t>(k);
                const std::size_t next = static_cast<std::size_t>((k + 1) % n);
                const Similarity& prev = pose[static_cast<std::size_t>(k - 1)];
                const Similarity& after = pose[next];
                double w = 0, a = 0, x = 0, y = 0;
                if (graph.hasDirect[i]) {
                    w += wd[i];
                    a += wd[i] * graph.direct[i].angle;
                    x += wd[i] * graph.direct[i].dx;
                    y += wd[i] * graph.direct[i].dy;
                }
                if (graph.hasStep[i]) {
                    // Frame k as its predecessor's pose followed by the step.
                    const Similarity through = Compose(prev, graph.step[i], 0, 0);
                    w += ws[i];
                    a += ws[i] * through.angle;
                    x += ws[i] * through.dx;
                    y += ws[i] * through.dy;
                }
                if (graph.hasStep[next]) {
                    // Frame k as its successor's pose with the step undone.
                    const Similarity through = Compose(after, Inverse(graph.step[next]), 0, 0);
                    w += ws[next];
                    a += ws[next] * through.angle;
                    x += ws[next] * through.dx;
                    y += ws[next] * through.dy;
                }
                if (w <= 0) continue;
                pose[i].angle = a / w;
                pose[i].dx = x / w;
                pose[i].dy = y / w;
            }
        }
        residuals();
        for (int k = 0; k < n; ++k) {
            const std::size_t i = static_cast<std::size_t>(k);
            const double qd = directError[i] / kAgree, qs = stepError[i] / kAgree;
            wd[i] = 1.0 / (1 + qd * qd * qd * qd);
            ws[i] = kStepWeight / (1 + qs * qs * qs * qs);
        }
    }
    for (int k = 1; k < n; ++k) pose[static_cast<std::size_t>(k)].gain = graph.direct[static_cast<std::size_t>(k)].gain;
    return pose;
}

void KeyframeValues(PoseGraph& graph, const std::vector<Frame>& frames, const std::vector<double>& stepInliers,
                    int denominator, double minConfidence, std::vector<FrameAlignment>& out) {
    const int count = static_cast<int>(frames.size());
    const double d = denominator;
    // A comparison that finds far less of the scene again than the others do says nothing: the
    // refinement may simply have stayed where it started.
    auto dropWeak = [](std::vector<bool>& has, const std::vector<double>& inliers, std::size_t from) {
        std::vector<double> found;
        for (std::size_t i = from; i < has.size(); ++i)
            if (has[i]) found.push_back(inliers[i]);
        if (found.empty()) return;
        std::nth_element(found.begin(), found.begin() + static_cast<std::ptrdiff_t>(found.size() / 2), found.end());
        const double typical = found[found.size() / 2];
        for (std::size_t i = from; i < has.size(); ++i)
            if (inliers[i] < kWeakShare * typical) has[i] = false;
    };
    std::vector<double> directInliers(static_cast<std::size_t>(count), 0.0);
    for (int k = 1; k < count; ++k)
        directInliers[static_cast<std::size_t>(k)] = frames[static_cast<std::size_t>(k)].inliers;
    dropWeak(graph.hasDirect, directInliers, 1);
    double typicalInliers = 0;
    {
        std::vector<double> found(directInliers.begin() + 1, directInliers.end());
        if (!found.empty()) {
            std::nth_element(found.begin(), found.begin() + static_cast<std::ptrdiff_t>(found.size() / 2), found.end());
            typicalInliers = found[found.size() / 2];
        }
    }
    dropWeak(graph.hasStep, stepInliers, 0);

    std::vector<double> directError, stepError;
    const std::vector<Similarity> poses = SolvePoses(graph, directError, stepError);
    for (int k = 1; k < count; ++k) {
        const std::size_t i = static_cast<std::size_t>(k);
        FrameAlignment& result = out[i];
        if (!graph.hasDirect[i] && !graph.hasStep[i]) continue;
        // The direct estimate checked against the two paths through the neighbours (each from where
        // the neighbour was put): confirmed by either, the frame is sure; a direct estimate that found
        // the scene as well as the others do stands at the threshold on its own; without it, the two
        // paths must agree with each other.
        const std::size_t next = (i + 1) % static_cast<std::size_t>(count);
        bool viaLeft = graph.hasStep[i], viaRight = graph.hasStep[next];
        const Similarity left = viaLeft ? Compose(poses[i - 1], graph.step[i], 0, 0) : Similarity{};
        const Similarity right = viaRight ? Compose(poses[next], Inverse(graph.step[next]), 0, 0) : Similarity{};
        auto apart = [&](const Similarity& a, const Similarity& b) {
            return Travel(a.angle - b.angle, a.dx - b.dx, a.dy - b.dy, graph.radius);
        };
        const Similarity& direct = frames[i].direct;
        const bool strong = graph.hasDirect[i] && frames[i].inliers >= kStrongShare * typicalInliers;
        double confidence = 0;
        if (strong) {
            confidence = 0.5 + (viaLeft && apart(direct, left) <= kAgree ? 0.25 : 0.0) +
                         (viaRight && apart(direct, right) <= kAgree ? 0.25 : 0.0);
        } else if (viaLeft && viaRight && apart(left, right) <= kAgree) {
            confidence = 0.5;
        }
        result.confidence = confidence;
        result.disagreement = std::min(directError[i], 1e6) * d;
        const bool plausibleGain = frames[i].direct.gain > 0.5 && frames[i].direct.gain < 2;
        result.aligned = plausibleGain && result.confidence >= minConfidence;
        // The tuned view shows the crop centre minus (DX, DY), turned by -Angle: the inverse pose.
        const Similarity& pose = poses[i];
        result.DX = Rounded(-pose.dx * d, 0.001);
        result.DY = Rounded(-pose.dy * d, 0.001);
        result.Angle = Rounded(-pose.angle * 180 / std::numbers::pi, 0.0001);
    }
}

}  // namespace turnlet::alignment
