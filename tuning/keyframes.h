// SPDX-License-Identifier: MIT
// The keyframes table: one row per keyframe, keyed by the exact image path, seven values as number texts.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "tuning/text_grid.h"

namespace turnlet {

inline constexpr int kKeyframesColumns = 8;
inline constexpr int kKeyframeValueCount = 7;

// DX, DY, Angle, Scale, Brightness, Contrast, Gamma: keyframes-table columns 1 to 7 and
// frames-table columns 2 to 8.
using KeyframeValues = std::array<double, kKeyframeValueCount>;

// Row 0 exists always and never holds a keyframe; keyframes are rows 1 .. rowCount() - 1 in
// the order they were made.
TextGrid MakeKeyframesTable();

// First row r >= 1 whose column 0 equals key exactly, or -1.
int FindKeyframe(const TextGrid& keyframes, std::string_view key);
// Appends a row (without looking for an existing one); values written by FormatKeyframeNumber.
void AddKeyframe(TextGrid& keyframes, const std::string& key, const KeyframeValues& values);
// Rewrites the first row with that key, or appends one when there is none.
void ChangeKeyframe(TextGrid& keyframes, const std::string& key, const KeyframeValues& values);
// Removes the first row with that key; nothing when there is none.
void DeleteKeyframe(TextGrid& keyframes, std::string_view key);
// Back to row 0 alone.
void ClearKeyframes(TextGrid& keyframes);

}  // namespace turnlet
