// SPDX-License-Identifier: MIT
// Edits of one frame on the "Tune positions" page: its values as a keyframe, a slider's value, the shift drag.
#pragma once

#include <optional>

#include "tuning/keyframes.h"
#include "tuning/text_grid.h"

namespace turnlet {

// Columns 2 to 8 of frames-table row `row` read as reals (DX, DY, Angle, Scale, Brightness,
// Contrast, Gamma); a missing row reads as zeros.
KeyframeValues RowValues(const TextGrid& frames, int row);

// The same with one frames-table column (2 to 8) taking value instead.
KeyframeValues RowValuesWith(const TextGrid& frames, int row, int column, double value);

// Screen pixels per frame pixel when a frame of frameWidth x frameHeight is fitted into a view:
// the smaller of viewWidth / frameWidth and viewHeight / frameHeight; 0 when either is empty.
double ViewFit(int viewWidth, int viewHeight, int frameWidth, int frameHeight);

// The shift drag on the tuned view. Each move adds the pointer's travel, converted to frame pixels
// by the fit, to DX and DY of the frame's row, marks the row "Y" and writes both "%6.2f"; nothing
// is drawn and no keyframe is made until the drag ends. The drag flag is the program's one
// DragActive, shared with the crop selection.
class ShiftDrag {
  public:
    explicit ShiftDrag(bool& dragActive) : dragActive_(dragActive) {}

    // Any button pressed on the view.
    void Press(int x, int y);
    // A move with the left button held during a drag. False (nothing written, the position kept)
    // when no drag is active, the fit is not positive or the row is not in the table.
    bool Move(TextGrid& frames, int row, int x, int y, double fit);
    // The drag ends (release, or the pointer leaving the view): the row's values for the frame's
    // keyframe, or nothing when no drag was active. The drag flag is cleared either way.
    std::optional<KeyframeValues> Finish(const TextGrid& frames, int row);

    int x() const { return x_; }
    int y() const { return y_; }

  private:
    bool& dragActive_;
    int x_ = 0, y_ = 0;  // pointer at the press or the last move taken
};

}  // namespace turnlet
