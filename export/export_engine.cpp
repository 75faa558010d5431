// SPDX-License-Identifier: MIT
// Running a frozen export plan: the per-frame hand-over of one export session and the ExportPicture worker.
#include "export/export_engine.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <system_error>
#include <utility>

#include "base/parallel.h"
#include "codecs/image_files.h"
#include "codecs/jpeg_io.h"
#include "codecs/picture_writer.h"
#include "export/turn_video.h"
#include "export/viewer_page.h"
#include "render/source_scheduler.h"

namespace turnlet {

namespace {

// The extra sets' frames of a frame of the given size, written as fileName into the sub-folders.
std::vector<ExportParams::ExtraFrame> ExtraFrames(const ExportPlan& plan, const FrameParams& frame,
                                                  const std::string& directory, const std::string& fileName) {
    std::vector<ExportParams::ExtraFrame> extras;
    if (plan.extraSizes) {
        extras.push_back({HalfFrameSize(frame.OutputWidth), HalfFrameSize(frame.OutputHeight),
                          directory + "/" + kHalfSizeFolder + "/" + fileName});
        extras.push_back({DoubleFrameSize(frame.OutputWidth), DoubleFrameSize(frame.OutputHeight),
                          directory + "/" + kDoubleSizeFolder + "/" + fileName});
    }
    if (const ZoomSize zoom = ZoomFrameSize(plan); !zoom.empty())
        extras.push_back({zoom.width, zoom.height, directory + "/" + kZoomFolder + "/" + fileName});
    return extras;
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
    const ZoomSize zoom = ZoomFrameSize(plan);
    return {frames, plan.typeIndex, plan.outputWidth, plan.outputHeight, plan.extraSizes, zoom.width, zoom.height};
}

}  // namespace

std::int32_t HalfFrameSize(std::int32_t size) {
    return size <= 1 ? 1 : static_cast<std::int32_t>((std::int64_t{size} + 1) / 2);
}

std::int32_t DoubleFrameSize(std::int32_t size) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(std::int64_t{size} * 2, 0, INT32_MAX));
}

ZoomSize ZoomFrameSize(const ExportPlan& plan) {
    if (!plan.zoomSet || plan.outputWidth <= 0 || plan.outputHeight <= 0) return {};
    const double factor = std::max(static_cast<double>(plan.cropWidth) / plan.outputWidth,
                                   static_cast<double>(plan.cropHeight) / plan.outputHeight);
    const double width = std::round(plan.outputWidth * factor), height = std::round(plan.outputHeight * factor);
    const std::int32_t largest = plan.extraSizes ? DoubleFrameSize(plan.outputWidth) : plan.outputWidth;
    // A size no picture could have is left to CheckFrameSizes, which names it.
    if (!(width > largest) || width > INT32_MAX || height > INT32_MAX) return {};
    return {static_cast<std::int32_t>(width), static_cast<std::int32_t>(height)};
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
            for (const ExportParams::ExtraFrame& extra : ExtraFrames(*plan_, frame, {}, {}))
                plan.frames.push_back(Resized(frame, extra));
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
    params.Extras = ExtraFrames(*plan_, params, plan_->directory, fileName);
    PlanAhead(c, params);
    counter_ = c + 1;
    observer_.exportProgress(c + 1);
    observer_.exportPreview(output);
}

bool ExportSession::VideoProgress(const std::string& video, int done, int total) {
    if (stopped_) return false;
    observer_.exportVideoProgress(video, done, total);
    return true;
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
    if (outcome_.end == ExportOutcome::End::Finished) MakeVideos(worker);
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

void ExportPicture::MakeVideos(Worker& worker) {
    using Writer = Status (*)(const TurnVideo&, const VideoStep&, bool&);
    const struct {
        bool wanted;
        const char* name;
        Writer write;
    } videos[] = {{plan_->videoMp4, kTurnMp4Name, WriteTurnMp4}, {plan_->animatedWebp, kTurnWebpName, WriteTurnWebp}};
    TurnVideo video;
    for (int k = 0; k < plan_->frameCount(); ++k) video.frames.push_back(plan_->directory + "/" + plan_->FileName(k));
    video.turnSeconds = plan_->videoSeconds > 0 ? plan_->videoSeconds : 8;
    video.quality = plan_->jpegQuality;
    video.ffmpegPath = plan_->ffmpegPath;
    for (const auto& kind : videos) {
        if (!kind.wanted) continue;
        video.output = plan_->directory + "/" + kind.name;
        // Each step is a hand-over: the progress shows on the owner's thread, and Stop is seen there.
        const VideoStep step = [&](int done, int total) {
            bool going = false;
            return worker.handOver([&] { going = session_->VideoProgress(video.output, done, total); }) && going;
        };
        bool stopped = false;
        const Status status = kind.write(video, step, stopped);
        if (stopped) {
            outcome_.end = ExportOutcome::End::Stopped;
            outcome_.videoFailure = Status::Error(video.output, "stopped before it was finished");
            return;
        }
        if (status.ok()) {
            outcome_.videos.push_back(video.output);
        } else if (outcome_.videoFailure.ok()) {
            // One video that cannot be made (no FFmpeg) does not keep the other from being made.
            outcome_.videoFailure = status;
        }
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
    Picture extra;  // the extra sizes' frames, step by step; outputs keep the main one for the preview
    // Written by the writer: two of each size, so one renders while the other may still be written
    // (a main frame's write always starts between the two). A deque: growing it moves none.
    std::deque<std::array<Picture, 2>> extras;
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

        for (std::size_t e = 0; e < params.Extras.size(); ++e) {
            const ExportParams::ExtraFrame& size = params.Extras[e];
            const FrameParams sized = Resized(params, size);
            if (status = CheckFrameSizes(sized, size.OutputPath); !status.ok()) return fail(frame, status);
            if (status = MakeFolder(std::filesystem::path(size.OutputPath).parent_path()); !status.ok())
                return fail(frame, status);
            if (!sources) {
                RenderFrameStepByStep(*decoded, sized, extra);
                // Not complete until its last size is written.
                outcome_.written = frame - 1;
                status = SavePicture(extra, size.OutputPath, params.JpegQuality, jpeg);
                if (!status.ok()) return fail(frame, status);
                continue;
            }
            // The part planned for this frame holds what every size reads: no second decode.
            if (decoded != &noPicture) {
                status = sources->Get(params.SourcePath, sized, decoded, where);
                if (!status.ok()) return fail(frame, status);
            }
            if (extras.size() <= e) extras.resize(e + 1);
            Picture& target = extras[e][static_cast<std::size_t>(frame) % 2];
            if (!RenderFrameFused(*decoded, where, sized, target))
                return fail(frame, Status::Error(params.SourcePath,
                                                 "the decoded part of the picture misses pixels of the frame"));
            // Encoded beside the main frames (AVIF's take long), complete with its frame once every
            // write started before a wait has ended.
            status = writer->Start(target, size.OutputPath, params.JpegQuality);
            if (!status.ok()) return writeFailed(status);
            inFlight.emplace_back(frame, size.OutputPath);
        }
        if (!sources && !params.Extras.empty()) outcome_.written = frame;
    }
}

}  // namespace turnlet
