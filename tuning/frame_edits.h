// SPDX-License-Identifier: MIT
// Edits of one frame on the "Tune positions" page: the view's fit and the shift drag.
#pragma once

#include <optional>

#include "tuning/keyframes.h"

namespace turnlet {

// Screen pixels per frame pixel when a frame of frameWidth x frameHeight is fitted into a view:
// the smaller of viewWidth / frameWidth and viewHeight / frameHeight; 0 when either is empty.
double ViewFit(int viewWidth, int viewHeight, int frameWidth, int frameHeight);

// A shift as a drag writes it, "%6.2f" read back.
double DragShift(double value);

// The shift drag on the tuned view. Each move adds the pointer's travel, converted to frame pixels
// by the fit, to DX and DY of the frame being dragged (each move's sum kept in the drag's own form);
// the caller makes the frame a keyframe with the values a move returns, so the view follows the
// pointer. The drag flag is the program's one DragActive, shared with the crop selection.
class ShiftDrag {
  public:
    explicit ShiftDrag(bool& dragActive) : dragActive_(dragActive) {}

    // Any button pressed on the view, over a frame showing values.
    void Press(int x, int y, const KeyframeValues& values);
    // A move with the left button held during a drag: the frame's new values. Nothing (the
    // position kept) when no drag is active or the fit is not positive.
    std::optional<KeyframeValues> Move(int x, int y, double fit);
    // The drag ends (release, or the pointer leaving the view): whether one was active, so that the
    // frame is pinned with values(). The drag flag is cleared either way.
    bool Finish();

    // The frame's values as the drag left them (as pressed when it never moved).
    const KeyframeValues& values() const { return values_; }
    int x() const { return x_; }
    int y() const { return y_; }

  private:
    bool& dragActive_;
    int x_ = 0, y_ = 0;  // pointer at the press or the last move taken
    KeyframeValues values_{};
};

}  // namespace turnlet
