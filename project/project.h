// SPDX-License-Identifier: MIT
// The one open project: its state, derived tables, model operations and the project file (*.trn.prj).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "imaging/picture.h"
#include "base/status.h"
#include "tuning/frames_table.h"
#include "tuning/keyframes.h"
#include "tuning/text_grid.h"
#include "tuning/tune_params.h"

namespace turnlet {

inline constexpr const char* kProgramTitle = "Turnlet";

// The crop boxes as typed: decimal integers in rotated-source pixels, empty meaning no crop.
struct CropTexts {
    std::string left, top, width, height;
    bool allSet() const { return !left.empty() && !top.empty() && !width.empty() && !height.empty(); }
    friend bool operator==(const CropTexts&, const CropTexts&) = default;
};

// Both ends inclusive: right = left + width - 1, bottom = top + height - 1.
struct CropRect {
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
    friend bool operator==(const CropRect&, const CropRect&) = default;
};

struct ExportSettings {
    std::string framesText = "100";  // EXPORT_FRAMES
    std::string directory;           // EXPORT_DIR; New sets programDir + "/result"
    int typeIndex = 0;               // 0 JPEG, 1 PNG, 2 BMP, 3 WebP, 4 AVIF
    int jpegQuality = 90;            // 1 .. 100
    std::string widthText, heightText;
    bool proportional = true, html5Viewer = true;
    // Written only when set (EXPORT_EXTRA_SIZES=1, EXPORT_SMOOTH=1, after the other keys), so a
    // project that uses neither is written as before and older readers skip both lines.
    bool extraSizes = false;  // the viewer's half- and double-size frame sets
    bool smooth = false;      // smooth resize
    friend bool operator==(const ExportSettings&, const ExportSettings&) = default;
};

// "JPEG", "PNG", "BMP", "WEBP", "AVIF" for type index 0 .. 4; "JPEG" for any other index.
const char* ExportTypeName(int typeIndex);

struct Project {
    std::vector<std::string> sources;
    int rotationIndex = 0;  // 0..3
    int rotationDegrees() const { return rotationIndex * 90; }
    CropTexts crop;
    CropRect cropRect;
    bool cropOutlineVisible = false;
    int firstFrame = 0, lastFrame = 0;
    Color backgroundColor = 0x00FFFFFF;
    TextGrid keyframes = MakeKeyframesTable();
    TextGrid frames = MakeFramesTable();  // header + one empty row after New
    ExportSettings exportSettings;
    bool imagesLoaded = false;
    std::string programDir;          // directory of the executable, no trailing '/'
    std::string saveFileName;        // the file "Save" writes without asking
    std::string currentProjectFile;  // last saved or opened; what goes into the recent list
    std::string caption = kProgramTitle;

    // The "Tune positions" controls as the last Recalculatepositions1Click left them.
    std::vector<std::string> interlaceEntries{" "};
    int interlaceIndex = 0;
    int sliderMaximum = 0;
};

// Resets what "New" resets: sources, rotation, crop texts (outline hidden), frames 0/0, export frame
// count, directory, type, width and height, both tables, imagesLoaded, caption and the save file
// name. Background colour, cropRect, JPEG quality, the check boxes and currentProjectFile stay.
void New(Project& project);

// The first/last frame edits: a negative first frame becomes 0, one above the last frame becomes
// the last frame; a last frame at or beyond the source count becomes count - 1, one below the first
// frame becomes the first frame (so 0 for an empty list). Neither rebuilds a table.
void SetFirstFrame(Project& project, int value);
void SetLastFrame(Project& project, int value);

// The table operations applied to the project's own tables and frame range.
void RestoreKeyframes(Project& project);
void Recalculatepositions1Click(Project& project);

// The one reading of the crop texts: all four set, each as a whole number (a non-number gives 0 for
// left and top, 100 for width and height); otherwise the whole turned source, pictureWidth x
// pictureHeight from 0, 0.
CropArea ResolveCrop(const CropTexts& crop, int pictureWidth, int pictureHeight);

// When all four crop texts are set: cropRect from them (ResolveCrop; the sums saturate to 32 bits)
// and the outline shown. Otherwise cropRect is kept and the outline is left as it is.
void ApplyCropTexts(Project& project);

// Project file: KEY=VALUE lines written in a fixed order and read tolerantly (project_file.cpp).

inline constexpr std::string_view kProjectExtension = ".trn.prj";
// Far above any real project (one short line per source and keyframe); keeps a hostile file from
// making huge tables.
inline constexpr std::size_t kMaxProjectFileBytes = 16u << 20;

// Appends ".trn.prj" unless the name's last eight characters, lower-cased, already are it.
std::string ProjectFileNameForSave(std::string name);

// The file's lines, each ended by CR LF.
std::string WriteProjectText(const Project& project);

// Applies a project file's text: New, the export presets (quality 90, width and height empty, both
// boxes checked, extra sizes and smooth resize off), every line in order (frame lines clamped against what was read
// before them), then imagesLoaded (set only when there are sources), RestoreKeyframes, Recalculatepositions1Click and
// the crop rectangle. Never fails: unknown lines are ignored, non-numbers take defaults.
void ReadProjectText(std::string_view text, Project& project);

// Saves under ProjectFileNameForSave(fileName) atomically. saveFileName becomes that name in any
// case (the dialog keeps the forced extension); on success currentProjectFile and caption name it
// too. Values holding a line break cannot be stored and are refused before anything is written.
Status SaveProject(Project& project, const std::string& fileName);

// Reads and applies a project file. A read error leaves the project untouched; otherwise
// saveFileName, currentProjectFile and caption name the file.
Status OpenProject(Project& project, const std::string& path);

}  // namespace turnlet
