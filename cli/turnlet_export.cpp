// SPDX-License-Identifier: MIT
// turnlet-export: exports a saved project as the editor's export dialog would, for batch work.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "export/export_engine.h"
#include "export/viewer_page.h"
#include "imaging/image_files.h"
#include "project/project.h"
#include "base/number_text.h"

namespace turnlet {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "Usage: turnlet-export PROJECT.trn.prj [--output DIR] [--quiet]\n"
    "\n"
    "Exports the frames of a Turnlet project (and its HTML5 viewer page, when the project asks\n"
    "for one) exactly as the editor's Export dialog does.\n"
    "\n"
    "  --output DIR  write into DIR instead of the project's export directory\n"
    "  --quiet       no progress bar\n"
    "  --help        this text\n"
    "\n"
    "Exit status: 0 done, 1 the export failed, 2 usage error or unreadable project.\n";

std::string ProgramDirectory() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string(".") : self.parent_path().string();
}

// The windows' state as the editor has it right after opening the project and the export dialog.
class CommandLineHost : public ExportHost {
  public:
    CommandLineHost(const Project& project, int previewWidth, int previewHeight, std::string directory, bool progress)
        : project_(project),
          previewWidth_(previewWidth),
          previewHeight_(previewHeight),
          directory_(std::move(directory)),
          progress_(progress) {}

    std::string cropText(int index) const override {
        const CropTexts& c = project_.crop;
        const std::string* texts[] = {&c.left, &c.top, &c.width, &c.height};
        return *texts[index];
    }
    int previewWidth() const override { return previewWidth_; }
    int previewHeight() const override { return previewHeight_; }
    std::string outputWidthText() const override { return widthText_; }
    std::string outputHeightText() const override { return heightText_; }
    int jpegQuality() const override { return project_.exportSettings.jpegQuality; }
    std::string directory() const override { return directory_; }
    int typeIndex() const override { return project_.exportSettings.typeIndex; }
    int rotationDegrees() const override { return project_.rotationDegrees(); }
    Color backgroundColor() const override { return project_.backgroundColor; }
    std::string languageCode() const override { return "en"; }

    void setProgress(int position) override {
        if (!progress_ || total_ <= 0 || position <= 0) return;
        const int width = 40;
        const int filled = static_cast<int>(static_cast<long long>(position) * width / total_);
        std::fprintf(stderr, "\r[%-*s] %d/%d", width, std::string(filled, '#').c_str(), position, total_);
        std::fflush(stderr);
    }
    void showPreview(const Picture&) override {}
    void clearPreview() override {}
    void showFinished(const std::string&) override {
        if (progress_) std::fputc('\n', stderr);
        finished_ = true;
    }
    void showWrongFileType(const std::string& path) override {
        EndProgressLine();
        std::fprintf(stderr, "turnlet-export: %s: Wrong file type! (frame written in the background colour)\n",
                     path.c_str());
    }
    void showFailure(const Status& status) override {
        EndProgressLine();
        std::fprintf(stderr, "turnlet-export: %s\n", status.message().c_str());
    }

    // The dialog's FormShow: an empty width or height field makes both the area's size.
    void ShowDialog(int areaWidth, int areaHeight) {
        widthText_ = project_.exportSettings.widthText;
        heightText_ = project_.exportSettings.heightText;
        if (widthText_.empty() || heightText_.empty()) {
            widthText_ = std::to_string(areaWidth);
            heightText_ = std::to_string(areaHeight);
        }
    }
    void SetTotal(int total) { total_ = total; }
    bool finished() const { return finished_; }
    const std::string& widthText() const { return widthText_; }
    const std::string& heightText() const { return heightText_; }

  private:
    void EndProgressLine() {
        if (progress_) std::fputc('\n', stderr);
    }

    const Project& project_;
    int previewWidth_;
    int previewHeight_;
    std::string directory_;
    bool progress_;
    std::string widthText_;
    std::string heightText_;
    int total_ = 0;
    bool finished_ = false;
};

int Run(int argc, char** argv) {
    std::string projectPath;
    std::string outputDir;
    bool quiet = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return kExitOk;
        } else if (arg == "--quiet" || arg == "-q") {
            quiet = true;
        } else if (arg == "--output" || arg == "-o") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "turnlet-export: %s needs a folder\n\n%s", arg.c_str(), kUsage);
                return kExitUsage;
            }
            outputDir = argv[++i];
        } else if (arg.rfind("--output=", 0) == 0) {
            outputDir = arg.substr(9);
        } else if (!arg.empty() && arg[0] == '-') {
            std::fprintf(stderr, "turnlet-export: unknown option %s\n\n%s", arg.c_str(), kUsage);
            return kExitUsage;
        } else if (projectPath.empty()) {
            projectPath = arg;
        } else {
            std::fprintf(stderr, "turnlet-export: only one project at a time (%s)\n\n%s", arg.c_str(), kUsage);
            return kExitUsage;
        }
    }
    if (projectPath.empty()) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }

    const std::string programDir = ProgramDirectory();
    Project project;
    project.programDir = programDir;
    New(project);
    if (Status status = OpenProject(project, projectPath); !status.ok()) {
        std::fprintf(stderr, "turnlet-export: %s\n", status.message().c_str());
        return kExitUsage;
    }
    if (project.sources.empty()) {
        std::fprintf(stderr, "turnlet-export: %s: the project has no source images\n", projectPath.c_str());
        return kExitUsage;
    }

    // What Open shows in the source preview: source item 0, quarter-turned. Its size stands in
    // for an unset crop.
    Picture preview;
    const bool cropSet = project.crop.allSet();
    if (!cropSet || project.exportSettings.widthText.empty() || project.exportSettings.heightText.empty()) {
        if (Status status = LoadPicture(project.sources[0], preview); !status.ok()) {
            std::fprintf(stderr, "turnlet-export: %s\n", status.message().c_str());
            return kExitFailed;
        }
    }
    const bool sideways = project.rotationDegrees() == 90 || project.rotationDegrees() == 270;
    const int previewWidth = sideways ? preview.height() : preview.width();
    const int previewHeight = sideways ? preview.width() : preview.height();

    // The area rectangle the dialog uses for its size fields.
    const CropTexts& crop = project.crop;
    const int areaWidth = crop.width.empty() ? previewWidth : IntegerOr(crop.width, 200);
    const int areaHeight = crop.height.empty() ? previewHeight : IntegerOr(crop.height, 200);

    const std::string directory = outputDir.empty() ? project.exportSettings.directory : outputDir;
    if (!outputDir.empty()) {
        std::error_code error;
        std::filesystem::create_directories(directory, error);
        if (error) {
            std::fprintf(stderr, "turnlet-export: %s: %s\n", directory.c_str(), error.message().c_str());
            return kExitFailed;
        }
    }

    CommandLineHost host(project, previewWidth, previewHeight, directory, !quiet && isatty(STDERR_FILENO));
    host.ShowDialog(areaWidth, areaHeight);

    const int n = IntegerOr(project.exportSettings.framesText, 100);
    if (n < 1) {
        std::fprintf(stderr, "turnlet-export: %s: EXPORT_FRAMES=%s asks for no frames\n", projectPath.c_str(),
                     project.exportSettings.framesText.c_str());
        return kExitUsage;
    }
    ExportSession session(host);
    session.Begin(BuildExportTable(n, project.frames, project.sources, project.firstFrame));
    host.SetTotal(n);

    if (project.exportSettings.html5Viewer && project.exportSettings.typeIndex != 2) {
        ViewerPageFacts facts{
            n, project.exportSettings.typeIndex, host.widthText(), host.heightText(), areaWidth, areaHeight};
        if (Status status = WriteViewerPage(programDir + "/" + kViewerTemplateName, directory, facts); !status.ok()) {
            std::fprintf(stderr, "turnlet-export: %s\n", status.message().c_str());
            return kExitFailed;
        }
    }

    ExportPicture worker(session, {});
    worker.Start();
    worker.Wait();
    if (worker.failed() || !host.finished()) return kExitFailed;
    if (!quiet) {
        std::printf("Exported %d frames to %s\n", n, directory.c_str());
    }
    return kExitOk;
}

}  // namespace
}  // namespace turnlet

int main(int argc, char** argv) {
    return turnlet::Run(argc, argv);
}
