// SPDX-License-Identifier: MIT
// The export: table of output frames, the per-frame hand-over of one export session, and the ExportPicture worker.
#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/status.h"
#include "render/frame_render.h"
#include "imaging/picture.h"
#include "render/source_scheduler.h"
#include "base/worker.h"
#include "tuning/text_grid.h"

namespace turnlet {

// One output frame's request, filled by ExportSession::HandOver on the owner's thread and read by
// the worker between two hand-overs. An empty SourcePath means "stop". The frame values, the
// rotation and the background (copied in the hand-over, so the worker never reads the windows'
// state) are the FrameParams part.
struct ExportParams : FrameParams {
    std::string SourcePath;
    std::string OutputPath;
    int JpegQuality = 90;
    // The next different source of the table after this frame, decoded ahead; empty at the end.
    std::string NextSourcePath;
    // This frame's source and the next different ones, each with the frames that show it as this
    // hand-over's inputs give them (the crop may still change): what to decode ahead, and which
    // part of each source. Empty when the export ends.
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

// Column indexes of the export table (row 0 unused, rows 1..N the output frames).
enum ExportColumn {
    kExportSource = 0,
    kExportDX,
    kExportDY,
    kExportAngle,
    kExportScale,
    kExportBrightness,
    kExportContrast,
    kExportGamma,
    kExportColumns
};

// Most output frames one export holds: its table keeps eight text cells per frame, so this bounds
// the memory an export can ask for (a few tens of megabytes), far above the dialog's 1000.
inline constexpr int kMaxExportFrames = 100000;

// An error naming n unless 1 <= n <= kMaxExportFrames. Callers check before building the table.
Status CheckExportFrames(int n);

// Output frame k of n shows frame (k * (m - 1)) / (n - 1) of the m frames of the turn; a single
// output frame shows the first frame of the turn.
int ExportSourceFrame(int k, int n, int m);

// Builds the N + 1 row export table from the frames table (header + one row per frame of the turn),
// the source list and the first frame. Cells are copied verbatim. n is cut to kMaxExportFrames so
// that nothing overflows even for a caller that did not check it.
TextGrid BuildExportTable(int n, const TextGrid& frames, const std::vector<std::string>& sources, int firstFrame);

// CheckFrameSizes naming the output file.
inline Status CheckFrameSizes(const ExportParams& params) {
    return CheckFrameSizes(params, params.OutputPath);
}

// ".jpg", ".png" or ".bmp" for the type list's items 0, 1, 2.
std::string ExportExtension(int typeIndex);

// What the hand-over reads from the main window and the export dialog, taken once per frame.
struct ExportInputs {
    // The main window's four crop fields as typed: left, top, width, height.
    std::array<std::string, 4> cropTexts;
    // Size of the picture shown in the source preview (the quarter-turned source).
    int previewWidth = 0;
    int previewHeight = 0;
    // The export dialog's fields.
    std::string outputWidthText;
    std::string outputHeightText;
    int jpegQuality = 90;
    int typeIndex = 0;
    std::string directory;
    int rotationDegrees = 0;
    Color backgroundColor = 0x00FFFFFF;
    // The dialog's "Smooth resize": shrinking averages the area each output pixel covers.
    bool smooth = false;
    // Chooses the words shown ("en", "ru"; any other code shows no completion message).
    std::string languageCode = "en";
};

// Called on the owner's thread (the GUI thread in the editor) at every hand-over.
class ExportHost {
  public:
    virtual ~ExportHost() = default;
    virtual ExportInputs inputs() const = 0;
};

// What an export shows. Every call happens on the owner's thread (in place on the worker thread
// for an owner that does not serve hand-overs, such as the command line).
class ExportObserver {
  public:
    virtual ~ExportObserver() = default;
    virtual void exportProgress(int position) = 0;
    // frame is the previous rendered frame, whose file may still be being written (empty on the
    // first call); copy it to keep it.
    virtual void exportPreview(const Picture& frame) = 0;
    virtual void exportPreviewCleared() = 0;
    // The last frame is written. message is the completion text in the interface language, empty
    // when that language has none; returns once the user has seen it.
    virtual void exportFinished(const std::string& message) = 0;
    // A source with an unknown extension: the frame is written in the background colour and the
    // export goes on. message is the text to show beside the path.
    virtual void exportWrongFileType(const std::string& path, const std::string& message) = 0;
    // The export ended at a frame that could not be read, rendered or written (or on an unexpected
    // failure); files already written stay.
    virtual void exportFailed(const Status& status) = 0;
};

// One export: its table, ExportCounter and stopped flag. Touched on the owner's thread only; the
// worker of this export reaches it through hand-overs. A new export gets a new session, so a
// worker that is still finishing never reads another export's table or counter.
class ExportSession {
  public:
    // The value Stop leaves in ExportCounter (whether the export stopped is kept apart, so any
    // number of frames can be stopped).
    static constexpr std::int32_t kStopped = 100000;

    // extraSizes: every frame is also written at half and double size into the sub-folders of the
    // viewer's extra sets (decided with the viewer page, at the start).
    ExportSession(ExportHost& host, ExportObserver& observer, TextGrid table, bool extraSizes = false);

    // Stop: the worker finishes the frame in hand and ends at its next hand-over; the progress
    // bar returns to 0.
    void Stop();
    // Replaced by a newer export: stopped, and silent from now on (no progress, no messages).
    void Retire();
    // Fills params for the next frame (or leaves SourcePath empty to end the worker).
    // output is the worker's latest finished frame.
    void HandOver(const Picture& output, ExportParams& params);
    void ShowWrongFileType(const std::string& path);
    // The worker's run has ended; a failure is shown unless the export was retired.
    void Ended(const Status& status);

    const TextGrid& table() const { return table_; }
    bool extraSizes() const { return extraSizes_; }
    std::int32_t ExportCounter() const { return counter_; }
    bool stopped() const { return stopped_; }
    bool retired() const { return retired_; }

  private:
    // Fills the frame values of row r from the table and the inputs, all but the shifts.
    void FillFrame(int r, const ExportInputs& in, FrameParams& params) const;
    void PlanAhead(int r, const ExportInputs& in, ExportParams& params) const;

    ExportHost& host_;
    ExportObserver& observer_;
    TextGrid table_;
    bool extraSizes_;
    // Row of the next different source after each row (0: none), for planning the decodes ahead.
    std::vector<int> nextSourceRow_;
    std::int32_t counter_ = 0;
    bool stopped_ = false;
    bool retired_ = false;
};

struct ExportOptions {
    // Decode each source ahead, in the part its frames read, on a helper thread (and on this one
    // while it would wait), reuse every buffer across frames and render fused (SourceScheduler).
    // Off: load and render each frame on its own, step by step (reference and benchmark).
    bool pipelined = true;
};

// The export worker: one per export. Its job asks the session for each next frame through the
// worker's blocking hand-over, so the session is touched only on the owner's thread. The outcome
// of the run (an error, or an exception escaping it) reaches the session's Ended and then ended,
// both on the owner's thread, after the worker has gone idle.
class ExportPicture {
  public:
    using Ended = std::function<void(const Status&)>;

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
    Status Wait();

  private:
    Status Execute(Worker& worker);
    void Delivered(const Status& status);

    std::shared_ptr<ExportSession> session_;
    PostToOwner post_;
    ExportOptions options_;
    Ended ended_;
    bool started_ = false;
    std::mutex mutex_;
    std::condition_variable delivered_;
    std::optional<Status> outcome_;  // guarded by mutex_
    // Last: destroyed (joined) first, while the members its thread uses still exist.
    Worker worker_;
};

}  // namespace turnlet
