// SPDX-License-Identifier: MIT
// The parameters dialog: angle, scale and tone of the current frame.
#include "parameters_dialog.h"

#include <QLabel>
#include <QPushButton>
#include <QSlider>

#include "base/number_text.h"
#include "main_window.h"
#include "tuning/frame_edits.h"

namespace turnlet {
namespace {

struct SliderDesign {
    const char* label;
    const char* labelName;
    int labelLeft, top;
    const char* sliderName;
    int minimum, maximum;
};

// Labels, rows and ranges as designed; the row's column is 4 + the index.
constexpr SliderDesign kSliders[5] = {
    {"Angle", "Label1", 16, 16, "TrackBar1", -180, 180},      {"Scale", "Label2", 16, 48, "TrackBar2", -1000, 1000},
    {"Brightness", "Label3", 18, 80, "TrackBar3", -100, 100}, {"Contrast", "Label4", 18, 112, "TrackBar4", -100, 100},
    {"Gamma", "Label5", 18, 144, "TrackBar5", -100, 100},
};
constexpr int kFirstColumn = 4;

}  // namespace

TForm9::TForm9(TForm2& mainWindow) : QDialog(&mainWindow), mainWindow_(mainWindow) {
    setObjectName(QStringLiteral("Form9"));
    setWindowTitle(QStringLiteral("Parameters"));
    setFixedSize(628, 207);
    // A tool window the user keeps open beside the main window while stepping through the frames.
    setModal(false);

    QLabel** labels[5] = {&Label1, &Label2, &Label3, &Label4, &Label5};
    QSlider** sliders[5] = {&TrackBar1, &TrackBar2, &TrackBar3, &TrackBar4, &TrackBar5};
    void (TForm9::*handlers[5])() = {&TForm9::TrackBar1Change, &TForm9::TrackBar2Change, &TForm9::TrackBar3Change,
                                     &TForm9::TrackBar4Change, &TForm9::TrackBar5Change};
    for (int i = 0; i < 5; ++i) {
        const SliderDesign& d = kSliders[i];
        QLabel* label = new QLabel(QString::fromLatin1(d.label), this);
        label->setObjectName(QString::fromLatin1(d.labelName));
        label->adjustSize();
        label->setGeometry(d.labelLeft, d.top, label->width(), 25);  // centred on its slider
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        QSlider* slider = new QSlider(Qt::Horizontal, this);
        slider->setObjectName(QString::fromLatin1(d.sliderName));
        slider->setGeometry(72, d.top, 537, 25);
        slider->setRange(d.minimum, d.maximum);
        slider->setTickPosition(QSlider::NoTicks);
        slider->setValue(0);
        // The value itself, on pointing at the slider: the track has no scale to read it from.
        slider->setToolTip(QStringLiteral("0"));
        connect(slider, &QSlider::valueChanged, slider,
                [slider](int value) { slider->setToolTip(QString::number(value)); });
        // A position set by the program runs the handler too; ControlsUpdating tells them apart.
        connect(slider, &QSlider::valueChanged, this, handlers[i]);
        *labels[i] = label;
        *sliders[i] = slider;
    }
    Button1 = new QPushButton(QStringLiteral("Default values"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(216, 174, 233, 25);
    connect(Button1, &QPushButton::clicked, this, &TForm9::Button1Click);
}

void TForm9::ShowFrameValues(const TextGrid& frames, int row) {
    QSlider* sliders[5] = {TrackBar1, TrackBar2, TrackBar3, TrackBar4, TrackBar5};
    for (int i = 0; i < 5; ++i) sliders[i]->setValue(CellAsInteger(frames.at(row, kFirstColumn + i)));
}

void TForm9::TrackBar1Change() {
    SliderChange(4, TrackBar1->value());
}
void TForm9::TrackBar2Change() {
    SliderChange(5, TrackBar2->value());
}
void TForm9::TrackBar3Change() {
    SliderChange(6, TrackBar3->value());
}
void TForm9::TrackBar4Change() {
    SliderChange(7, TrackBar4->value());
}
void TForm9::TrackBar5Change() {
    SliderChange(8, TrackBar5->value());
}

void TForm9::SliderChange(int column, int value) {
    TForm2& m = mainWindow_;
    if (!m.project.imagesLoaded || m.ControlsUpdating) return;
    const int row = m.SelectedFrameRow();
    const std::string* key = m.SourceAt(m.project.firstFrame + row - 1);
    if (!key) return;
    ChangeKeyframe(m.project.keyframes, *key, RowValuesWith(m.project.frames, row, column, value));
    m.RestoreKeyframes();
    m.Drawtunedimage1Click();
}

void TForm9::Button1Click() {
    TForm2& m = mainWindow_;
    if (!m.project.imagesLoaded) return;
    const int row = m.SelectedFrameRow();
    if (const std::string* key = m.SourceAt(m.project.firstFrame + row - 1))
        ChangeKeyframe(m.project.keyframes, *key, KeyframeValues{});
    m.RestoreKeyframes();
    m.Drawtunedimage1Click();
}

}  // namespace turnlet
