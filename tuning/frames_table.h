// SPDX-License-Identifier: MIT
// The frames of the turn: each frame's seven values, filled from the keyframes by cyclic interpolation.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "tuning/keyframes.h"

namespace turnlet {

inline constexpr int kFramesColumns = 9;
// Designed header texts of the frames table; the interface language may replace them.
inline constexpr std::array<const char*, kFramesColumns> kFramesHeader = {
    "№", "Keyframe", "DX", "DY", "Alpha", "Scale", "Brightness", "Contrast", "Gamma"};

// One frame of the turn: whether a keyframe lands on it, and its values.
struct FrameRow {
    bool key = false;
    KeyframeValues values{};
    friend bool operator==(const FrameRow&, const FrameRow&) = default;
};
// Frame k of the turn at index k.
using FrameRows = std::vector<FrameRow>;

// Number of frames of the turn, lastFrame - firstFrame + 1, never below 0 and small enough that
// a table of them with a header row stays within an int.
int FrameCount(int firstFrame, int lastFrame);

// y1 + (y2 - y1) * (x - x1) / (x2 - x1); callers guarantee x1 != x2.
double LinearInterpolate(double x1, double y1, double x2, double y2, double x);

// Fills every unmarked value in place from the marked ones, in straight lines between neighbouring
// keyframes and across the end of the turn. No mark: all values become defaultValue; one mark: its
// value holds everywhere. N is values.size(); marks beyond marks.size() count as unset.
void InterpolateCyclic(const std::vector<bool>& marks, std::vector<double>& values, double defaultValue);

// A frame value as the frames table shows it (FormatG, six significant digits, read back): every
// frame's values take this form, and the tuned view and the export use them so.
double FrameNumber(double value);

// The frames firstFrame .. lastFrame from the keyframes: a keyframe lands on the first frame whose
// source path equals its key; the later of two keyframes on one frame wins; frames beyond the
// source list match no key. Every value takes the FrameNumber form.
FrameRows RestoreKeyframes(const Keyframes& keyframes, const std::vector<std::string>& sources, int firstFrame,
                           int lastFrame);

}  // namespace turnlet
