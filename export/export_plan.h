// SPDX-License-Identifier: MIT
// A frozen export: every frame's source and values and every setting, taken once when it starts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/color.h"
#include "base/status.h"
#include "render/frame_render.h"

namespace turnlet {

// One output frame: its source and the frame's values as the transform takes them.
struct PlannedFrame {
    std::string source;
    std::int32_t shiftX = 0, shiftY = 0;  // the negated DX and DY
    double angle = 0, scale = 0;          // the negated Angle and Scale
    double brightness = 0, contrast = 0, gamma = 0;
    friend bool operator==(const PlannedFrame&, const PlannedFrame&) = default;
};

// The viewer page of an export: the template it is filled from.
struct PlannedPage {
    std::string templatePath;
    friend bool operator==(const PlannedPage&, const PlannedPage&) = default;
};

// Nothing in an export reads the project or the windows after this is made, so edits made while
// it runs cannot mix two sets of settings in one export.
struct ExportPlan {
    std::vector<PlannedFrame> frames;
    int rotationDegrees = 0;
    Color background = 0x00FFFFFF;
    std::int32_t cropLeft = 0, cropTop = 0, cropWidth = 0, cropHeight = 0;
    std::int32_t outputWidth = 0, outputHeight = 0;
    int typeIndex = 0;  // 0 JPEG, 1 PNG, 2 BMP
    int jpegQuality = 90;
    std::string directory;
    bool smooth = false;
    // Every frame also at half and double size, in the sub-folders the viewer page names.
    bool extraSizes = false;
    std::optional<PlannedPage> page;
    friend bool operator==(const ExportPlan&, const ExportPlan&) = default;

    int frameCount() const { return static_cast<int>(frames.size()); }
    // The renderer's parameters of output frame k (0-based) at the main size.
    FrameParams Frame(int k) const;
    // "0001.jpg" for k = 0.
    std::string FileName(int k) const;
};

// ".jpg", ".png" or ".bmp" for the type list's items 0, 1, 2.
std::string ExportExtension(int typeIndex);

// Output frame k of n shows frame (k * (m - 1)) / (n - 1) of the m frames of the turn; a single
// output frame shows the first frame of the turn.
int ExportSourceFrame(int k, int n, int m);

// Most output frames one export holds, far above the dialog's 1000.
inline constexpr int kMaxExportFrames = 100000;

// An error naming n unless 1 <= n <= kMaxExportFrames.
Status CheckExportFrames(int n);

// Frame files of an earlier export in the plan's folder (and its extra sets' folders) that this
// export will not write over: numbered files of any frame type beyond its frames, or of another
// type. Left beside the new frames they would mix two exports.
std::vector<std::string> LeftoverFrames(const ExportPlan& plan);

// A frame that went out in the background colour because its source is of no known type.
struct FrameProblem {
    int frame = 0;  // 1-based, as the file is numbered
    std::string source;
    friend bool operator==(const FrameProblem&, const FrameProblem&) = default;
};

// How an export ended. The words are the caller's to choose.
struct ExportOutcome {
    enum class End { Finished, Stopped, Failed };
    End end = End::Finished;
    int total = 0;    // frames planned
    int written = 0;  // frames whose files (all sizes) were written, numbered 1 .. written
    std::vector<FrameProblem> problems;
    Status failure;  // why it ended early, for Failed
    // What became of the viewer page when fewer frames were written than it listed.
    enum class Page { None, Complete, Shortened, Removed };
    Page page = Page::None;
    Status pageFailure;  // the page could not be shortened or removed
    bool succeeded() const { return end == End::Finished && problems.empty() && pageFailure.ok(); }
};

}  // namespace turnlet
