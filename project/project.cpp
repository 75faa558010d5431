// SPDX-License-Identifier: MIT
// Project state operations: New, the frame clamping, the crop and the frames of the turn.
#include "project/project.h"

#include <algorithm>
#include <cstdint>

namespace turnlet {

const char* ExportTypeName(int typeIndex) {
    switch (typeIndex) {
        case 1:
            return "PNG";
        case 2:
            return "BMP";
        default:
            return "JPEG";
    }
}

CropArea ResolveCrop(const std::optional<CropArea>& crop, int pictureWidth, int pictureHeight) {
    return crop ? *crop : CropArea{0, 0, pictureWidth, pictureHeight};
}

void New(Project& project, const std::string& exportDirectory) {
    project.sources.clear();
    project.rotationIndex = 0;
    project.crop.reset();
    project.firstFrame = 0;
    project.lastFrame = 0;
    project.keyframes.clear();
    ExportSettings& ex = project.exportSettings;
    ex.frames = 100;
    ex.directory = exportDirectory;
    ex.typeIndex = 0;
    // The frame size of a new project starts from its crop, not from the last project's.
    ex.width = ex.height = 0;
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

FrameRows ProjectFrames(const Project& project) {
    return RestoreKeyframes(project.keyframes, project.sources, project.firstFrame, project.lastFrame);
}

}  // namespace turnlet
