// SPDX-License-Identifier: MIT
// Running a frozen export plan: the per-frame hand-over of one export session and the ExportPicture worker.
#include "export/export_engine.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <system_error>
#include <utility>

#include "base/parallel.h"
#include "codecs/image_files.h"
#include "codecs/jpeg_io.h"
#include "codecs/picture_writer.h"
#include "export/viewer_page.h"
#include "render/source_scheduler.h"

namespace turnlet {

namespace {

// The extra sets' frames of a frame of the given size, written as fileName into the sub-folders.
std::vector<ExportParams::ExtraFrame> ExtraFrames(const FrameParams& frame, const std::string& directory,
                                                  const std::string& fileName) {
    return {{HalfFrameSize(frame.OutputWidth), HalfFrameSize(frame.OutputHeight),
             directory + "/" + kHalfSizeFolder + "/" + fileName},
            {DoubleFrameSize(frame.OutputWidth), DoubleFrameSize(frame.OutputHeight),
             directory + "/" + kDoubleSizeFolder + "/" + fileName}};
}

FrameParams Resized(FrameParams frame, const ExportParams::ExtraFrame& extra) {
    frame.OutputWidth = extra.OutputWidth;
    frame.OutputHeight = extra.OutputHeight;
    return frame;
}

// A folder made with its parents when missing.
Status MakeFolder(const std::filesystem::path& folder) {
    std::error_code error;
    if (std::filesystem::is_directory(folder, error)) return Status::Ok();
    std::filesystem::create_directories(folder, error);
    if (error) return Status::Error(folder.string(), error.message());
    return Status::Ok();
}

ViewerPageFacts PageFacts(const ExportPlan& plan, int frames) {
    return {frames, plan.typeIndex, plan.outputWidth, plan.outputHeight, plan.extraSizes};
}

}  // namespace

std::int32_t HalfFrameSize(std::int32_t size) {
    return size <= 1 ? 1 : static_cast<std::int32_t>((std::int64_t{size} + 1) / 2);
}

std::int32_t DoubleFrameSize(std::int32_t size) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(std::int64_t{size} * 2, 0, INT32_MAX));
}

ExportSession::ExportSession(ExportObserver& observer, std::shared_ptr<const ExportPlan> plan)
    : observer_(observer), plan_(std::move(plan)) {
    const int n = plan_->frameCount();
    nextSource_.assign(static_cast<std::size_t>(n), 0);
    for (int k = n - 2; k >= 0; --k) {
        const bool differs = plan_->frames[k + 1].source != plan_->frames[k].source;
        nextSource_[k] = differs ? k + 1 : nextSource_[k + 1];
    }
}

void ExportSession::Stop() {
    if (!retired_) stopped_ = true;
}

void ExportSession::Retire() {
    stopped_ = true;
    retired_ = true;
}

void ExportSession::PlanAhead(int k, ExportParams& params) const {
    params.Upcoming.clear();
    const int frames = plan_->frameCount();
    for (int run = 0, first = k; run <= kPlannedSourcesAhead && first >= 0 && first < frames; ++run) {
        SourcePlan& plan = params.Upcoming.emplace_back();
        plan.path = plan_->frames[first].source;
        const int next = nextSource_[first];
        const int end = next > 0 ? next : frames;
        for (int row = first; row < end && row < first + kPlannedFramesPerSource; ++row) {
            const FrameParams frame = plan_->Frame(row);
            // The extra sizes render from the same decode, so it must hold what they read too.
            if (plan_->extraSizes) {
                for (const ExportParams::ExtraFrame& extra : ExtraFrames(frame, {}, {}))
                    plan.frames.push_back(Resized(frame, extra));
            }
            plan.frames.push_back(frame);
        }
        if (next == 0) break;
        first = next;
    }
}

void ExportSession::HandOver(const Picture& output, ExportParams& params) {
    params.SourcePath.clear();
    params.Upcoming.clear();
    params.Extras.clear();
    const std::int32_t c = counter_;
    if (stopped_ || c >= plan_->frameCount()) return;
    static_cast<FrameParams&>(params) = plan_->Frame(c);
    params.JpegQuality = plan_->jpegQuality;
    params.Frame = c + 1;
    params.SourcePath = plan_->frames[c].source;
    const std::string fileName = plan_->FileName(c);
    params.OutputPath = plan_->directory + "/" + fileName;
    if (plan_->extraSizes) params.Extras = ExtraFrames(params, plan_->directory, fileName);
    PlanAhead(c, params);
    counter_ = c + 1;
    observer_.exportProgress(c + 1);
    observer_.exportPreview(output);
}

void ExportSession::Ended(const ExportOutcome& outcome) {
    outcome_ = outcome;
    if (retired_) return;
    observer_.exportEnded(outcome);
    // The message may have let a new export replace this one meanwhile; its bar is not ours.
    if (retired_) return;
    if (outcome.end == ExportOutcome::End::Finished) {
        observer_.exportProgress(0);
        observer_.exportPreviewCleared();
    } else {
        // The bar stays at what was written, so it says how far the export got.
        observer_.exportProgress(outcome.written);
    }
}

ExportPicture::ExportPicture(std::shared_ptr<ExportSession> session, PostToOwner post, ExportOptions options,
                             Ended ended)
    : session_(std::move(session)),
      plan_(session_->sharedPlan()),
      post_(std::move(post)),
      options_(options),
      ended_(std::move(ended)),
      worker_([this](Worker& w) { return Execute(w); }, post_, [this](const Status& status) { Delivered(status); }) {}

ExportPicture::~ExportPicture() {
    worker_.stop();
}

void ExportPicture::Start() {
    if (worker_.wake()) started_ = true;
}

ExportOutcome ExportPicture::Wait() {
    if (!started_) return {};
    std::unique_lock lock(mutex_);
    delivered_.wait(lock, [this] { return delivered_outcome_.has_value(); });
    return *delivered_outcome_;
}

// Worker thread, once the worker is idle again.
void ExportPicture::Delivered(const Status& status) {
    ExportOutcome outcome = std::move(outcome_);
    if (!status.ok()) {
        // Something escaped the run (out of memory, say): an end like any other failure.
        outcome.end = ExportOutcome::End::Failed;
        outcome.failure = status;
    }
    if (post_) {
        post_([session = session_, ended = ended_, outcome] {
            session->Ended(outcome);
            if (ended) ended(outcome);
        });
    } else {
        session_->Ended(outcome);
        if (ended_) ended_(outcome);
    }
    std::lock_guard lock(mutex_);
    delivered_outcome_ = std::move(outcome);
    delivered_.notify_all();
}

Status ExportPicture::Execute(Worker& worker) {
    outcome_ = ExportOutcome{};
    outcome_.total = plan_->frameCount();
    Status status = MakeFolder(plan_->directory);
    if (status.ok() && plan_->page) {
        status = WriteViewerPage(plan_->page->templatePath, plan_->directory, PageFacts(*plan_, plan_->frameCount()));
        if (status.ok()) outcome_.page = ExportOutcome::Page::Complete;
    }
    if (status.ok()) status = WriteFrames(worker);
    if (!status.ok()) {
        outcome_.end = ExportOutcome::End::Failed;
        outcome_.failure = status;
    } else {
        outcome_.end = outcome_.written < outcome_.total ? ExportOutcome::End::Stopped : ExportOutcome::End::Finished;
    }
    SettlePage();
    return Status::Ok();
}

// A page that lists frames that were never written shows holes: it is cut to the frames written,
// or removed when there are none.
void ExportPicture::SettlePage() {
    if (outcome_.page != ExportOutcome::Page::Complete || outcome_.written >= outcome_.total) return;
    if (outcome_.written > 0) {
        outcome_.pageFailure =
            WriteViewerPage(plan_->page->templatePath, plan_->directory, PageFacts(*plan_, outcome_.written));
        if (outcome_.pageFailure.ok()) outcome_.page = ExportOutcome::Page::Shortened;
    } else {
        outcome_.pageFailure = RemoveViewerPage(plan_->directory);
        if (outcome_.pageFailure.ok()) outcome_.page = ExportOutcome::Page::Removed;
    }
}

Status ExportPicture::WriteFrames(Worker& worker) {
    // Pipelined: sources decode ahead in the part their frames read, on a helper thread and, while
    // it would otherwise wait, on this one; frames render fused from those parts, and each frame's
    // file is written on a thread of its own while the next one renders.
    const Picture noPicture;
    // The frames being written and the next one rendering: the writer reads two while this thread
    // fills the third. The latest stays for the preview. (Declared before the writer, which must
    // end first.)
    Picture outputs[3];
    int current = 0;
    std::optional<SourceScheduler> sources;
    std::optional<PictureWriter> writer;
    // The decoding helper and the writers keep the cores busy: frames render on this thread alone.
    std::optional<InlineRows> inlineRows;
    if (options_.pipelined) {
        sources.emplace(kPlannedSourcesAhead);
        writer.emplace();
        inlineRows.emplace();
    }
    // Main files started and not yet known to be written, oldest first, so that a failed write
    // tells how many frames before it are complete (the writer keeps none started after it).
    std::deque<std::pair<int, std::string>> inFlight;
    // A write failed: frames from it on are gone, those before it are complete.
    auto writeFailed = [&](const Status& status) {
        int failed = inFlight.empty() ? outcome_.written + 1 : inFlight.front().first;
        for (const auto& [frame, path] : inFlight)
            if (path == status.file()) failed = frame;
        outcome_.written = failed - 1;
        inFlight.clear();
        return status;
    };
    auto written = [&] {
        Status status = writer ? writer->Wait() : Status::Ok();
        if (!status.ok()) return writeFailed(status);
        if (!inFlight.empty()) outcome_.written = inFlight.back().first;
        inFlight.clear();
        return status;
    };
    // Frame `frame` failed: what the writes before it did decides what is reported and kept.
    auto fail = [&](int frame, const Status& status) {
        Status earlier = written();
        if (!earlier.ok()) return earlier;
        outcome_.written = frame - 1;
        return status;
    };
    Picture extra;  // the extra sizes' frames; outputs keep the main one for the preview
    Picture loaded;
    JpegBuffer jpeg;
    ExportParams params;
    for (;;) {
        const Picture& latest = outputs[(current + 2) % 3];
        // A refused hand-over means the worker was stopped for a newer export: end here.
        if (!worker.handOver([&] { session_->HandOver(latest, params); })) return written();
        if (params.SourcePath.empty()) return written();
        const int frame = params.Frame;

        Status status = CheckFrameSizes(params);
        if (!status.ok()) return fail(frame, status);

        const Picture* decoded = &loaded;
        PictureArea where;
        if (sources) {
            sources->Plan(params.Upcoming);
            status = sources->Get(params.SourcePath, params, decoded, where);
        } else {
            status = LoadPicture(params.SourcePath, loaded);
        }
        if (status.code() == Status::Code::WrongFileType) {
            // The frame goes out in the background colour, so the viewer has no hole, and the end
            // of the export names it.
            outcome_.problems.push_back({frame, params.SourcePath});
            decoded = &noPicture;
            where = {};
        } else if (!status.ok()) {
            return fail(frame, status);
        }

        Picture& output = outputs[current];
        if (!sources) {
            RenderFrameStepByStep(*decoded, params, output);
            status = SavePicture(output, params.OutputPath, params.JpegQuality, jpeg);
            if (status.ok()) outcome_.written = frame - (params.Extras.empty() ? 0 : 1);
        } else if (!RenderFrameFused(*decoded, where, params, output)) {
            return fail(frame,
                        Status::Error(params.SourcePath, "the decoded part of the picture misses pixels of the frame"));
        } else {
            status = writer->Start(output, params.OutputPath, params.JpegQuality);
            // A refused start reports an earlier write's failure, once every write has ended.
            if (!status.ok()) return writeFailed(status);
            inFlight.emplace_back(frame, params.OutputPath);
        }
        if (!status.ok()) return fail(frame, status);
        current = (current + 1) % 3;

        for (const ExportParams::ExtraFrame& size : params.Extras) {
            const FrameParams sized = Resized(params, size);
            if (status = CheckFrameSizes(sized, size.OutputPath); !status.ok()) return fail(frame, status);
            if (status = MakeFolder(std::filesystem::path(size.OutputPath).parent_path()); !status.ok())
                return fail(frame, status);
            if (!sources) {
                RenderFrameStepByStep(*decoded, sized, extra);
            } else {
                // The part planned for this frame holds what every size reads: no second decode.
                if (decoded != &noPicture) {
                    status = sources->Get(params.SourcePath, sized, decoded, where);
                    if (!status.ok()) return fail(frame, status);
                }
                if (!RenderFrameFused(*decoded, where, sized, extra))
                    return fail(frame, Status::Error(params.SourcePath,
                                                     "the decoded part of the picture misses pixels of the frame"));
            }
            // The main frame's file comes first, as without the writer.
            if (status = written(); !status.ok()) return status;
            // Not complete until its last size is written.
            outcome_.written = frame - 1;
            status = SavePicture(extra, size.OutputPath, params.JpegQuality, jpeg);
            if (!status.ok()) return fail(frame, status);
        }
        if (!params.Extras.empty()) outcome_.written = frame;
    }
}

}  // namespace turnlet
