// SPDX-License-Identifier: MIT
// The frames table: one row per frame of the turn, filled from the keyframes by cyclic interpolation.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "tuning/text_grid.h"

namespace turnlet {

inline constexpr int kFramesColumns = 9;
// Designed header texts of row 0; the interface language may replace them.
inline constexpr std::array<const char*, kFramesColumns> kFramesHeader = {
    "№", "Keyframe", "DX", "DY", "Alpha", "Scale", "Brightness", "Contrast", "Gamma"};

// Header row and one empty frame row.
TextGrid MakeFramesTable();

// Number of frames of the turn, lastFrame - firstFrame + 1, never below 0 and small enough that
// the table's row count (N + 1) stays an int.
int FrameCount(int firstFrame, int lastFrame);

// y1 + (y2 - y1) * (x - x1) / (x2 - x1); callers guarantee x1 != x2.
double LinearInterpolate(double x1, double y1, double x2, double y2, double x);

// Fills every unmarked value in place from the marked ones, in straight lines between neighbouring
// keyframes and across the end of the turn. No mark: all values become defaultValue; one mark: its
// value holds everywhere. N is values.size(); marks beyond marks.size() count as unset.
void InterpolateCyclic(const std::vector<bool>& marks, std::vector<double>& values, double defaultValue);

// Rebuilds columns 1 to 8 of the frames table (N + 1 rows) from the keyframes table: a keyframe
// lands on the first frame in firstFrame .. lastFrame whose source path equals its key; the later
// of two keyframes on one frame wins. Values are written as FormatG. Column 0 is not touched.
// Frames beyond the source list match no key.
void RestoreKeyframes(TextGrid& frames, const TextGrid& keyframes, const std::vector<std::string>& sources,
                      int firstFrame, int lastFrame);

// What the "Tune positions" controls show for a frame range.
struct FrameRangeControls {
    std::vector<std::string> interlaceEntries;  // " ", then "0" .. "N-1"
    int interlaceIndex = 0;                     // entry 0: no interlace
    int sliderMaximum = 0;                      // N - 1
};

// Re-dimensions the frames table to N + 1 rows and writes the frame numbers into column 0; the
// other columns are left for the next RestoreKeyframes (rows it adds are empty).
FrameRangeControls Recalculatepositions1Click(TextGrid& frames, int firstFrame, int lastFrame);

}  // namespace turnlet
