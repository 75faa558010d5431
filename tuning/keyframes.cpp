// SPDX-License-Identifier: MIT
// The keyframes table operations.
#include "tuning/keyframes.h"

#include "base/number_text.h"

namespace turnlet {
namespace {

void WriteRow(TextGrid& keyframes, int row, const std::string& key, const KeyframeValues& values) {
    keyframes.set(row, 0, key);
    for (int j = 0; j < kKeyframeValueCount; ++j) keyframes.set(row, j + 1, FormatKeyframeNumber(values[j]));
}

}  // namespace

TextGrid MakeKeyframesTable() {
    return TextGrid(kKeyframesColumns, 1);
}

int FindKeyframe(const TextGrid& keyframes, std::string_view key) {
    for (int r = 1; r < keyframes.rowCount(); ++r)
        if (keyframes.at(r, 0) == key) return r;
    return -1;
}

void AddKeyframe(TextGrid& keyframes, const std::string& key, const KeyframeValues& values) {
    // Row 0 must exist before the first keyframe goes to row 1.
    int row = keyframes.rowCount() < 1 ? 1 : keyframes.rowCount();
    keyframes.setRowCount(row + 1);
    WriteRow(keyframes, row, key, values);
}

void ChangeKeyframe(TextGrid& keyframes, const std::string& key, const KeyframeValues& values) {
    int row = FindKeyframe(keyframes, key);
    if (row < 0) {
        AddKeyframe(keyframes, key, values);
        return;
    }
    WriteRow(keyframes, row, key, values);
}

void DeleteKeyframe(TextGrid& keyframes, std::string_view key) {
    int row = FindKeyframe(keyframes, key);
    if (row < 0) return;
    for (int r = row; r + 1 < keyframes.rowCount(); ++r)
        for (int c = 0; c < keyframes.columnCount(); ++c) keyframes.set(r, c, keyframes.at(r + 1, c));
    keyframes.setRowCount(keyframes.rowCount() - 1);
}

void ClearKeyframes(TextGrid& keyframes) {
    keyframes.setRowCount(1);
}

}  // namespace turnlet
