// SPDX-License-Identifier: MIT
// The stages of AlignTurn, each callable alone: frames read, still scene, direct estimates, steps, values.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include "align/registration.h"
#include "align/turn_alignment.h"
#include "base/files.h"
#include "base/tasks.h"

namespace turnlet::alignment {

// Where the frames are compared: the working scale and the crop's centre and rectangle in it.
struct Geometry {
    int denominator = 1;
    double centreX = 0, centreY = 0;        // working pixels, area coordinates
    PixelRect crop;                         // working pixels
    int sourceWidth = 0, sourceHeight = 0;  // full-size pixels of the first frame, before the turn
    int turnedWidth = 0, turnedHeight = 0;  // and after it
    PixelRect fullCrop;                     // full-size pixels of the turned picture
};

struct Frame {
    Pyramid pyramid;
    Picture colour;     // kept only until the frame's exposure is measured, where that comes later
    Similarity direct;  // against the first frame, found directly
    double inliers = 0;
    bool registered = false;
    bool matches = false;  // loaded, of the first frame's size
};

// ---- Pure steps (turn_geometry.cpp) ----

// Direct estimate of picture against reference: the best whole-pixel shift at a coarse level,
// then the robust refinement from there down to level finest.
RegistrationResult RegisterDirect(const Pyramid& reference, const ReferencePoints& points, const LevelMasks* mask,
                                  const Pyramid& picture, const Geometry& g, int finest);
Similarity Inverse(const Similarity& pose);
// The reference's still mask (level 0, width0 x height0) shrunk for each pyramid level from `from`
// on: a pixel stays still when the level-0 pixels round it, as far as half a pixel of that level
// reaches, are all still; one look-up then answers for a coarse pixel's centre.
LevelMasks ShrunkMasks(const std::vector<std::uint8_t>& mask0, int width0, int height0, int levels, int from);
// The still-pixel mask of the reference, as ShrunkMasks gives it, carried to a picture lying at
// pose against it, at the picture's levels from `from` down (finer ones stay empty).
LevelMasks MaskSeenFrom(const LevelMasks& shrunk, int width0, int height0, const Pyramid& picture,
                        const Similarity& pose, const Geometry& g, int from);
// Counts the crop's channel values of picture where they meet still, unclipped pixels of the
// reference, and sums the reference's values there.
void ExposureSums(const Picture& reference, const Picture& picture, const Similarity& pose, const Geometry& g,
                  std::vector<double>& histogram, double& target);
// value on a grid of step, with no "-0".
double Rounded(double value, double step);

// ---- The poses (pose_graph.cpp) ----

// The poses of all frames from the direct estimates and the steps between neighbours (step k lays
// frame k over frame k - 1, step 0 frame 0 over the last, closing the turn), by weighted least
// squares with the first frame held still. Estimates that disagree with the rest lose their
// weight round by round, so one bad comparison neither pulls its frame away nor breaks the chain.
struct PoseGraph {
    std::vector<Similarity> direct, step;
    std::vector<bool> hasDirect, hasStep;
    double radius = 1;  // turns weigh as their travel at this distance, pixels
};
std::vector<Similarity> SolvePoses(const PoseGraph& graph, std::vector<double>& directError,
                                   std::vector<double>& stepError);

// ---- Running the frames (turn_stages.cpp) ----

// Runs frame jobs on the pool with buffers per thread, and keeps the run's progress, stop and
// failure: the first failure (a source that cannot be read, or what a job threw) ends the run.
class FrameRunner {
  public:
    // What a working thread decodes into, used again for every frame it takes.
    struct Buffers {
        std::size_t thread = 0;  // 0 .. threads() - 1
        ByteBuffer bytes;
        Picture scratch, colour;
        std::vector<std::uint8_t> luma;  // a full-size window's luma
    };
    using Job = std::function<void(int frame, Buffers&)>;

    FrameRunner(const AlignSettings& settings, const AlignCallbacks& callbacks);
    int threads() const { return threads_; }

    // Runs job for each of frames, on up to threads() threads; no frame starts after a failure or
    // a stop. what names the work in a failure's reason; counts: each frame done is reported.
    void forFrames(const std::vector<int>& frames, bool counts, std::string_view what, const Job& job);
    // Runs a and b side by side where there are two threads.
    void both(const std::function<void()>& a, const std::function<void()>& b, std::string_view what);
    // One more step done, for the progress callback (3 per frame in all, more where added).
    void report();
    void addSteps(int steps);
    void fail(const Status& status);
    bool stopRequested();
    // Whether a failure or a stop has ended the run.
    bool ended() const;
    // ended(), telling out which (the failure's status, or cancelled).
    bool interrupted(TurnAlignment& out);

  private:
    const AlignSettings& settings_;
    const AlignCallbacks& callbacks_;
    int threads_ = 1;
    int total_ = 0;
    std::mutex mutex_;  // guards status_, the progress count and the callback
    int done_ = 0;
    Status status_;
    std::atomic<bool> failed_{false}, stopped_{false};
    CancelToken cancel_;
};

// What the stages share: the settings, the geometry and the frames.
struct TurnWork {
    const AlignSettings& settings;
    FrameRunner& run;
    Geometry g;
    std::vector<Frame> frames;

    int count() const { return static_cast<int>(frames.size()); }
    Frame& frame(int k) { return frames[static_cast<std::size_t>(k)]; }
    // Loaded, and of the first frame's size (another size: not the same shot, left unaligned).
    bool matchesFirst(int k) const;
    // Reads frame k's working picture into buffers.colour and its pyramid; check: whether its size
    // is compared with the first frame's (which must be there already). False on failure (told to
    // the runner).
    bool load(int k, FrameRunner::Buffers& buffers, bool check = true);
};

// ---- The stages, in order ----

// The working scale and the crop in it, from the first frame's size.
Status MeasureGeometry(const AlignSettings& settings, Geometry& g);

// Reads the first frame with its neighbours on both sides, near (and one more where that keeps
// both threads busy); their colours stay for the exposure. False when interrupted or the first
// frame could not be read.
bool ReadFirstFrames(TurnWork& work, std::vector<int>& near);

// What stays still in the scene near the first frame, and the counting of what changes.
struct StillScene {
    int fine = 0;                 // the level the estimates stop at before the final refinement
    int width0 = 0, height0 = 0;  // the first frame's working size
    ReferencePoints allPoints;    // the first frame's points, nothing left out
    std::optional<ChangeCounter> changes;
    std::vector<std::vector<std::uint16_t>> counts;  // per thread
    LevelMasks still;                                // empty: nothing left out
    const LevelMasks* mask() const { return still.empty() ? nullptr : &still; }
    std::vector<const std::vector<std::uint16_t>*> allCounts() const;
};
// Lays the neighbours over the first frame: what differs between them and it, once laid, moves
// with the object; the rest is left to align by. False when interrupted.
bool FindStillScene(TurnWork& work, const std::vector<int>& near, StillScene& scene);

// Every frame against the first, directly, with what moves near the first frame left out, reading
// the frames not read yet; each frame's brightness is measured while its colours are at hand.
// Where widen, the changes across the whole turn are counted too (counted: frames counted). False
// when interrupted.
bool EstimateDirect(TurnWork& work, StillScene& scene, bool widen, std::vector<FrameAlignment>& out, int& counted);

// Parts that look still near the first frame may move later in the turn (a lid that turns with the
// object): what changes in a few frames of the whole turn is left out too, when enough remains.
void WidenStillMask(StillScene& scene, int counted);

// Every frame refined once more at the full working size, against the final mask; the exposure
// ratio follows. Returns the still mask shrunk for the steps between neighbours (false: interrupted).
bool RefineDirect(TurnWork& work, const StillScene& scene, LevelMasks& shrunk, std::vector<FrameAlignment>& out);

// Each frame against its predecessor (the first against the last closes the turn), from where the
// direct estimates put it: the graph's steps, with the share of the scene each found again.
bool MeasureSteps(TurnWork& work, const StillScene& scene, const LevelMasks& shrunk, PoseGraph& graph,
                  std::vector<double>& stepInliers);

// The keyframe values: the poses solved over the graph (whose estimates that found far less of the
// scene than the others are dropped first), each frame's confidence from how its estimates agree,
// and DX, DY, Angle in full-size pixels and degrees.
void KeyframeValues(PoseGraph& graph, const std::vector<Frame>& frames, const std::vector<double>& stepInliers,
                    int denominator, double minConfidence, std::vector<FrameAlignment>& out);

}  // namespace turnlet::alignment
