// SPDX-License-Identifier: MIT
// The parameters dialog: angle, scale and tone of the current frame.
#pragma once

#include <QDialog>

#include "tuning/text_grid.h"

class QLabel;
class QPushButton;
class QSlider;

namespace turnlet {

class TForm2;

// A modeless tool window beside the main window. Its sliders show the current frame's row of the
// frames table (set by the main window's "Draw tuned image" under ControlsUpdating); a user's move
// makes the frame a keyframe with that one value replaced. Created once at start-up, after the main
// window, and kept until the end; closing only hides it.
class TForm9 : public QDialog {
    Q_OBJECT

  public:
    explicit TForm9(TForm2& mainWindow);

    // Angle, Scale, Brightness, Contrast, Gamma: frames-table columns 4 to 8.
    QLabel *Label1 = nullptr, *Label2 = nullptr, *Label3 = nullptr, *Label4 = nullptr, *Label5 = nullptr;
    QSlider *TrackBar1 = nullptr, *TrackBar2 = nullptr, *TrackBar3 = nullptr, *TrackBar4 = nullptr,
            *TrackBar5 = nullptr;
    QPushButton* Button1 = nullptr;  // "Default values"

    void TrackBar1Change();
    void TrackBar2Change();
    void TrackBar3Change();
    void TrackBar4Change();
    void TrackBar5Change();
    void Button1Click();

    // The five sliders from row `row`, each cell's integer part, clamped by the slider's range. The
    // caller holds ControlsUpdating, so the change handlers take these for no user's move.
    void ShowFrameValues(const TextGrid& frames, int row);

  private:
    // Slider moved: the current frame becomes a keyframe with column's value replaced.
    void SliderChange(int column, int value);

    TForm2& mainWindow_;
};

}  // namespace turnlet
