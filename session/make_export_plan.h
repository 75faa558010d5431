// SPDX-License-Identifier: MIT
// Turning a project into a frozen export plan: the one start of an export, for the editor and the command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/status.h"
#include "export/export_plan.h"
#include "project/project.h"

namespace turnlet {

struct FrameSize {
    std::int32_t width = 0, height = 0;
    friend bool operator==(const FrameSize&, const FrameSize&) = default;
};

// Whether a width x height frame shows a cropWidth x cropHeight area in its own proportions: one
// side is what the other gives by the proportional rule (so either side may have led).
bool KeepsProportions(FrameSize size, std::int32_t cropWidth, std::int32_t cropHeight);

// The frame size for a crop when the size keeps the crop's proportions: size as it is when it
// already does (or the crop has no size), else the height made to follow the width (at least 1).
FrameSize FollowCrop(FrameSize size, std::int32_t cropWidth, std::int32_t cropHeight);

// Whether the frame's proportions differ from the crop's by more than 1 % (and more than the
// proportional rule's rounding): the frames are then stretched or squashed.
bool DistortsCrop(FrameSize size, std::int32_t cropWidth, std::int32_t cropHeight);

struct ExportPlanRequest {
    // The turned source picture's size: the area when the project has no crop.
    int pictureWidth = 0, pictureHeight = 0;
    // The viewer template, for a project that asks for a page.
    std::string templatePath;
    // The command line's overrides: another folder; smooth resize, the extra sizes, the zoom set and
    // the videos added to the project's own choice.
    std::optional<std::string> directory;
    bool smooth = false;
    bool extraSizes = false;
    bool zoomSet = false;
    bool videoMp4 = false, animatedWebp = false;
    // The FFmpeg program for the MP4 (the settings' path); empty: "ffmpeg" on the PATH.
    std::string ffmpegPath;
};

// The frame size an export makes: the settings' width and height (one not set takes the area's
// size), kept in the crop's proportions when the settings ask for that.
FrameSize ExportFrameSize(const ExportSettings& settings, const CropArea& area);

// Everything the export of project will do, fixed now. Fails, naming what is wrong, when there is
// nothing to export or the number of frames is out of range.
Status MakeExportPlan(const Project& project, const ExportPlanRequest& request, ExportPlan& plan);

// The first source's size as the project turns it (quarter turns): the picture an unset crop stands
// for, as the editor's preview shows it. What the command-line tools and the batch plan from.
Status TurnedSourceSize(const Project& project, int& width, int& height);

}  // namespace turnlet
