// SPDX-License-Identifier: MIT
// The export: table of output frames, the per-frame hand-over of one export session, and the ExportPicture worker.
#include "export/export_engine.h"

#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <system_error>
#include <utility>

#include "base/messages.h"
#include "base/number_text.h"
#include "codecs/image_files.h"
#include "codecs/jpeg_io.h"
#include "base/parallel.h"
#include "codecs/picture_writer.h"
#include "render/source_scheduler.h"

namespace turnlet {

namespace {

std::int32_t Negated(std::int32_t value) {
    // -INT32_MIN does not fit; a shift that large is off any picture anyway.
    return value == std::numeric_limits<std::int32_t>::min() ? std::numeric_limits<std::int32_t>::max() : -value;
}

std::string FrameFileName(std::int32_t number) {
    char text[16];
    std::snprintf(text, sizeof text, "%04" PRId32, number);
    return text;
}

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

// The folder a file goes into, made if missing (its parent must exist, as the export folder must).
Status MakeFolderOf(const std::string& file) {
    const std::filesystem::path folder = std::filesystem::path(file).parent_path();
    std::error_code error;
    if (std::filesystem::is_directory(folder, error)) return Status::Ok();
    std::filesystem::create_directory(folder, error);
    if (error) return Status::Error(folder.string(), error.message());
    return Status::Ok();
}

}  // namespace

std::int32_t HalfFrameSize(std::int32_t size) {
    return size <= 1 ? 1 : static_cast<std::int32_t>((std::int64_t{size} + 1) / 2);
}

std::int32_t DoubleFrameSize(std::int32_t size) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(std::int64_t{size} * 2, 0, INT32_MAX));
}

Status CheckExportFrames(int n) {
    if (n >= 1 && n <= kMaxExportFrames) return Status::Ok();
    return Status::Error({}, std::to_string(n) + " is not a number of frames an export can make (1 to " +
                                 std::to_string(kMaxExportFrames) + ")");
}

int ExportSourceFrame(int k, int n, int m) {
    if (n <= 1) return 0;
    // 64-bit product: identical to 32-bit arithmetic wherever that does not overflow.
    return static_cast<int>(static_cast<std::int64_t>(k) * (m - 1) / (n - 1));
}

TextGrid BuildExportTable(int n, const TextGrid& frames, const std::vector<std::string>& sources, int firstFrame) {
    if (n > kMaxExportFrames) n = kMaxExportFrames;
    TextGrid table(kExportColumns, n < 0 ? 0 : n + 1);
    const int m = frames.rowCount() - 1;
    for (int k = 0; k < n; ++k) {
        const int s = ExportSourceFrame(k, n, m);
        const long long index = static_cast<long long>(firstFrame) + s;
        if (index >= 0 && index < static_cast<long long>(sources.size()))
            table.set(k + 1, kExportSource, sources[index]);
        for (int c = kExportDX; c <= kExportGamma; ++c) table.set(k + 1, c, frames.at(s + 1, c + 1));
    }
    return table;
}

std::string ExportExtension(int typeIndex) {
    switch (typeIndex) {
        case 1:
            return ".png";
        case 2:
            return ".bmp";
        default:
            return ".jpg";
    }
}

ExportSession::ExportSession(ExportHost& host, ExportObserver& observer, TextGrid table, bool extraSizes)
    : host_(host), observer_(observer), table_(std::move(table)), extraSizes_(extraSizes) {
    const int rows = table_.rowCount();
    nextSourceRow_.assign(rows > 0 ? rows : 0, 0);
    for (int r = rows - 2; r >= 1; --r) {
        const bool differs = table_.at(r + 1, kExportSource) != table_.at(r, kExportSource);
        nextSourceRow_[r] = differs ? r + 1 : nextSourceRow_[r + 1];
    }
}

void ExportSession::Stop() {
    if (retired_) return;
    stopped_ = true;
    counter_ = kStopped;
    observer_.exportProgress(0);
}

void ExportSession::Retire() {
    stopped_ = true;
    retired_ = true;
}

void ExportSession::FillFrame(int r, const ExportInputs& in, FrameParams& params) const {
    // Crop, output size and quality are read afresh for every frame, so edits apply to the rest.
    const auto& crop = in.cropTexts;
    if (!crop[0].empty() && !crop[1].empty() && !crop[2].empty() && !crop[3].empty()) {
        params.CropLeft = IntegerOr(crop[0], 0);
        params.CropTop = IntegerOr(crop[1], 0);
        params.CropWidth = IntegerOr(crop[2], 100);
        params.CropHeight = IntegerOr(crop[3], 100);
    } else {
        params.CropLeft = 0;
        params.CropTop = 0;
        params.CropWidth = in.previewWidth;
        params.CropHeight = in.previewHeight;
    }
    params.Angle = -ParseLeadingReal(table_.at(r, kExportAngle));
    params.Scale = -ParseLeadingReal(table_.at(r, kExportScale));
    params.Brightness = ParseLeadingReal(table_.at(r, kExportBrightness));
    params.Contrast = ParseLeadingReal(table_.at(r, kExportContrast));
    params.Gamma = ParseLeadingReal(table_.at(r, kExportGamma));
    params.OutputWidth = IntegerOr(in.outputWidthText, 200);
    params.OutputHeight = IntegerOr(in.outputHeightText, 200);
    params.RotationDegrees = in.rotationDegrees;
    params.BackgroundColor = in.backgroundColor;
    params.Smooth = in.smooth;
}

void ExportSession::PlanAhead(int r, const ExportInputs& in, ExportParams& params) const {
    params.Upcoming.clear();
    const int frames = table_.rowCount() - 1;
    for (int run = 0, first = r; run <= kPlannedSourcesAhead && first >= 1 && first <= frames; ++run) {
        SourcePlan& plan = params.Upcoming.emplace_back();
        plan.path = table_.at(first, kExportSource);
        const int next = nextSourceRow_[first];
        const int end = next > 0 ? next : frames + 1;
        for (int row = first; row < end && row < first + kPlannedFramesPerSource; ++row) {
            FrameParams frame;
            FillFrame(row, in, frame);
            frame.ShiftX = Negated(CellAsInteger(table_.at(row, kExportDX)));
            frame.ShiftY = Negated(CellAsInteger(table_.at(row, kExportDY)));
            // The extra sizes render from the same decode, so it must hold what they read too.
            if (extraSizes_) {
                for (const ExportParams::ExtraFrame& extra : ExtraFrames(frame, {}, {}))
                    plan.frames.push_back(Resized(frame, extra));
            }
            plan.frames.push_back(frame);
        }
        first = next;
    }
}

void ExportSession::HandOver(const Picture& output, ExportParams& params) {
    params.SourcePath.clear();
    params.NextSourcePath.clear();
    params.Upcoming.clear();
    params.Extras.clear();
    if (retired_) return;
    const ExportInputs in = host_.inputs();
    const std::int32_t c = counter_;
    const int r = c + 1;

    FillFrame(r, in, params);
    params.JpegQuality = in.jpegQuality;

    // Stopped is its own flag: the counter's stop value may also be a real frame number.
    const int frames = table_.rowCount() - 1;
    if (stopped_) return;
    if (c < frames) {
        params.SourcePath = table_.at(r, kExportSource);
        if (const int next = nextSourceRow_[r]; next > 0) params.NextSourcePath = table_.at(next, kExportSource);
        params.ShiftX = Negated(CellAsInteger(table_.at(r, kExportDX)));
        params.ShiftY = Negated(CellAsInteger(table_.at(r, kExportDY)));
        const std::string fileName = FrameFileName(c + 1) + ExportExtension(in.typeIndex);
        params.OutputPath = in.directory + "/" + fileName;
        if (extraSizes_) params.Extras = ExtraFrames(params, in.directory, fileName);
        PlanAhead(r, in, params);
        counter_ = c + 1;
        observer_.exportProgress(c + 1);
        observer_.exportPreview(output);
        return;
    }
    if (c == frames) {
        counter_ = c + 1;
        const char* text = TextFor(ShownText::ExportFinished, in.languageCode);
        observer_.exportFinished(text ? text : "");
        // The message may have let a new export replace this one meanwhile; its bar is not ours.
        if (retired_) return;
        observer_.exportProgress(0);
        observer_.exportPreviewCleared();
    }
}

void ExportSession::ShowWrongFileType(const std::string& path) {
    if (!retired_) observer_.exportWrongFileType(path, kWrongFileType);
}

void ExportSession::Ended(const Status& status) {
    if (!status.ok() && !retired_) observer_.exportFailed(status);
}

ExportPicture::ExportPicture(std::shared_ptr<ExportSession> session, PostToOwner post, ExportOptions options,
                             Ended ended)
    : session_(std::move(session)),
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

Status ExportPicture::Wait() {
    if (!started_) return Status::Ok();
    std::unique_lock lock(mutex_);
    delivered_.wait(lock, [this] { return outcome_.has_value(); });
    return *outcome_;
}

// Worker thread, once the worker is idle again.
void ExportPicture::Delivered(const Status& status) {
    if (post_) {
        post_([session = session_, ended = ended_, status] {
            session->Ended(status);
            if (ended) ended(status);
        });
    } else {
        session_->Ended(status);
        if (ended_) ended_(status);
    }
    std::lock_guard lock(mutex_);
    outcome_ = status;
    delivered_.notify_all();
}

Status ExportPicture::Execute(Worker& worker) {
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
    // How the write in flight went (Ok when there is none): a frame counts as done only once written.
    auto written = [&] { return writer ? writer->Wait() : Status::Ok(); };
    // A failure of the frame before, still being written, happened first: it is the one to report.
    auto fail = [&](const Status& status) {
        Status earlier = written();
        return earlier.ok() ? status : earlier;
    };
    Picture extra;  // the extra sizes' frames; outputs keep the main one for the preview
    Picture loaded;
    JpegBuffer jpeg;
    ExportParams params;
    const int frameCount = session_->table().rowCount() - 1;
    for (int started = 0;; ++started) {
        // The message that the export is done must follow the last file.
        if (started == frameCount) {
            if (Status status = written(); !status.ok()) return status;
        }
        const Picture& latest = outputs[(current + 2) % 3];
        // A refused hand-over means the worker was stopped for a newer export: end here.
        if (!worker.handOver([&] { session_->HandOver(latest, params); })) return written();
        if (params.SourcePath.empty()) return written();

        Status status = CheckFrameSizes(params);
        if (!status.ok()) return fail(status);

        const Picture* decoded = &loaded;
        PictureArea where;
        if (sources) {
            sources->Plan(params.Upcoming);
            status = sources->Get(params.SourcePath, params, decoded, where);
        } else {
            status = LoadPicture(params.SourcePath, loaded);
        }
        if (status.code() == Status::Code::WrongFileType) {
            // The frame goes out in the background colour and the export goes on.
            const std::string path = params.SourcePath;
            worker.handOver([&] { session_->ShowWrongFileType(path); });
            decoded = &noPicture;
            where = {};
        } else if (!status.ok()) {
            return fail(status);
        }

        Picture& output = outputs[current];
        if (!sources) {
            RenderFrameStepByStep(*decoded, params, output);
            status = SavePicture(output, params.OutputPath, params.JpegQuality, jpeg);
        } else if (!RenderFrameFused(*decoded, where, params, output)) {
            return fail(Status::Error(params.SourcePath, "the decoded part of the picture misses pixels of the frame"));
        } else {
            status = writer->Start(output, params.OutputPath, params.JpegQuality);
        }
        if (!status.ok()) return fail(status);
        current = (current + 1) % 3;

        for (const ExportParams::ExtraFrame& size : params.Extras) {
            const FrameParams frame = Resized(params, size);
            if (status = CheckFrameSizes(frame, size.OutputPath); !status.ok()) return fail(status);
            if (status = MakeFolderOf(size.OutputPath); !status.ok()) return fail(status);
            if (!sources) {
                RenderFrameStepByStep(*decoded, frame, extra);
            } else {
                // The part planned for this frame holds what every size reads: no second decode.
                if (decoded != &noPicture) {
                    status = sources->Get(params.SourcePath, frame, decoded, where);
                    if (!status.ok()) return fail(status);
                }
                if (!RenderFrameFused(*decoded, where, frame, extra))
                    return fail(
                        Status::Error(params.SourcePath, "the decoded part of the picture misses pixels of the frame"));
            }
            // The main frame's file comes first, as without the writer.
            if (status = written(); !status.ok()) return status;
            status = SavePicture(extra, size.OutputPath, params.JpegQuality, jpeg);
            if (!status.ok()) return fail(status);
        }
    }
}

}  // namespace turnlet
