// SPDX-License-Identifier: MIT
// turnlet-export: exports a saved project as the editor's export dialog would, for batch work.
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "base/program_files.h"
#include "cli/cli_support.h"
#include "export/export_engine.h"
#include "export/viewer_page.h"
#include "project/project.h"
#include "session/make_export_plan.h"
#include "shell/export_fields.h"

namespace turnlet {
namespace {

const char kUsage[] =
    "Usage: turnlet-export PROJECT.trn.prj [--output DIR] [--smooth] [--extra-sizes] [--quiet]\n"
    "\n"
    "Exports the frames of a Turnlet project (and its HTML5 viewer page, when the project asks\n"
    "for one) exactly as the editor's Export dialog does. A missing export folder is created.\n"
    "\n"
    "  --output DIR    write into DIR instead of the project's export directory\n"
    "  --smooth        smooth resize: a smaller frame averages the area each of its pixels\n"
    "                  covers (as the project's EXPORT_SMOOTH=1 asks)\n"
    "  --extra-sizes   also write every frame at half and double size into half/ and double/\n"
    "                  for the viewer page (as EXPORT_EXTRA_SIZES=1 asks; JPEG and PNG only)\n"
    "  --quiet         no progress bar\n"
    "  --help          this text\n"
    "  --version       the version\n"
    "\n"
    "Exit status: 0 done, 1 the export failed or a frame came out blank, 2 usage error or\n"
    "unreadable project.\n";

// A progress bar on the terminal, and the outcome in words.
class TerminalObserver : public ExportObserver {
  public:
    TerminalObserver(int total, bool progress) : total_(total), progress_(progress) {}

    void exportProgress(int position) override {
        if (!progress_ || total_ <= 0 || position <= 0) return;
        const int width = 40;
        const int filled = static_cast<int>(static_cast<long long>(position) * width / total_);
        std::fprintf(stderr, "\r[%-*s] %d/%d", width, std::string(filled, '#').c_str(), position, total_);
        std::fflush(stderr);
        shown_ = true;
    }
    void exportPreview(const Picture&) override {}
    void exportPreviewCleared() override {}
    void exportEnded(const ExportOutcome& outcome) override {
        if (shown_) std::fputc('\n', stderr);
        shown_ = false;
        if (!outcome.succeeded())
            std::fprintf(stderr, "turnlet-export: %s\n", ExportOutcomeText(outcome, Language::English).c_str());
    }

  private:
    int total_;
    bool progress_;
    bool shown_ = false;
};

int Run(int argc, char** argv) {
    CommandLine line{"turnlet-export", kUsage, {"--quiet", "--smooth", "--extra-sizes"}, {"--output"}};
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
    auto plan = std::make_shared<ExportPlan>();
    if (Status status = MakeExportPlan(project, request, *plan); !status.ok()) {
        line.Error(line.argument + ": " + status.message());
        return kExitUsage;
    }
    if (request.extraSizes && !plan->page) {
        line.Error(
            "--extra-sizes: the project makes no viewer page (HTML5_VIEWER=0 or BMP), so no half- or "
            "double-size frames are written");
    }

    if (const std::vector<std::string> leftovers = LeftoverFrames(*plan); !leftovers.empty()) {
        line.Error("warning: " + plan->directory + " holds " + std::to_string(leftovers.size()) +
                   " frame files of an earlier export that this export does not replace (such as " + leftovers.front() +
                   ")");
    }

    TerminalObserver observer(plan->frameCount(), !line.has("--quiet") && isatty(STDERR_FILENO));
    auto session = std::make_shared<ExportSession>(observer, plan);
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
