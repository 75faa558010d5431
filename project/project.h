// SPDX-License-Identifier: MIT
// The one open project as numbers, its rules, and the project file (*.trn.prj) where it becomes text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/color.h"
#include "base/status.h"
#include "tuning/frames_table.h"
#include "tuning/keyframes.h"
#include "tuning/tune_params.h"

namespace turnlet {

inline constexpr const char* kProgramTitle = "Turnlet";

// The export's type list: 0 JPEG, 1 PNG, 2 BMP.
inline constexpr int kExportTypes = 3;

struct ExportSettings {
    int frames = 100;        // EXPORT_FRAMES
    std::string directory;   // EXPORT_DIR; New sets it
    int typeIndex = 0;       // EXPORT_TYPE
    int jpegQuality = 90;    // 1 .. 100
    std::int32_t width = 0;  // EXPORT_WIDTH; 0 when not set (the crop's size then)
    std::int32_t height = 0;
    bool proportional = true, html5Viewer = true;
    // Written only when set (EXPORT_EXTRA_SIZES=1, EXPORT_SMOOTH=1, after the other keys), so a
    // project that uses neither is written as before and older readers skip both lines.
    bool extraSizes = false;  // the viewer's half- and double-size frame sets
    bool smooth = false;      // smooth resize
    friend bool operator==(const ExportSettings&, const ExportSettings&) = default;
};

// "JPEG", "PNG", "BMP" for type index 0, 1, 2; "JPEG" for any other index.
const char* ExportTypeName(int typeIndex);

struct Project {
    std::vector<std::string> sources;
    int rotationIndex = 0;  // 0..3
    // In turned-source pixels; none: the whole turned source.
    std::optional<CropArea> crop;
    int firstFrame = 0, lastFrame = 0;
    Color backgroundColor = 0x00FFFFFF;
    Keyframes keyframes;
    ExportSettings exportSettings;

    int rotationDegrees() const { return rotationIndex * 90; }
    // Whether there is anything to show: a project without sources has no images loaded.
    bool imagesLoaded() const { return !sources.empty(); }
    friend bool operator==(const Project&, const Project&) = default;
};

// The crop as every view and the export cut it: the project's, or the whole turned source
// (pictureWidth x pictureHeight from 0, 0) when it has none.
CropArea ResolveCrop(const std::optional<CropArea>& crop, int pictureWidth, int pictureHeight);

// What "New" leaves: no sources, no turn, no crop, frames 0/0, no keyframes, 100 frames of JPEG
// into exportDirectory at the crop's size. The background colour, the JPEG quality and the check
// boxes stay.
void New(Project& project, const std::string& exportDirectory);

// The first/last frame edits: a negative first frame becomes 0, one above the last frame becomes
// the last frame; a last frame at or beyond the source count becomes count - 1, one below the first
// frame becomes the first frame (so 0 for an empty list).
void SetFirstFrame(Project& project, int value);
void SetLastFrame(Project& project, int value);

// The frames of the project's turn, from its keyframes.
FrameRows ProjectFrames(const Project& project);

// Project file: KEY=VALUE lines written in a fixed order and read tolerantly (project_file.cpp).

inline constexpr std::string_view kProjectExtension = ".trn.prj";
// Far above any real project (one short line per source and keyframe); keeps a hostile file from
// making huge tables.
inline constexpr std::size_t kMaxProjectFileBytes = 16u << 20;

// Appends ".trn.prj" unless the name's last eight characters, lower-cased, already are it.
std::string ProjectFileNameForSave(std::string name);

// The file's lines, each ended by CR LF.
std::string WriteProjectText(const Project& project);

// Applies a project file's text to a project just made by New: the export presets (quality 90, no
// width or height, both boxes checked, extra sizes and smooth resize off), then every line in order
// (frame lines clamped against what was read before them). Never fails: unknown lines are ignored,
// and a value that is not a number takes its key's default (crop: 0 for left and top, 100 for width
// and height; frame size: 200), so every consumer reads one value. A frame size of 0 or less is not
// set, and keyframe values take the file's number form (KeyframeNumber): the project read is the one
// its own file gives back.
void ReadProjectText(std::string_view text, Project& project);

// Writes the project to fileName atomically. Values holding a line break cannot be stored and are
// refused before anything is written.
Status SaveProject(const Project& project, const std::string& fileName);

// Reads a project file: on success project is New(exportDirectory) with the file applied; a read
// error leaves it untouched.
Status OpenProject(Project& project, const std::string& path, const std::string& exportDirectory);

}  // namespace turnlet
