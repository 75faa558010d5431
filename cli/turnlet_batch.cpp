// SPDX-License-Identifier: MIT
// turnlet-batch: one set-up for many products; each folder of photos becomes an aligned, exported spin.
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "base/files.h"
#include "base/program_files.h"
#include "base/tasks.h"
#include "batch/batch_report.h"
#include "batch/batch_run.h"
#include "cli/cli_support.h"
#include "export/viewer_page.h"
#include "shell/batch_texts.h"

namespace turnlet {
namespace {

const char kUsage[] =
    "Usage: turnlet-batch TEMPLATE.trn.prj FOLDER... [--output ROOT] [--align] [--find-last]\n"
    "                     [--jobs N] [--report FILE] [--force] [--ffmpeg PROGRAM] [--quiet]\n"
    "       turnlet-batch TEMPLATE.trn.prj FOLDER... --only K [options]\n"
    "       turnlet-batch TEMPLATE.trn.prj --list FILE [--index K] [options]\n"
    "\n"
    "Makes a project for each FOLDER (one product's photos, taken in name order) from the template's\n"
    "set-up: rotation, crop, first/last rule, the keyframe values that hold for every frame, export\n"
    "settings and viewer page. Each product is saved with its export in ROOT/<folder name>/.\n"
    "A product is done once its export and its record are written; a rerun skips products done with\n"
    "the same photos, template and options, and redoes interrupted ones. A product that fails is\n"
    "reported and the batch goes on.\n"
    "\n"
    "  --output ROOT   where the products go (default: the template's export folder)\n"
    "  --align         align every product's frames, as \"Auto-align\" does\n"
    "  --find-last     cut every product to one full turn, as \"Find end of turn\" does; a product\n"
    "                  without a full turn fails\n"
    "  --jobs N        products side by side (default 1; at most one per core and what memory holds)\n"
    "  --report FILE   write the report to FILE.csv and FILE.json (default: ROOT/turnlet-batch-report\n"
    "                  when the whole list runs)\n"
    "  --force         redo products that were done before\n"
    "  --ffmpeg PROGRAM  the FFmpeg program, when the template asks for an MP4 of the turn\n"
    "                  (default: ffmpeg on the PATH)\n"
    "  --list FILE     the product folders, one a line (relative ones from FILE's folder; blank lines\n"
    "                  and lines starting with # are skipped), after any given as arguments\n"
    "  --only K        run only product K of the list (0 for the first): one job of a Slurm array or\n"
    "                  of GNU parallel; --index K is the same\n"
    "  --quiet         print nothing but errors\n"
    "  --help          this text\n"
    "  --version       the version\n"
    "\n"
    "Exit status: 0 every product done (now or before), 1 a product failed or the batch was\n"
    "stopped, 2 usage error, unreadable template or list.\n";

std::string Duration(double seconds) {
    const long s = static_cast<long>(seconds + 0.5);
    if (s < 60) return std::to_string(s) + " s";
    if (s < 3600) return std::to_string(s / 60) + " min " + std::to_string(s % 60) + " s";
    return std::to_string(s / 3600) + " h " + std::to_string(s % 3600 / 60) + " min";
}

// Products done of the total, the current product's stage, and the time left, on one line of a
// terminal; a line for each product as it ends.
class TerminalBatch : public BatchObserver {
  public:
    TerminalBatch(bool bar, bool lines) : bar_(bar), lines_(lines) {}

    void batchStarted(int products, int jobs) override {
        total_ = products;
        jobs_ = jobs;
        start_ = std::chrono::steady_clock::now();
    }
    void productStarted(int, const std::string& name) override { current_ = name; }
    void productProgress(int, ProductStage stage, int done, int total) override {
        const char* words[] = {"finding the turn's end", "aligning", "exporting"};
        stage_ = words[static_cast<int>(stage)];
        done_ = done;
        of_ = total;
        // The export is most of a product's time; the other stages count as its first tenth.
        part_ = total > 0 ? (stage == ProductStage::Exporting ? 0.1 + 0.9 * done / total : 0.1 * done / total) : 0;
        Show();
    }
    void productEnded(int, const ProductResult& r) override {
        ++finished_;
        part_ = 0;
        if (r.state == ProductState::Done) worked_ += r.seconds, ++timed_;
        Clear();
        if (lines_) {
            if (r.state == ProductState::Done)
                std::printf("done     %s: %d frames, %.1f s\n", r.name.c_str(), r.framesWritten, r.seconds);
            else if (r.state == ProductState::Skipped)
                std::printf("skipped  %s: done earlier\n", r.name.c_str());
            else if (r.state == ProductState::Stopped)
                std::printf("stopped  %s\n", r.name.c_str());
            std::fflush(stdout);
        }
        if (r.state == ProductState::Failed)
            std::fprintf(stderr, "turnlet-batch: %s (%s): %s\n", r.name.c_str(), r.folder.c_str(), r.message.c_str());
        Show();
    }
    void Clear() {
        if (!shown_) return;
        std::fputs("\r\033[K", stderr);
        shown_ = false;
    }

  private:
    void Show() {
        if (!bar_ || finished_ >= total_) return;
        std::string line = "[" + std::to_string(finished_) + "/" + std::to_string(total_) + "] " + current_ + ": " +
                           stage_ + " " + std::to_string(done_) + "/" + std::to_string(of_);
        // Time left from the products exported so far (a skipped one takes no time to speak of).
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        const double progress = finished_ + part_;
        if (timed_ > 0 && progress > 0) {
            const double perProduct = worked_ / timed_;
            const double left = std::max(0.0, (total_ - progress) * perProduct / jobs_);
            line += ", about " + Duration(left) + " left";
        } else if (progress > 0.05) {
            line += ", about " + Duration(elapsed * (total_ - progress) / progress / jobs_) + " left";
        }
        std::fprintf(stderr, "\r\033[K%s", line.c_str());
        std::fflush(stderr);
        shown_ = true;
    }

    bool bar_, lines_;
    int total_ = 0, jobs_ = 1, finished_ = 0, timed_ = 0, done_ = 0, of_ = 0;
    double part_ = 0, worked_ = 0;
    std::string current_, stage_;
    std::chrono::steady_clock::time_point start_;
    bool shown_ = false;
};

bool ParseCount(const std::string& text, int& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && value >= 0;
}

// The folders a list file names, one a line; relative ones from the list's own folder.
Status ReadFolderList(const std::string& file, std::vector<std::string>& folders) {
    std::string text;
    if (Status status = ReadWholeFile(file, text); !status.ok()) return status;
    const std::filesystem::path base = std::filesystem::path(file).parent_path();
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        const std::filesystem::path path(line);
        folders.push_back(path.is_absolute() || base.empty() ? line : (base / path).string());
    }
    return Status::Ok();
}

int Run(int argc, char** argv) {
    CommandLine line;
    line.program = "turnlet-batch";
    line.usage = kUsage;
    line.switches = {"--quiet", "--align", "--find-last", "--force"};
    line.valued = {"--output", "--jobs", "--report", "--list", "--only", "--index", "--ffmpeg"};
    line.several = true;
    if (const int parsed = line.Parse(argc, argv); parsed >= 0) return parsed;

    std::vector<std::string> folders = line.more;
    if (line.values.count("--list")) {
        if (Status status = ReadFolderList(line.value("--list"), folders); !status.ok()) {
            line.Error(status.message());
            return kExitUsage;
        }
    }
    if (folders.empty()) {
        line.Error(std::string("no product folders given\n\n") + kUsage);
        return kExitUsage;
    }
    int only = -1;
    for (const char* option : {"--only", "--index"}) {
        if (!line.values.count(option)) continue;
        if (!ParseCount(line.value(option), only) || only >= static_cast<int>(folders.size())) {
            line.Error(std::string(option) + " must be a product's number from 0 to " +
                       std::to_string(folders.size() - 1) + ", not '" + line.value(option) + "'");
            return kExitUsage;
        }
    }
    BatchSettings settings;
    if (line.values.count("--jobs") && (!ParseCount(line.value("--jobs"), settings.jobs) || settings.jobs < 1)) {
        line.Error("--jobs must be a whole number of at least 1, not '" + line.value("--jobs") + "'");
        return kExitUsage;
    }
    if (Status status = LoadBatchTemplate(line.argument, settings); !status.ok()) {
        line.Error(Describe(status));
        return kExitUsage;
    }
    settings.root =
        line.values.count("--output") ? line.value("--output") : settings.templateProject.exportSettings.directory;
    if (settings.root.empty()) {
        line.Error(line.argument + ": the template has no export folder; give one with --output ROOT");
        return kExitUsage;
    }
    settings.viewerTemplate = ResourceDirectory(ExecutableDirectory()) + "/" + kViewerTemplateName;
    settings.align = line.has("--align");
    settings.findLast = line.has("--find-last");
    settings.force = line.has("--force");
    settings.ffmpegPath = line.value("--ffmpeg");
    settings.describe = [](BatchFailure failure, const std::vector<std::string>& details) {
        return BatchFailureText(failure, details, Language::English);
    };
    std::error_code ec;
    std::filesystem::create_directories(settings.root, ec);
    if (ec) {
        line.Error(settings.root + ": the output folder cannot be made: " + ec.message());
        return kExitFailed;
    }

    const bool quiet = line.has("--quiet");
    TerminalBatch terminal(!quiet && isatty(STDERR_FILENO), !quiet);
    CancelToken stop;
    std::vector<ProductResult> results;
    {
        // The next run redoes what was in hand.
        const StopOnSignals signals(stop);
        results = RunBatch(settings, folders, terminal, stop, only);
    }
    terminal.Clear();

    std::string report = line.value("--report");
    if (report.empty() && only < 0) report = (std::filesystem::path(settings.root) / "turnlet-batch-report").string();
    if (!report.empty()) {
        if (Status status = WriteReport(report, results); !status.ok()) {
            line.Error(status.message());
            return kExitFailed;
        }
    }
    if (!quiet && results.size() > 1) {
        int counts[4] = {};
        for (const ProductResult& r : results) ++counts[static_cast<int>(r.state)];
        std::printf("%d done, %d skipped (done earlier), %d failed, %d stopped\n", counts[0], counts[1], counts[2],
                    counts[3]);
    }
    return AllSucceeded(results) ? kExitOk : kExitFailed;
}

}  // namespace
}  // namespace turnlet

int main(int argc, char** argv) {
    return turnlet::RunCommandLine("turnlet-batch", [&] { return turnlet::Run(argc, argv); });
}
