// SPDX-License-Identifier: MIT
// Edits of one frame on the "Tune positions" page.
#include "tuning/frame_edits.h"

#include <algorithm>

#include "base/number_text.h"

namespace turnlet {

KeyframeValues RowValues(const TextGrid& frames, int row) {
    KeyframeValues values{};
    for (int i = 0; i < kKeyframeValueCount; ++i) values[i] = ParseLeadingReal(frames.at(row, i + 2));
    return values;
}

KeyframeValues RowValuesWith(const TextGrid& frames, int row, int column, double value) {
    KeyframeValues values = RowValues(frames, row);
    if (column >= 2 && column < 2 + kKeyframeValueCount) values[column - 2] = value;
    return values;
}

double ViewFit(int viewWidth, int viewHeight, int frameWidth, int frameHeight) {
    if (viewWidth <= 0 || viewHeight <= 0 || frameWidth <= 0 || frameHeight <= 0) return 0;
    return std::min(static_cast<double>(viewWidth) / frameWidth, static_cast<double>(viewHeight) / frameHeight);
}

void ShiftDrag::Press(int x, int y) {
    x_ = x;
    y_ = y;
    dragActive_ = true;
}

bool ShiftDrag::Move(TextGrid& frames, int row, int x, int y, double fit) {
    if (!dragActive_ || !(fit > 0) || row < 1 || row >= frames.rowCount()) return false;
    const double dx = ParseLeadingReal(frames.at(row, 2)) + (x - x_) / fit;
    const double dy = ParseLeadingReal(frames.at(row, 3)) + (y - y_) / fit;
    frames.set(row, 1, "Y");
    frames.set(row, 2, FormatFixed62(dx));
    frames.set(row, 3, FormatFixed62(dy));
    x_ = x;
    y_ = y;
    return true;
}

std::optional<KeyframeValues> ShiftDrag::Finish(const TextGrid& frames, int row) {
    const bool active = dragActive_;
    dragActive_ = false;
    if (!active) return std::nullopt;
    return RowValues(frames, row);
}

}  // namespace turnlet
