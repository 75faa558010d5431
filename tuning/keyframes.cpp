// SPDX-License-Identifier: MIT
// Keyframes: the frames whose seven values are set.
#include "tuning/keyframes.h"

#include "base/number_text.h"

namespace turnlet {

double KeyframeNumber(double value) {
    return ParseLeadingReal(FormatKeyframeNumber(value));
}

int FindKeyframe(const Keyframes& keyframes, std::string_view path) {
    for (std::size_t i = 0; i < keyframes.size(); ++i)
        if (keyframes[i].path == path) return static_cast<int>(i);
    return -1;
}

void ChangeKeyframe(Keyframes& keyframes, const std::string& path, const KeyframeValues& values) {
    KeyframeValues stored;
    for (int j = 0; j < kKeyframeValueCount; ++j) stored[j] = KeyframeNumber(values[j]);
    const int index = FindKeyframe(keyframes, path);
    if (index < 0) {
        keyframes.push_back({path, stored});
        return;
    }
    keyframes[static_cast<std::size_t>(index)].values = stored;
}

void DeleteKeyframe(Keyframes& keyframes, std::string_view path) {
    const int index = FindKeyframe(keyframes, path);
    if (index >= 0) keyframes.erase(keyframes.begin() + index);
}

}  // namespace turnlet
