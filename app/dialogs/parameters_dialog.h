// SPDX-License-Identifier: MIT
// The parameters dialog: angle, scale and tone of the current frame.
#pragma once

#include <QDialog>

class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QSlider;

namespace turnlet {

class AppContext;

// A modeless tool window beside the main window. Its sliders show the values of the frame the
// "Tune positions" page shows; a user's move makes that frame a keyframe with that one value
// replaced (a whole drag of a slider is one step of the history). Created once at start-up and kept
// until the end; closing only hides it.
class TForm9 : public QDialog {
    Q_OBJECT

  public:
    TForm9(AppContext& app, QWidget* parent);

    // Angle, Scale, Brightness, Contrast, Gamma.
    QLabel *Label1 = nullptr, *Label2 = nullptr, *Label3 = nullptr, *Label4 = nullptr, *Label5 = nullptr;
    QSlider *TrackBar1 = nullptr, *TrackBar2 = nullptr, *TrackBar3 = nullptr, *TrackBar4 = nullptr,
            *TrackBar5 = nullptr;
    // Each slider's value, to read exactly and to type.
    QDoubleSpinBox *Edit1 = nullptr, *Edit2 = nullptr, *Edit3 = nullptr, *Edit4 = nullptr, *Edit5 = nullptr;
    QPushButton* Button1 = nullptr;  // "Default values"

    void TrackBar1Change();
    void TrackBar2Change();
    void TrackBar3Change();
    void TrackBar4Change();
    void TrackBar5Change();
    void Button1Click();

    // The sliders and fields show frame k's values (the sliders in their steps, clamped by their
    // range; the angle's in tenths of a degree).
    void ShowFrame(int k);

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    // Slider moved or field typed: the frame becomes a keyframe with that value replaced.
    void SliderChange(int position, int index);
    void FieldChange(double value, int index);
    void SetValue(double value, int index);

    AppContext& app_;
    int frame_ = 0;
    bool updating_ = false;
    bool placed_ = false;  // placed beside the main window at its first showing
};

}  // namespace turnlet
