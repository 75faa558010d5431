// SPDX-License-Identifier: MIT
// turnlet-export: exports a saved project as the editor's export dialog would, for batch work.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <system_error>
#include <vector>

#include "base/messages.h"
#include "base/version.h"
#include "base/number_text.h"
#include "export/export_engine.h"
#include "export/viewer_page.h"
#include "codecs/image_files.h"
#include "project/project.h"

namespace turnlet {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "Usage: turnlet-export PROJECT.trn.prj [--output DIR] [--smooth] [--extra-sizes] [--quiet]\n"
    "\n"
    "Exports the frames of a Turnlet project (and its HTML5 viewer page, when the project asks\n"
    "for one) exactly as the editor's Export dialog does.\n"
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
    "Exit status: 0 done, 1 the export failed, 2 usage error or unreadable project.\n";

std::string ProgramDirectory() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string(".") : self.parent_path().string();
}

// Beside the program (a build or a portable copy), else where an installation puts it.
std::string ViewerTemplatePath(const std::string& programDir) {
    const std::string beside = programDir + "/" + kViewerTemplateName;
    const std::string installed = programDir + "/../share/turnlet/" + kViewerTemplateName;
    std::error_code error;
    return !std::filesystem::exists(beside, error) && std::filesystem::exists(installed, error) ? installed : beside;
}

// The windows' state as the editor has it right after opening the project and the export dialog.
class CommandLineHost : public ExportHost, public ExportObserver {
  public:
    CommandLineHost(const Project& project, int previewWidth, int previewHeight, std::string directory, bool progress)
        : project_(project), progress_(progress) {
        const CropTexts& c = project.crop;
        inputs_.cropTexts = {c.left, c.top, c.width, c.height};
        inputs_.previewWidth = previewWidth;
        inputs_.previewHeight = previewHeight;
        inputs_.jpegQuality = project.exportSettings.jpegQuality;
        inputs_.typeIndex = project.exportSettings.typeIndex;
        inputs_.directory = std::move(directory);
        inputs_.rotationDegrees = project.rotationDegrees();
        inputs_.backgroundColor = project.backgroundColor;
        inputs_.smooth = project.exportSettings.smooth;
        inputs_.languageCode = "en";
    }

    ExportInputs inputs() const override { return inputs_; }

    void exportProgress(int position) override {
        if (!progress_ || total_ <= 0 || position <= 0) return;
        const int width = 40;
        const int filled = static_cast<int>(static_cast<long long>(position) * width / total_);
        std::fprintf(stderr, "\r[%-*s] %d/%d", width, std::string(filled, '#').c_str(), position, total_);
        std::fflush(stderr);
    }
    void exportPreview(const Picture&) override {}
    void exportPreviewCleared() override {}
    void exportFinished(const std::string&) override {
        if (progress_) std::fputc('\n', stderr);
        finished_ = true;
    }
    void exportWrongFileType(const std::string& path, const std::string& message) override {
        EndProgressLine();
        std::fprintf(stderr, "turnlet-export: %s: %s (frame written in the background colour)\n", path.c_str(),
                     message.c_str());
    }
    void exportFailed(const Status& status) override {
        EndProgressLine();
        std::fprintf(stderr, "turnlet-export: %s\n", status.message().c_str());
    }

    // The dialog's FormShow: an empty width or height field makes both the area's size.
    void ShowDialog(int areaWidth, int areaHeight) {
        inputs_.outputWidthText = project_.exportSettings.widthText;
        inputs_.outputHeightText = project_.exportSettings.heightText;
        if (inputs_.outputWidthText.empty() || inputs_.outputHeightText.empty()) {
            inputs_.outputWidthText = std::to_string(areaWidth);
            inputs_.outputHeightText = std::to_string(areaHeight);
        }
    }
    void SetTotal(int total) { total_ = total; }
    bool finished() const { return finished_; }
    const std::string& widthText() const { return inputs_.outputWidthText; }
    const std::string& heightText() const { return inputs_.outputHeightText; }

  private:
    void EndProgressLine() {
        if (progress_) std::fputc('\n', stderr);
    }

    const Project& project_;
    bool progress_;
    ExportInputs inputs_;
    int total_ = 0;
    bool finished_ = false;
};

// The file a status concerns is named even when its own text does not say it.
std::string Describe(const Status& status) {
    if (status.code() == Status::Code::WrongFileType) return status.file() + ": " + kWrongFileType;
    return status.message();
}

int Run(int argc, char** argv) {
    std::string projectPath;
    std::string outputDir;
    bool quiet = false;
    bool smooth = false;
    bool extraSizes = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return kExitOk;
        } else if (arg == "--version") {
            std::fputs(VersionText("turnlet-export").c_str(), stdout);
            return kExitOk;
        } else if (arg == "--quiet" || arg == "-q") {
            quiet = true;
        } else if (arg == "--smooth") {
            smooth = true;
        } else if (arg == "--extra-sizes") {
            extraSizes = true;
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
    // The flags add to what the project asks for.
    ExportSettings& settings = project.exportSettings;
    settings.smooth = settings.smooth || smooth;
    settings.extraSizes = settings.extraSizes || extraSizes;

    // What Open shows in the source preview: source item 0, quarter-turned. Its size stands in
    // for an unset crop.
    int sourceWidth = 0;
    int sourceHeight = 0;
    const bool cropSet = project.crop.allSet();
    if (!cropSet || project.exportSettings.widthText.empty() || project.exportSettings.heightText.empty()) {
        // Only its size is needed here; its pixels are decoded by the export.
        if (Status status = ReadPictureSize(project.sources[0], sourceWidth, sourceHeight); !status.ok()) {
            std::fprintf(stderr, "turnlet-export: %s\n", Describe(status).c_str());
            return kExitFailed;
        }
    }
    const bool sideways = project.rotationDegrees() == 90 || project.rotationDegrees() == 270;
    const int previewWidth = sideways ? sourceHeight : sourceWidth;
    const int previewHeight = sideways ? sourceWidth : sourceHeight;

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
    if (Status status = CheckExportFrames(n); !status.ok()) {
        std::fprintf(stderr, "turnlet-export: %s: EXPORT_FRAMES=%s: %s\n", projectPath.c_str(),
                     project.exportSettings.framesText.c_str(), status.message().c_str());
        return kExitUsage;
    }
    // The extra sets belong to the viewer page: none without one (so none for BMP).
    const bool page = settings.html5Viewer && settings.typeIndex != 2;
    if (extraSizes && !page) {
        std::fprintf(stderr,
                     "turnlet-export: --extra-sizes: the project makes no viewer page (HTML5_VIEWER=0 or BMP), "
                     "so no half- or double-size frames are written\n");
    }
    auto session = std::make_shared<ExportSession>(
        host, host, BuildExportTable(n, project.frames, project.sources, project.firstFrame),
        page && settings.extraSizes);
    host.SetTotal(n);

    if (page) {
        ViewerPageFacts facts{n,         settings.typeIndex, host.widthText(),   host.heightText(),
                              areaWidth, areaHeight,         settings.extraSizes};
        if (Status status = WriteViewerPage(ViewerTemplatePath(programDir), directory, facts); !status.ok()) {
            std::fprintf(stderr, "turnlet-export: %s\n", status.message().c_str());
            return kExitFailed;
        }
    }

    ExportPicture worker(session, {});
    worker.Start();
    if (!worker.Wait().ok() || !host.finished()) return kExitFailed;
    if (!quiet) {
        std::printf("Exported %d frames to %s\n", n, directory.c_str());
    }
    return kExitOk;
}

}  // namespace
}  // namespace turnlet

int main(int argc, char** argv) {
    // Whatever goes wrong ends with a message and a failure status, never with an abort.
    try {
        return turnlet::Run(argc, argv);
    } catch (const std::bad_alloc&) {
        std::fputs("turnlet-export: not enough memory\n", stderr);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "turnlet-export: %s\n", e.what());
    }
    return turnlet::kExitFailed;
}
