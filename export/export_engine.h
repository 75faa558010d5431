// SPDX-License-Identifier: MIT
// The export: table of output frames, the per-frame hand-over, and the ExportPicture worker.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/status.h"
#include "imaging/frame_render.h"
#include "imaging/picture.h"
#include "imaging/worker.h"
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
    // 0-based row of the export table this request is for (lets the worker read ahead).
    int FrameIndex = -1;
};

// CheckFrameSizes naming the output file.
inline Status CheckFrameSizes(const ExportParams& params) {
    return CheckFrameSizes(params, params.OutputPath);
}

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

// Output frame k of n shows frame (k * (m - 1)) / (n - 1) of the m frames of the turn; a single
// output frame shows the first frame of the turn.
int ExportSourceFrame(int k, int n, int m);

// Builds the N + 1 row export table from the frames table (header + one row per frame of the turn),
// the source list and the first frame. Cells are copied verbatim.
TextGrid BuildExportTable(int n, const TextGrid& frames, const std::vector<std::string>& sources, int firstFrame);

// ".jpg", ".png" or ".bmp" for the type list's items 0, 1, 2.
std::string ExportExtension(int typeIndex);

// What the hand-over reads from the windows at every frame, and where it shows progress.
// Every call happens on the owner's thread (the GUI thread in the editor).
class ExportHost {
  public:
    virtual ~ExportHost() = default;
    // The main window's four crop fields: left, top, width, height, as typed.
    virtual std::string cropText(int index) const = 0;
    // Size of the picture shown in the source preview (the quarter-turned source).
    virtual int previewWidth() const = 0;
    virtual int previewHeight() const = 0;
    // The export dialog's fields.
    virtual std::string outputWidthText() const = 0;
    virtual std::string outputHeightText() const = 0;
    virtual int jpegQuality() const = 0;
    virtual std::string directory() const = 0;
    virtual int typeIndex() const = 0;
    virtual int rotationDegrees() const = 0;
    virtual Color backgroundColor() const = 0;
    virtual std::string languageCode() const = 0;

    virtual void setProgress(int position) = 0;
    // frame is the previous finished frame (empty on the first call); copy it to keep it.
    virtual void showPreview(const Picture& frame) = 0;
    virtual void clearPreview() = 0;
    // The completion message; returns once the user has seen it.
    virtual void showFinished(const std::string& message) = 0;
    // A source with an unknown extension: the frame is written in the background colour and the
    // export goes on.
    virtual void showWrongFileType(const std::string& path) = 0;
    // The export ended at a frame that could not be read or written; files already written stay.
    virtual void showFailure(const Status& status) = 0;
};

// The owner-thread side of one export: the export table and ExportCounter.
class ExportSession {
  public:
    static constexpr std::int32_t kStopped = 100000;

    explicit ExportSession(ExportHost& host) : host_(host) {}

    // Rebuilds the table for n frames and resets the counter and the progress bar.
    void Begin(TextGrid table);
    // Stop: the worker finishes the frame in hand and ends at its next hand-over.
    void Stop();
    // Fills params for the next frame (or leaves SourcePath empty to end the worker).
    // output is the worker's latest finished frame.
    void HandOver(const Picture& output, ExportParams& params);

    const TextGrid& table() const { return table_; }
    std::int32_t ExportCounter() const { return counter_; }
    ExportHost& host() { return host_; }

  private:
    ExportHost& host_;
    TextGrid table_{kExportColumns, 1};
    std::int32_t counter_ = 0;
};

struct ExportOptions {
    // Reuse decoded sources across frames, decode ahead on the second core and render fused.
    // Off: load and render each frame on its own, step by step (reference and benchmark).
    bool pipelined = true;
};

// The export worker: one per export. Its job asks the session for each next frame through the
// worker's blocking hand-over, so the session is touched only on the owner's thread.
class ExportPicture {
  public:
    // Reads ahead in column 0 of the session's export table as it stands now; session must outlive the worker.
    ExportPicture(ExportSession& session, PostToOwner post, ExportOptions options = {});
    // Waits for a running export to end. An owner whose thread runs the hand-overs must first
    // Stop() the session and keep serving hand-overs until running() is false, or both wait forever.
    ~ExportPicture();

    void Start() { worker_.wake(); }
    bool running() const { return worker_.busy(); }
    void Wait() { worker_.waitIdle(); }
    // True when the last run ended on an error (reported through ExportHost::showFailure).
    bool failed() const { return failed_; }

  private:
    class Sources;
    void Execute(Worker& worker);

    ExportSession& session_;
    ExportOptions options_;
    std::vector<std::string> lookahead_;
    bool failed_ = false;
    Worker worker_;
};

}  // namespace turnlet
