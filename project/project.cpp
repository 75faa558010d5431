// SPDX-License-Identifier: MIT
// Project state operations: New, the frame clamping, the derived tables.
#include "project/project.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "base/number_text.h"

namespace turnlet {
namespace {

std::int32_t Saturate(std::int64_t value) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                                              std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

const char* ExportTypeName(int typeIndex) {
    switch (typeIndex) {
        case 1:
            return "PNG";
        case 2:
            return "BMP";
        case 3:
            return "WEBP";
        case 4:
            return "AVIF";
        default:
            return "JPEG";
    }
}

void New(Project& project) {
    project.imagesLoaded = false;
    project.sources.clear();
    project.rotationIndex = 0;
    project.crop = CropTexts{};
    project.firstFrame = 0;
    project.lastFrame = 0;
    project.exportSettings.framesText = "100";
    project.exportSettings.directory = project.programDir + "/result";
    project.exportSettings.typeIndex = 0;
    // The frame size of a new project starts from its crop, not from the last project's.
    project.exportSettings.widthText.clear();
    project.exportSettings.heightText.clear();
    ClearKeyframes(project.keyframes);
    project.frames.setRowCount(2);
    for (int c = 0; c < project.frames.columnCount(); ++c) project.frames.set(1, c, std::string());
    project.caption = kProgramTitle;
    project.cropOutlineVisible = false;
    // A Save right after New must ask for a name instead of overwriting the last project's file.
    project.saveFileName.clear();
}

void SetFirstFrame(Project& project, int value) {
    if (value < 0) value = 0;
    if (project.lastFrame < value) value = project.lastFrame;
    // Only reachable with a last frame that is itself out of range; keep the index valid.
    if (value < 0) value = 0;
    project.firstFrame = value;
}

void SetLastFrame(Project& project, int value) {
    const std::int64_t count = static_cast<std::int64_t>(project.sources.size());
    if (value >= count) value = static_cast<int>(std::max<std::int64_t>(count - 1, -1));
    if (value < project.firstFrame) value = project.firstFrame;
    project.lastFrame = value;
}

void RestoreKeyframes(Project& project) {
    turnlet::RestoreKeyframes(project.frames, project.keyframes, project.sources, project.firstFrame,
                              project.lastFrame);
}

void Recalculatepositions1Click(Project& project) {
    FrameRangeControls controls =
        turnlet::Recalculatepositions1Click(project.frames, project.firstFrame, project.lastFrame);
    project.interlaceEntries = std::move(controls.interlaceEntries);
    project.interlaceIndex = controls.interlaceIndex;
    project.sliderMaximum = controls.sliderMaximum;
}

CropArea ResolveCrop(const CropTexts& crop, int pictureWidth, int pictureHeight) {
    if (!crop.allSet()) return {0, 0, pictureWidth, pictureHeight};
    return {IntegerOr(crop.left, 0), IntegerOr(crop.top, 0), IntegerOr(crop.width, 100), IntegerOr(crop.height, 100)};
}

void ApplyCropTexts(Project& project) {
    if (!project.crop.allSet()) return;
    const CropArea area = ResolveCrop(project.crop, 0, 0);
    const std::int64_t left = area.left;
    const std::int64_t top = area.top;
    const std::int64_t width = area.width;
    const std::int64_t height = area.height;
    project.cropRect = CropRect{Saturate(left), Saturate(top), Saturate(width + left - 1), Saturate(height + top - 1)};
    project.cropOutlineVisible = true;
}

}  // namespace turnlet
