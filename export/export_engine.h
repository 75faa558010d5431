// SPDX-License-Identifier: MIT
// Running a frozen export plan: the per-frame hand-over of one export session and the ExportPicture worker.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/status.h"
#include "base/worker.h"
#include "export/export_plan.h"
#include "imaging/picture.h"
#include "render/frame_render.h"
#include "render/source_scheduler.h"

namespace turnlet {

// One output frame's request, filled by ExportSession::HandOver on the owner's thread and read by
// the worker between two hand-overs. An empty SourcePath means "stop".
struct ExportParams : FrameParams {
    std::string SourcePath;
    std::string OutputPath;
    int JpegQuality = 90;
    int Frame = 0;  // 1-based number of the frame, as its file is named
    // This frame's source and the next different ones, each with the frames that show it: what to
    // decode ahead, and which part of each source. Empty when the export ends.
    std::vector<SourcePlan> Upcoming;
    // The same frame at the sizes of the viewer's extra frame sets, rendered from the same decode
    // (empty unless the export writes those sets).
    struct ExtraFrame {
        std::int32_t OutputWidth = 0;
        std::int32_t OutputHeight = 0;
        std::string OutputPath;
    };
    std::vector<ExtraFrame> Extras;
};

// The viewer's extra frame sets: sub-folders of the export folder holding every frame again, named
// as the main set, at about half and twice the main frames' size.
inline constexpr const char* kHalfSizeFolder = "half";
inline constexpr const char* kDoubleSizeFolder = "double";
// A side of the half-size set: half the main frame's, rounded up, at least 1.
std::int32_t HalfFrameSize(std::int32_t size);
// A side of the double-size set: twice the main frame's (saturated to 32 bits; CheckFrameSizes then
// refuses it).
std::int32_t DoubleFrameSize(std::int32_t size);

// Sources ExportParams::Upcoming names after the frame's own, and frames it lists per source at most
// (a longer run of one source plans its first ones; a later frame reaching further decodes again).
inline constexpr int kPlannedSourcesAhead = 2;
inline constexpr int kPlannedFramesPerSource = 64;

// CheckFrameSizes naming the output file.
inline Status CheckFrameSizes(const ExportParams& params) {
    return CheckFrameSizes(params, params.OutputPath);
}

// What an export shows. Every call happens on the owner's thread (in place on the worker thread
// for an owner that does not serve hand-overs, such as the command line).
class ExportObserver {
  public:
    virtual ~ExportObserver() = default;
    // Frames handed out so far (the progress bar's position), of the plan's total.
    virtual void exportProgress(int position) = 0;
    // frame is the previous rendered frame, whose file may still be being written (empty on the
    // first call); copy it to keep it.
    virtual void exportPreview(const Picture& frame) = 0;
    virtual void exportPreviewCleared() = 0;
    // The export has ended, its files and page are settled; for a finished export the progress
    // bar and preview are reset after this returns.
    virtual void exportEnded(const ExportOutcome& outcome) = 0;
};

// One export: its plan, ExportCounter and stopped flag. Touched on the owner's thread only; the
// worker of this export reaches it through hand-overs. A new export gets a new session, so a
// worker that is still finishing never reads another export's plan or counter.
class ExportSession {
  public:
    ExportSession(ExportObserver& observer, std::shared_ptr<const ExportPlan> plan);

    // Stop: the worker finishes the frame in hand and ends at its next hand-over.
    void Stop();
    // Replaced by a newer export: stopped, and silent from now on (no progress, no messages).
    void Retire();
    // Fills params for the next frame (or leaves SourcePath empty to end the worker).
    // output is the worker's latest finished frame.
    void HandOver(const Picture& output, ExportParams& params);
    // The worker's run has ended; shown unless the export was retired.
    void Ended(const ExportOutcome& outcome);

    const ExportPlan& plan() const { return *plan_; }
    const std::shared_ptr<const ExportPlan>& sharedPlan() const { return plan_; }
    // Frames handed out so far.
    std::int32_t ExportCounter() const { return counter_; }
    bool stopped() const { return stopped_; }
    bool retired() const { return retired_; }
    // The outcome once the run has ended.
    const std::optional<ExportOutcome>& outcome() const { return outcome_; }

  private:
    void PlanAhead(int k, ExportParams& params) const;

    ExportObserver& observer_;
    std::shared_ptr<const ExportPlan> plan_;
    // Index of the next different source after each frame (0: none), for planning the decodes ahead.
    std::vector<int> nextSource_;
    std::int32_t counter_ = 0;
    bool stopped_ = false;
    bool retired_ = false;
    std::optional<ExportOutcome> outcome_;
};

struct ExportOptions {
    // Decode each source ahead, in the part its frames read, on a helper thread (and on this one
    // while it would wait), reuse every buffer across frames and render fused (SourceScheduler).
    // Off: load and render each frame on its own, step by step (reference and benchmark).
    bool pipelined = true;
};

// The export worker: one per export. It writes the viewer page first, then asks the session for
// each next frame through the worker's blocking hand-over, so the session is touched only on the
// owner's thread. At the end it shortens (or removes) the page when fewer frames were written than
// it lists, and the outcome reaches the session's Ended and then ended, both on the owner's thread,
// after the worker has gone idle.
class ExportPicture {
  public:
    using Ended = std::function<void(const ExportOutcome&)>;

    // Without post, hand-overs and the outcome run in place on the worker thread.
    ExportPicture(std::shared_ptr<ExportSession> session, PostToOwner post, ExportOptions options = {},
                  Ended ended = {});
    // Stops and joins: a frame in hand is finished first. Safe on the thread that serves the
    // hand-overs, since stopping releases a hand-over still queued there.
    ~ExportPicture();
    ExportPicture(const ExportPicture&) = delete;
    ExportPicture& operator=(const ExportPicture&) = delete;

    void Start();
    bool running() const { return worker_.busy(); }
    // The run ends after the frame in hand without another hand-over.
    void Stop() { worker_.stop(); }
    // Blocks until the run has ended and its outcome was delivered, and returns the outcome.
    // Only for a caller that does not serve the hand-overs (no post, or another thread).
    ExportOutcome Wait();

  private:
    Status Execute(Worker& worker);
    // The frames, without the page; fills outcome_ but its end and page.
    Status WriteFrames(Worker& worker);
    void SettlePage();
    void Delivered(const Status& status);

    std::shared_ptr<ExportSession> session_;
    std::shared_ptr<const ExportPlan> plan_;
    PostToOwner post_;
    ExportOptions options_;
    Ended ended_;
    bool started_ = false;
    ExportOutcome outcome_;  // the worker thread's until delivered
    std::mutex mutex_;
    std::condition_variable delivered_;
    std::optional<ExportOutcome> delivered_outcome_;  // guarded by mutex_
    // Last: destroyed (joined) first, while the members its thread uses still exist.
    Worker worker_;
};

}  // namespace turnlet
