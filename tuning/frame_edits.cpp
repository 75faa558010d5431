// SPDX-License-Identifier: MIT
// Edits of one frame on the "Tune positions" page.
#include "tuning/frame_edits.h"

#include <algorithm>

#include "base/number_text.h"

namespace turnlet {

double ViewFit(int viewWidth, int viewHeight, int frameWidth, int frameHeight) {
    if (viewWidth <= 0 || viewHeight <= 0 || frameWidth <= 0 || frameHeight <= 0) return 0;
    return std::min(static_cast<double>(viewWidth) / frameWidth, static_cast<double>(viewHeight) / frameHeight);
}

double DragShift(double value) {
    return ParseLeadingReal(FormatFixed62(value));
}

void ShiftDrag::Press(int x, int y, const KeyframeValues& values) {
    x_ = x;
    y_ = y;
    values_ = values;
    dragActive_ = true;
}

std::optional<KeyframeValues> ShiftDrag::Move(int x, int y, double fit) {
    if (!dragActive_ || !(fit > 0)) return std::nullopt;
    values_[kDX] = DragShift(values_[kDX] + (x - x_) / fit);
    values_[kDY] = DragShift(values_[kDY] + (y - y_) / fit);
    x_ = x;
    y_ = y;
    return values_;
}

bool ShiftDrag::Finish() {
    const bool active = dragActive_;
    dragActive_ = false;
    return active;
}

}  // namespace turnlet
