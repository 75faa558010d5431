// SPDX-License-Identifier: MIT
// turnlet-export: exports a saved project as the editor's export dialog would, for batch work.
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <tuple>

#include "base/program_files.h"
#include "cli/cli_support.h"
#include "export/export_engine.h"
#include "export/turn_video.h"
#include "export/viewer_page.h"
#include "project/project.h"
#include "session/make_export_plan.h"
#include "shell/export_fields.h"

namespace turnlet {
namespace {

const char kUsage[] =
    "Usage: turnlet-export PROJECT.trn.prj [--output DIR] [--smooth] [--extra-sizes] [--zoom-set]\n"
    "                      [--mp4] [--animated-webp] [--ffmpeg PROGRAM] [--quiet]\n"
    "\n"
    "Exports the frames of a Turnlet project (and its HTML5 viewer page, when the project asks\n"
    "for one) exactly as the editor's Export dialog does. A missing export folder is created.\n"
    "\n"
    "  --output DIR    write into DIR instead of the project's export directory\n"
    "  --smooth        smooth resize: a smaller frame averages the area each of its pixels\n"
    "                  covers (as the project's EXPORT_SMOOTH=1 asks)\n"
    "  --extra-sizes   also write every frame at half and double size into half/ and double/\n"
    "                  for the viewer page (as EXPORT_EXTRA_SIZES=1 asks; not for BMP)\n"
    "  --zoom-set      also write every frame at the crop's full resolution into zoom/, which\n"
    "                  the viewer page fetches only for views zoomed in that far (as\n"
    "                  EXPORT_ZOOM_SET=1 asks; not for BMP)\n"
    "  --mp4           also make turn.mp4, a video of one turn (H.264, made by FFmpeg; as\n"
    "                  EXPORT_MP4=1 asks)\n"
    "  --animated-webp also make turn.webp, an animated WebP of one turn (as\n"
    "                  EXPORT_ANIMATED_WEBP=1 asks)\n"
    "  --ffmpeg PROGRAM  the FFmpeg program for --mp4 (default: ffmpeg on the PATH)\n"
    "  --quiet         no progress bar\n"
    "  --help          this text\n"
    "  --version       the version\n"
    "\n"
    "Ctrl+C stops after the frames in hand: the frames written are kept and the page is cut to\n"
    "them, as the editor's Stop does.\n"
    "\n"
    "Exit status: 0 done, 1 the export failed, was stopped or a frame came out blank, 2 usage\n"
    "error or unreadable project.\n";

// A progress bar on the terminal, the outcome in words, and Stop once stop is cancelled.
class TerminalObserver : public ExportObserver {
  public:
    TerminalObserver(int total, bool progress, const CancelToken& stop)
        : total_(total), progress_(progress), stop_(stop) {}
    void attach(ExportSession* session) { session_ = session; }

    void exportProgress(int position) override {
        StopWhenAsked();
        if (!progress_ || total_ <= 0 || position <= 0) return;
        const int width = 40;
        const int filled = static_cast<int>(static_cast<long long>(position) * width / total_);
        std::fprintf(stderr, "\r[%-*s] %d/%d", width, std::string(filled, '#').c_str(), position, total_);
        std::fflush(stderr);
        shown_ = true;
    }
    void exportPreview(const Picture&) override {}
    void exportPreviewCleared() override {}
    void exportVideoProgress(const std::string& video, int done, int total) override {
        StopWhenAsked();
        if (!progress_ || total <= 0) return;
        const std::string name = video.substr(video.find_last_of('/') + 1);
        std::fprintf(stderr, "\r%-16s %d/%d%*s", name.c_str(), done, total, 30, "");
        std::fflush(stderr);
        shown_ = true;
    }
    void exportEnded(const ExportOutcome& outcome) override {
        if (shown_) std::fputc('\n', stderr);
        shown_ = false;
        if (!outcome.succeeded())
            std::fprintf(stderr, "turnlet-export: %s\n", ExportOutcomeText(outcome, Language::English).c_str());
    }

  private:
    void StopWhenAsked() {
        if (session_ && stop_.cancelled() && !session_->stopped()) session_->Stop();
    }

    int total_;
    bool progress_;
    CancelToken stop_;
    ExportSession* session_ = nullptr;
    bool shown_ = false;
};

int Run(int argc, char** argv) {
    CommandLine line{"turnlet-export",
                     kUsage,
                     {"--quiet", "--smooth", "--extra-sizes", "--zoom-set", "--mp4", "--animated-webp"},
                     {"--output", "--ffmpeg"}};
    if (const int parsed = line.Parse(argc, argv); parsed >= 0) return parsed;
    Project project;
    if (const int opened = OpenCommandLineProject(line, project); opened >= 0) return opened;

    ExportPlanRequest request;
    // Without a crop the area is the first source as the editor shows it after opening; only its
    // size is needed here, its pixels are decoded by the export.
    if (Status status = TurnedSourceSize(project, request.pictureWidth, request.pictureHeight); !status.ok()) {
        line.Error(Describe(status));
        return kExitFailed;
    }
    request.templatePath = ResourceDirectory(ExecutableDirectory()) + "/" + kViewerTemplateName;
    if (line.values.count("--output")) request.directory = line.value("--output");
    request.smooth = line.has("--smooth");
    request.extraSizes = line.has("--extra-sizes");
    request.zoomSet = line.has("--zoom-set");
    request.videoMp4 = line.has("--mp4");
    request.animatedWebp = line.has("--animated-webp");
    request.ffmpegPath = line.value("--ffmpeg");
    auto plan = std::make_shared<ExportPlan>();
    if (Status status = MakeExportPlan(project, request, *plan); !status.ok()) {
        line.Error(line.argument + ": " + status.message());
        return kExitUsage;
    }
    // The extra sets belong to the page; the videos need none.
    for (const auto& [asked, flag, what] :
         {std::tuple{request.extraSizes, "--extra-sizes", "no half- or double-size frames are"},
          std::tuple{request.zoomSet, "--zoom-set", "no zoom set is"}}) {
        if (asked && !plan->page)
            line.Error(std::string(flag) + ": the project makes no viewer page (HTML5_VIEWER=0 or BMP), so " + what +
                       " written");
    }
    // Said before the frames, not only after them: the MP4 will fail at the end.
    if (plan->videoMp4 && FindFfmpeg(plan->ffmpegPath).empty()) {
        line.Error(
            "warning: the MP4 video needs FFmpeg, but " +
            (plan->ffmpegPath.empty() ? std::string("\"ffmpeg\" is not on the PATH")
                                      : plan->ffmpegPath + " cannot be run") +
            ": install FFmpeg (apt install ffmpeg) or give it with --ffmpeg; the frames are exported, the MP4 is not");
    }

    if (const std::vector<std::string> leftovers = LeftoverFrames(*plan); !leftovers.empty()) {
        line.Error("warning: " + plan->directory + " holds " + std::to_string(leftovers.size()) +
                   " frame files of an earlier export that this export does not replace (such as " + leftovers.front() +
                   ")");
    }

    CancelToken stop;
    TerminalObserver observer(plan->frameCount(), !line.has("--quiet") && isatty(STDERR_FILENO), stop);
    auto session = std::make_shared<ExportSession>(observer, plan);
    observer.attach(session.get());
    const StopOnSignals signals(stop);
    ExportPicture worker(session, {});
    worker.Start();
    const ExportOutcome outcome = worker.Wait();
    if (!outcome.succeeded()) return kExitFailed;
    if (!line.has("--quiet")) std::printf("Exported %d frames to %s\n", outcome.written, plan->directory.c_str());
    return kExitOk;
}

}  // namespace
}  // namespace turnlet

int main(int argc, char** argv) {
    return turnlet::RunCommandLine("turnlet-export", [&] { return turnlet::Run(argc, argv); });
}
