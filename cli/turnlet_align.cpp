// SPDX-License-Identifier: MIT
// turnlet-align: aligns the frames of a saved project (shift, tilt, exposure) and writes them as keyframes.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <new>
#include <string>

#include "align/align_keyframes.h"
#include "align/turn_alignment.h"
#include "align/turn_end.h"
#include "base/messages.h"
#include "imaging/image_files.h"
#include "project/project.h"
#include "tuning/tune_params.h"

namespace turnlet {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "Usage: turnlet-align PROJECT.trn.prj [--output OUT.trn.prj] [--keep-manual] [--quiet]\n"
    "       turnlet-align PROJECT.trn.prj --find-last [--output OUT.trn.prj]\n"
    "\n"
    "Finds every frame's shift, tilt and exposure against the first frame of the turn and writes\n"
    "them into the project as keyframes, as the editor's \"Auto-align\" does. With --find-last,\n"
    "finds instead the frame where the object shows its first view again and suggests the one\n"
    "before it as the last frame of the turn.\n"
    "\n"
    "  --output FILE   write the project to FILE (the input is left as it is); with --find-last\n"
    "                  nothing is written without it\n"
    "  --keep-manual   keep the keyframes the project already has\n"
    "  --find-last     print \"last frame: K (confidence C; runner-up: R, C2)\", the same after\n"
    "                  \"one full turn already, \" when the frames from the first one on are one\n"
    "                  turn, or \"no full turn found\"\n"
    "  --quiet         print nothing but errors\n"
    "  --help          this text\n"
    "\n"
    "Exit status: 0 done, 1 a source image could not be read, 2 usage error or unreadable project.\n";

std::string Describe(const Status& status) {
    if (status.code() == Status::Code::WrongFileType) return status.file() + ": " + kWrongFileType;
    return status.message();
}

struct Arguments {
    std::string project, output;
    bool keepManual = false, quiet = false, findLast = false;
};

// 0 to go on, otherwise the exit status.
int Parse(int argc, char** argv, Arguments& args) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return -1;
        } else if (arg == "--quiet" || arg == "-q") {
            args.quiet = true;
        } else if (arg == "--keep-manual") {
            args.keepManual = true;
        } else if (arg == "--find-last") {
            args.findLast = true;
        } else if (arg == "--output" || arg == "-o") {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') {
                std::fprintf(stderr, "turnlet-align: %s needs a file name\n\n%s", arg.c_str(), kUsage);
                return kExitUsage;
            }
            args.output = argv[++i];
        } else if (arg.rfind("--output=", 0) == 0 && arg.size() > 9) {
            args.output = arg.substr(9);
        } else if (!arg.empty() && arg[0] == '-') {
            std::fprintf(stderr, "turnlet-align: unknown option %s\n\n%s", arg.c_str(), kUsage);
            return kExitUsage;
        } else if (args.project.empty()) {
            args.project = arg;
        } else {
            std::fprintf(stderr, "turnlet-align: only one project at a time (%s)\n\n%s", arg.c_str(), kUsage);
            return kExitUsage;
        }
    }
    if (args.project.empty()) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    return 0;
}

int FindLast(const Arguments& args, Project& project, const AlignSettings& settings, const AlignCallbacks& callbacks,
             bool progress) {
    const TurnEnd end = FindTurnEnd(settings, callbacks);
    if (progress) std::fputc('\n', stderr);
    if (!end.status.ok()) {
        std::fprintf(stderr, "turnlet-align: %s\n", Describe(end.status).c_str());
        return kExitFailed;
    }
    if (!end.found) {
        std::printf("no full turn found\n");
        return kExitOk;
    }
    const int last = project.firstFrame + end.last;
    std::string runnerUp;
    if (end.runnerUpConfidence >= 0.005) {
        runnerUp = end.runnerUp < 0 ? "; runner-up: no full turn, "
                                    : "; runner-up: " + std::to_string(project.firstFrame + end.runnerUp) + ", ";
        char confidence[16];
        std::snprintf(confidence, sizeof confidence, "%.2f", end.runnerUpConfidence);
        runnerUp += confidence;
    }
    std::printf("%slast frame: %d (confidence %.2f%s)\n", end.oneTurn ? "one full turn already, " : "", last,
                end.confidence, runnerUp.c_str());
    if (args.output.empty()) return kExitOk;
    // The frame numbers' own rule: the last frame is kept within the list and not below the first.
    SetLastFrame(project, last);
    if (Status status = SaveProject(project, args.output); !status.ok()) {
        std::fprintf(stderr, "turnlet-align: %s\n", status.message().c_str());
        return kExitFailed;
    }
    return kExitOk;
}

int Run(int argc, char** argv) {
    Arguments args;
    if (const int parsed = Parse(argc, argv, args); parsed != 0) return parsed < 0 ? kExitOk : parsed;

    Project project;
    New(project);
    if (Status status = OpenProject(project, args.project); !status.ok()) {
        std::fprintf(stderr, "turnlet-align: %s\n", status.message().c_str());
        return kExitUsage;
    }
    if (project.sources.empty()) {
        std::fprintf(stderr, "turnlet-align: %s: the project has no source images\n", args.project.c_str());
        return kExitUsage;
    }

    // The crop the tuned view and the export use; an unset crop is the whole of source item 0 as the
    // editor shows it after opening.
    int width = 0, height = 0;
    if (Status status = ReadPictureSize(project.sources[0], width, height); !status.ok()) {
        std::fprintf(stderr, "turnlet-align: %s\n", Describe(status).c_str());
        return kExitFailed;
    }
    const bool sideways = project.rotationDegrees() == 90 || project.rotationDegrees() == 270;
    const TuneCrop crop = TuneCropFromTexts(project.crop.left, project.crop.top, project.crop.width,
                                            project.crop.height, sideways ? height : width, sideways ? width : height);

    AlignSettings settings;
    // The end of the turn is looked for among all the sources from the first frame on.
    const int end = args.findLast ? static_cast<int>(project.sources.size()) - 1 : project.lastFrame;
    for (int f = project.firstFrame; f <= end && f < static_cast<int>(project.sources.size()); ++f)
        settings.paths.push_back(project.sources[static_cast<std::size_t>(f)]);
    settings.rotationDegrees = project.rotationDegrees();
    settings.crop = {crop.left, crop.top, crop.width, crop.height};
    const bool progress = !args.quiet && isatty(STDERR_FILENO);
    AlignCallbacks callbacks;
    callbacks.progress = [progress](int done, int total) {
        if (!progress) return;
        std::fprintf(stderr, "\r%d%%", total > 0 ? done * 100 / total : 100);
        std::fflush(stderr);
    };
    if (args.findLast) return FindLast(args, project, settings, callbacks, progress);
    const TurnAlignment alignment = AlignTurn(settings, callbacks);
    if (progress) std::fputc('\n', stderr);
    if (!alignment.status.ok()) {
        std::fprintf(stderr, "turnlet-align: %s\n", Describe(alignment.status).c_str());
        return kExitFailed;
    }

    const AppliedAlignment applied = ApplyAlignment(project.keyframes, project.frames, project.sources,
                                                    project.firstFrame, alignment.frames, !args.keepManual);
    RestoreKeyframes(project);
    if (!args.quiet) {
        std::printf("frame  DX        DY        angle     brightness  confidence\n");
        for (std::size_t k = 0; k < alignment.frames.size(); ++k) {
            const FrameAlignment& f = alignment.frames[k];
            const bool kept =
                std::find(applied.kept.begin(), applied.kept.end(), static_cast<int>(k)) != applied.kept.end();
            std::printf("%5zu  %-8g  %-8g  %-8g  %-10g  %.2f%s\n", k, f.DX, f.DY, f.Angle, f.Brightness, f.confidence,
                        kept        ? "  kept (set by hand)"
                        : f.aligned ? ""
                                    : "  not aligned, values kept");
        }
        if (!applied.unaligned.empty()) {
            std::printf("%zu frame(s) could not be aligned:", applied.unaligned.size());
            for (int k : applied.unaligned) std::printf(" %d", k);
            std::printf("\n");
        }
    }
    const std::string target = args.output.empty() ? args.project : args.output;
    if (Status status = SaveProject(project, target); !status.ok()) {
        std::fprintf(stderr, "turnlet-align: %s\n", status.message().c_str());
        return kExitFailed;
    }
    if (!args.quiet) std::printf("Wrote %s\n", project.saveFileName.c_str());
    return kExitOk;
}

}  // namespace
}  // namespace turnlet

int main(int argc, char** argv) {
    try {
        return turnlet::Run(argc, argv);
    } catch (const std::bad_alloc&) {
        std::fputs("turnlet-align: not enough memory\n", stderr);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "turnlet-align: %s\n", e.what());
    }
    return turnlet::kExitFailed;
}
