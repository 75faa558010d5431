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
#include "cli/cli_support.h"
#include "session/make_export_plan.h"
#include "project/project.h"
#include "tuning/tune_params.h"

namespace turnlet {
namespace {

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
    "  --version       the version\n"
    "\n"
    "Exit status: 0 done, 1 a source image could not be read, 2 usage error or unreadable project.\n";

int FindLast(const CommandLine& line, Project& project, const AlignSettings& settings, const AlignCallbacks& callbacks,
             bool progress) {
    const TurnEnd end = FindTurnEnd(settings, callbacks);
    if (progress) std::fputc('\n', stderr);
    if (!end.status.ok()) {
        line.Error(Describe(end.status));
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
    if (line.value("--output").empty()) return kExitOk;
    // The frame numbers' own rule: the last frame is kept within the list and not below the first.
    SetLastFrame(project, last);
    if (Status status = SaveProject(project, ProjectFileNameForSave(line.value("--output"))); !status.ok()) {
        line.Error(status.message());
        return kExitFailed;
    }
    return kExitOk;
}

int Run(int argc, char** argv) {
    CommandLine line{"turnlet-align", kUsage, {"--quiet", "--keep-manual", "--find-last"}, {"--output"}};
    if (const int parsed = line.Parse(argc, argv); parsed >= 0) return parsed;
    Project project;
    if (const int opened = OpenCommandLineProject(line, project); opened >= 0) return opened;

    // The crop the tuned view and the export use; an unset crop is the whole of source item 0 as the
    // editor shows it after opening.
    int width = 0, height = 0;
    if (Status status = TurnedSourceSize(project, width, height); !status.ok()) {
        line.Error(Describe(status));
        return kExitFailed;
    }
    const CropArea crop = ResolveCrop(project.crop, width, height);
    const bool findLast = line.has("--find-last");
    const bool quiet = line.has("--quiet");

    AlignSettings settings;
    // The end of the turn is looked for among all the sources from the first frame on.
    const int end = findLast ? static_cast<int>(project.sources.size()) - 1 : project.lastFrame;
    for (int f = project.firstFrame; f <= end && f < static_cast<int>(project.sources.size()); ++f)
        settings.paths.push_back(project.sources[static_cast<std::size_t>(f)]);
    settings.rotationDegrees = project.rotationDegrees();
    settings.crop = {crop.left, crop.top, crop.width, crop.height};
    const bool progress = !quiet && isatty(STDERR_FILENO);
    AlignCallbacks callbacks;
    callbacks.progress = [progress](int done, int total) {
        if (!progress) return;
        std::fprintf(stderr, "\r%d%%", total > 0 ? done * 100 / total : 100);
        std::fflush(stderr);
    };
    if (findLast) return FindLast(line, project, settings, callbacks, progress);
    const TurnAlignment alignment = AlignTurn(settings, callbacks);
    if (progress) std::fputc('\n', stderr);
    if (!alignment.status.ok()) {
        line.Error(Describe(alignment.status));
        return kExitFailed;
    }

    const AppliedAlignment applied = ApplyAlignment(project.keyframes, ProjectFrames(project), project.sources,
                                                    project.firstFrame, alignment.frames, !line.has("--keep-manual"));
    if (!quiet) {
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
    const std::string target =
        line.value("--output").empty() ? line.argument : ProjectFileNameForSave(line.value("--output"));
    if (Status status = SaveProject(project, target); !status.ok()) {
        line.Error(status.message());
        return kExitFailed;
    }
    if (!quiet) std::printf("Wrote %s\n", target.c_str());
    return kExitOk;
}

}  // namespace
}  // namespace turnlet

int main(int argc, char** argv) {
    return turnlet::RunCommandLine("turnlet-align", [&] { return turnlet::Run(argc, argv); });
}
