// SPDX-License-Identifier: MIT
// The stages of a turn's alignment that work through the frames, on the pool.
#include "align/turn_stages.h"

#include <algorithm>
#include <cmath>

#include "align/working_picture.h"
#include "codecs/image_files.h"

namespace turnlet::alignment {

FrameRunner::FrameRunner(const AlignSettings& settings, const AlignCallbacks& callbacks)
    : settings_(settings),
      callbacks_(callbacks),
      threads_(std::clamp(settings.threads > 0 ? settings.threads : PoolThreads(), 1, 2)),
      total_(3 * static_cast<int>(settings.paths.size())) {}

void FrameRunner::forFrames(const std::vector<int>& frames, bool counts, std::string_view what, const Job& job) {
    std::vector<Buffers> buffers(static_cast<std::size_t>(threads_));
    for (std::size_t t = 0; t < buffers.size(); ++t) buffers[t].thread = t;
    ForOptions options;
    options.maxThreads = threads_;
    options.cancel = &cancel_;
    options.what = what;
    options.fileOf = [&](int i) {
        return settings_.paths[static_cast<std::size_t>(frames[static_cast<std::size_t>(i)])];
    };
    const TaskOutcome outcome = ParallelFor(0, static_cast<int>(frames.size()), options, [&](int i, int slot) {
        if (failed_.load() || stopRequested()) {
            cancel_.cancel();
            return;
        }
        job(frames[static_cast<std::size_t>(i)], buffers[static_cast<std::size_t>(slot)]);
        if (counts) report();
    });
    if (outcome.failed()) fail(outcome.status);
}

void FrameRunner::both(const std::function<void()>& a, const std::function<void()>& b, std::string_view what) {
    TaskOutcome outcome;
    if (threads_ > 1) {
        outcome = RunBoth(a, b, what);
    } else {
        ForOptions options;
        options.maxThreads = 1;
        options.what = what;
        outcome = ParallelFor(0, 2, options, [&](int i, int) { (i == 0 ? a : b)(); });
    }
    if (outcome.failed()) fail(outcome.status);
}

void FrameRunner::report() {
    std::lock_guard lock(mutex_);
    ++done_;
    if (callbacks_.progress) callbacks_.progress(done_, total_);
}

void FrameRunner::addSteps(int steps) {
    std::lock_guard lock(mutex_);
    total_ += steps;
}

void FrameRunner::fail(const Status& status) {
    cancel_.cancel();
    std::lock_guard lock(mutex_);
    if (!failed_.exchange(true)) status_ = status;
}

bool FrameRunner::stopRequested() {
    if (stopped_.load()) return true;
    if (callbacks_.stopping && callbacks_.stopping()) stopped_ = true;
    return stopped_.load();
}

bool FrameRunner::ended() const {
    return failed_.load() || stopped_.load();
}

bool FrameRunner::interrupted(TurnAlignment& out) {
    if (failed_.load()) {
        std::lock_guard lock(mutex_);
        out.status = status_;
        return true;
    }
    if (stopped_.load()) out.cancelled = true;
    return stopped_.load();
}

bool TurnWork::matchesFirst(int k) const {
    const Pyramid& a = frames[static_cast<std::size_t>(k)].pyramid;
    const Pyramid& first = frames[0].pyramid;
    return k == 0 || (a.size() == first.size() && a[0].width == first[0].width && a[0].height == first[0].height);
}

bool TurnWork::load(int k, FrameRunner::Buffers& buffers, bool check) {
    Status status = LoadWorkingPicture(settings.paths[static_cast<std::size_t>(k)], g.denominator,
                                       settings.rotationDegrees, buffers.colour, buffers.bytes, buffers.scratch);
    if (!status.ok()) {
        run.fail(status);
        return false;
    }
    frame(k).pyramid = BuildPyramid(GreyOf(buffers.colour));
    if (check) frame(k).matches = matchesFirst(k);
    return true;
}

std::vector<const std::vector<std::uint16_t>*> StillScene::allCounts() const {
    std::vector<const std::vector<std::uint16_t>*> all;
    for (const std::vector<std::uint16_t>& c : counts) all.push_back(&c);
    return all;
}

Status MeasureGeometry(const AlignSettings& settings, Geometry& g) {
    int fullWidth = 0, fullHeight = 0;
    if (Status status = ReadPictureSize(settings.paths[0], fullWidth, fullHeight); !status.ok()) return status;
    g.denominator = ScaleDenominatorFor(fullWidth, fullHeight, settings.maxWorkingPixels);
    // The full-size pass gives the last fraction of a pixel: the working size need only bring the
    // estimates within its reach, and a smaller one costs a quarter.
    if (settings.refineFullSize && g.denominator > 1) g.denominator = std::min(8, 2 * g.denominator);
    const bool sideways = settings.rotationDegrees == 90 || settings.rotationDegrees == 270;
    const int turnedWidth = sideways ? fullHeight : fullWidth, turnedHeight = sideways ? fullWidth : fullHeight;
    PixelRect crop = settings.crop.empty() ? PixelRect{0, 0, turnedWidth, turnedHeight} : settings.crop;
    g.sourceWidth = fullWidth;
    g.sourceHeight = fullHeight;
    g.turnedWidth = turnedWidth;
    g.turnedHeight = turnedHeight;
    g.fullCrop = crop;
    // The tuned view turns a frame about the crop's centre pixel (integer half of its size).
    const double d = g.denominator;
    g.centreX = (crop.left + crop.width / 2 + 0.5) / d;
    g.centreY = (crop.top + crop.height / 2 + 0.5) / d;
    g.crop = {static_cast<int>(std::floor(crop.left / d)), static_cast<int>(std::floor(crop.top / d)),
              static_cast<int>(std::ceil(crop.width / d)), static_cast<int>(std::ceil(crop.height / d))};
    return Status::Ok();
}

bool ReadFirstFrames(TurnWork& work, std::vector<int>& near) {
    const int count = work.count();
    near.clear();
    for (int k : {1, count - 1, 2, count - 2})
        if (k > 0 && k < count && std::find(near.begin(), near.end(), k) == near.end()) near.push_back(k);
    std::vector<int> first = {0};
    first.insert(first.end(), near.begin(), near.end());
    // One more when that keeps both threads busy to the end: it is read now rather than later.
    for (int k = 1; k < count && work.run.threads() > 1 && first.size() % 2 == 1; ++k)
        if (std::find(first.begin(), first.end(), k) == first.end()) first.push_back(k);
    work.run.forFrames(first, false, "reading the frames", [&](int k, FrameRunner::Buffers& buffers) {
        if (work.load(k, buffers, false)) work.frame(k).colour = std::move(buffers.colour);
    });
    if (work.run.ended() || work.frames[0].pyramid.empty()) return false;
    for (int k : first) work.frame(k).matches = work.matchesFirst(k);
    return true;
}

bool FindStillScene(TurnWork& work, const std::vector<int>& near, StillScene& scene) {
    const Frame& reference = work.frames[0];
    const Geometry& g = work.g;
    scene.width0 = reference.pyramid[0].width;
    scene.height0 = reference.pyramid[0].height;
    // A tenth of a pixel a level up is near enough to tell what moves from what stays.
    const int nearFinest = std::min(1, static_cast<int>(reference.pyramid.size()) - 1);
    work.run.both([&] { scene.allPoints = CollectPoints(reference.pyramid, nullptr, nearFinest); },
                  [&] { scene.changes.emplace(reference.pyramid, g.centreX, g.centreY); }, "preparing the comparison");
    if (work.run.ended()) return false;
    // Each thread counts the changes of the frames it compares while they are at hand.
    scene.counts.assign(static_cast<std::size_t>(work.run.threads()), {});
    work.run.forFrames(near, false, "comparing the first frames", [&](int k, FrameRunner::Buffers& buffers) {
        Frame& frame = work.frame(k);
        if (!frame.matches) return;
        frame.direct = RegisterDirect(reference.pyramid, scene.allPoints, nullptr, frame.pyramid, g, nearFinest).pose;
        scene.changes->Add(frame.pyramid, frame.direct, scene.counts[buffers.thread]);
    });
    if (work.run.ended()) return false;
    scene.still = scene.changes->Mask(scene.allCounts(), 1);
    // A scene that moves nearly everywhere leaves too little: then the weights alone decide.
    std::size_t kept = 0;
    for (std::uint8_t v : scene.still[0]) kept += v;
    if (kept * 10 < scene.still[0].size()) scene.still.clear();
    // The first estimates stop a level above the full working size: the final one refines them.
    scene.fine = std::min(1, static_cast<int>(reference.pyramid.size()) - 1);
    return true;
}

bool EstimateDirect(TurnWork& work, StillScene& scene, bool widen, std::vector<FrameAlignment>& out, int& counted) {
    const Frame& reference = work.frames[0];
    const LevelMasks* mask = scene.mask();
    const ReferencePoints points = mask ? CollectPoints(reference.pyramid, mask, scene.fine) : scene.allPoints;
    for (std::vector<std::uint16_t>& c : scene.counts) c.clear();
    std::atomic<int> widened{0};
    std::vector<int> frames;
    for (int k = 1; k < work.count(); ++k) frames.push_back(k);
    // Each frame's exposure is measured while its colours are at hand: the final pass moves it by
    // a fraction of a pixel, which the nearest-pixel comparison hardly sees.
    work.run.forFrames(frames, true, "comparing the frames with the first", [&](int k, FrameRunner::Buffers& buffers) {
        Frame& frame = work.frame(k);
        if (frame.pyramid.empty() && !work.load(k, buffers)) return;
        if (!frame.matches) {  // another size: not the same shot, left unaligned
            frame.colour.clear();
            return;
        }
        const RegistrationResult r = RegisterDirect(reference.pyramid, points, mask, frame.pyramid, work.g, scene.fine);
        frame.direct = r.pose;
        frame.inliers = r.inliers;
        frame.registered = r.converged || r.inliers > 0;
        if (widen && frame.registered) {
            scene.changes->Add(frame.pyramid, frame.direct, scene.counts[buffers.thread]);
            ++widened;
        }
        std::vector<double> histogram;
        double target = 0;
        ExposureSums(reference.colour, frame.colour.empty() ? buffers.colour : frame.colour, frame.direct, work.g,
                     histogram, target);
        out[static_cast<std::size_t>(k)].Brightness = BrightnessForSum(histogram, target);
        frame.colour.clear();
    });
    counted = widened.load();
    if (work.run.ended()) return false;
    work.frames[0].colour.clear();
    return true;
}

void WidenStillMask(StillScene& scene, int counted) {
    LevelMasks wider = scene.changes->Mask(scene.allCounts(), std::max(2, counted / 20));
    for (std::size_t level = 0; level < wider.size(); ++level)
        for (std::size_t i = 0; i < wider[level].size(); ++i) wider[level][i] &= scene.still[level][i];
    std::size_t kept = 0;
    for (std::uint8_t v : wider[0]) kept += v;
    if (kept * 20 >= wider[0].size()) scene.still = std::move(wider);
}

bool RefineDirect(TurnWork& work, const StillScene& scene, LevelMasks& shrunk, std::vector<FrameAlignment>& out) {
    const Frame& reference = work.frames[0];
    const LevelMasks* mask = scene.mask();
    const int fine = scene.fine;
    ReferencePoints finalPoints;
    work.run.both([&] { finalPoints = CollectPoints(reference.pyramid, mask); },
                  [&] {
                      if (mask)
                          shrunk = ShrunkMasks(scene.still[0], scene.width0, scene.height0,
                                               static_cast<int>(reference.pyramid.size()), fine);
                  },
                  "preparing the final comparison");
    if (work.run.ended()) return false;
    std::vector<int> frames;
    for (int k = 1; k < work.count(); ++k) frames.push_back(k);
    work.run.forFrames(frames, true, "refining the frames", [&](int k, FrameRunner::Buffers&) {
        Frame& frame = work.frame(k);
        if (!frame.matches) return;
        RegistrationOptions options;
        options.coarsestLevel = fine;
        options.misplacement = kTurnMisplacement;
        const RegistrationResult r =
            Register(finalPoints, frame.pyramid, work.g.centreX, work.g.centreY, frame.direct, options);
        if (r.converged || r.inliers > 0) {
            frame.direct = r.pose;
            frame.inliers = r.inliers;
            frame.registered = true;
        }
        out[static_cast<std::size_t>(k)].exposureRatio = frame.direct.gain;
        // The steps between neighbours compare the smaller levels only.
        if (fine > 0) frame.pyramid[0] = GreyImage{};
    });
    return !work.run.ended();
}

bool MeasureSteps(TurnWork& work, const StillScene& scene, const LevelMasks& shrunk, PoseGraph& graph,
                  std::vector<double>& stepInliers) {
    const int count = work.count();
    const Geometry& g = work.g;
    const LevelMasks* mask = scene.mask();
    const int fine = scene.fine;
    graph.direct.assign(static_cast<std::size_t>(count), Similarity{});
    graph.step.assign(static_cast<std::size_t>(count), Similarity{});
    graph.hasDirect.assign(static_cast<std::size_t>(count), false);
    graph.hasStep.assign(static_cast<std::size_t>(count), false);
    graph.radius = 0.5 * std::hypot(g.crop.width, g.crop.height);
    graph.hasDirect[0] = true;
    for (int k = 1; k < count; ++k) {
        graph.direct[static_cast<std::size_t>(k)] = work.frame(k).direct;
        graph.hasDirect[static_cast<std::size_t>(k)] = work.frame(k).registered;
    }
    stepInliers.assign(static_cast<std::size_t>(count), 0.0);
    // One byte per frame: the threads write neighbouring entries, which packed bits would share.
    std::vector<std::uint8_t> stepFound(static_cast<std::size_t>(count), 0);
    std::vector<int> frames;
    for (int k = 0; k < count; ++k) frames.push_back(k);
    work.run.forFrames(frames, true, "comparing neighbouring frames", [&](int k, FrameRunner::Buffers&) {
        const int previous = (k + count - 1) % count;
        const Frame& a = work.frame(previous);
        const Frame& b = work.frame(k);
        if (count < 2 || !a.matches || !b.matches) return;
        const LevelMasks seen =
            mask ? MaskSeenFrom(shrunk, scene.width0, scene.height0, a.pyramid, a.direct, g, fine) : LevelMasks{};
        const ReferencePoints stepPoints = CollectPoints(a.pyramid, mask ? &seen : nullptr, fine);
        const Similarity predicted = Compose(Inverse(a.direct), b.direct, g.centreX, g.centreY);
        RegistrationOptions options;
        options.finestLevel = fine;
        options.misplacement = kTurnMisplacement;
        // The steps only check the direct estimates: as many points as the levels above.
        options.maxFinestPoints = options.maxPoints;
        const RegistrationResult r = Register(stepPoints, b.pyramid, g.centreX, g.centreY, predicted, options);
        graph.step[static_cast<std::size_t>(k)] = r.pose;
        stepFound[static_cast<std::size_t>(k)] = r.converged || r.inliers > 0;
        stepInliers[static_cast<std::size_t>(k)] = r.inliers;
    });
    if (work.run.ended()) return false;
    for (int k = 0; k < count; ++k)
        graph.hasStep[static_cast<std::size_t>(k)] = stepFound[static_cast<std::size_t>(k)] != 0;
    return true;
}

}  // namespace turnlet::alignment
