// SPDX-License-Identifier: MIT
// Keyframes: the frames whose seven values are set, keyed by the exact image path.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace turnlet {

inline constexpr int kKeyframeValueCount = 7;

// DX, DY, Angle, Scale, Brightness, Contrast, Gamma.
using KeyframeValues = std::array<double, kKeyframeValueCount>;
enum FrameValue { kDX = 0, kDY, kAngle, kScale, kBrightness, kContrast, kGamma };

struct Keyframe {
    std::string path;
    KeyframeValues values{};
    friend bool operator==(const Keyframe&, const Keyframe&) = default;
};

// In the order they were made; of two with one key the first is the one the edits change.
using Keyframes = std::vector<Keyframe>;

// A keyframe value as the project file keeps it (FormatKeyframeNumber, read back): every value
// that enters a keyframe takes this form, so a saved and reopened project holds the same numbers.
double KeyframeNumber(double value);

// Index of the first keyframe whose key equals path exactly, or -1.
int FindKeyframe(const Keyframes& keyframes, std::string_view path);
// Rewrites the first keyframe with that key, or appends one; the values take the file's form.
void ChangeKeyframe(Keyframes& keyframes, const std::string& path, const KeyframeValues& values);
// Removes the first keyframe with that key; nothing when there is none.
void DeleteKeyframe(Keyframes& keyframes, std::string_view path);

}  // namespace turnlet
