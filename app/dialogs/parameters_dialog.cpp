// SPDX-License-Identifier: MIT
// The parameters dialog: angle, scale and tone of the current frame.
#include "dialogs/parameters_dialog.h"

#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSlider>

#include "app_context.h"
#include "scoped_flag.h"
#include "tuning/tune_params.h"

namespace turnlet {
namespace {

struct SliderDesign {
    const char* label;
    const char* labelName;
    int labelLeft, top;
    const char* sliderName;
    const char* fieldName;
    double minimum, maximum;
    // Slider steps per unit: the angle moves in tenths of a degree.
    int steps;
};

// Labels, rows and ranges as designed; slider i sets the frame value kAngle + i.
constexpr SliderDesign kSliders[5] = {
    {"Angle", "Label1", 16, 16, "TrackBar1", "Edit1", -180, 180, 10},
    {"Scale", "Label2", 16, 48, "TrackBar2", "Edit2", -1000, 1000, 1},
    {"Brightness", "Label3", 18, 80, "TrackBar3", "Edit3", -100, 100, 1},
    {"Contrast", "Label4", 18, 112, "TrackBar4", "Edit4", -100, 100, 1},
    {"Gamma", "Label5", 18, 144, "TrackBar5", "Edit5", -100, 100, 1},
};

}  // namespace

TForm9::TForm9(AppContext& app, QWidget* parent) : QDialog(parent), app_(app) {
    setObjectName(QStringLiteral("Form9"));
    setWindowTitle(QStringLiteral("Parameters"));
    // Wider than designed: each slider's value stands beside it in a field to type into.
    setFixedSize(716, 207);
    // A tool window the user keeps open beside the main window while stepping through the frames.
    setModal(false);

    QLabel** labels[5] = {&Label1, &Label2, &Label3, &Label4, &Label5};
    QSlider** sliders[5] = {&TrackBar1, &TrackBar2, &TrackBar3, &TrackBar4, &TrackBar5};
    QDoubleSpinBox** fields[5] = {&Edit1, &Edit2, &Edit3, &Edit4, &Edit5};
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
        slider->setRange(static_cast<int>(d.minimum * d.steps), static_cast<int>(d.maximum * d.steps));
        slider->setTickPosition(QSlider::NoTicks);
        slider->setValue(0);
        // A position set by the program runs the handler too; updating_ tells them apart.
        connect(slider, &QSlider::valueChanged, this, handlers[i]);
        // A drag of the slider is one step of the history.
        connect(slider, &QSlider::sliderPressed, this, [this] { app_.session().BeginGesture(); });
        connect(slider, &QSlider::sliderReleased, this, [this] { app_.session().EndGesture(); });
        QDoubleSpinBox* field = new QDoubleSpinBox(this);
        field->setObjectName(QString::fromLatin1(d.fieldName));
        field->setGeometry(616, d.top, 92, 25);
        field->setRange(d.minimum, d.maximum);
        field->setDecimals(3);
        field->setSingleStep(1.0 / d.steps);
        field->setKeyboardTracking(false);  // the value counts once typed, not per keystroke
        connect(field, &QDoubleSpinBox::valueChanged, this, [this, i](double value) { FieldChange(value, i); });
        *labels[i] = label;
        *sliders[i] = slider;
        *fields[i] = field;
    }
    Button1 = new QPushButton(QStringLiteral("Default values"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(216, 174, 233, 25);
    connect(Button1, &QPushButton::clicked, this, &TForm9::Button1Click);
}

void TForm9::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (placed_ || !parentWidget()) return;
    placed_ = true;
    // Beside the main window, not over the picture it controls: to its right, else below, else left.
    const QRect main = parentWidget()->frameGeometry();
    const QScreen* screen = parentWidget()->screen();
    const QRect room = screen ? screen->availableGeometry() : main;
    const QSize size = frameGeometry().size();
    const QPoint candidates[] = {
        {main.right() + 8, main.top()}, {main.left(), main.bottom() + 8}, {main.left() - size.width() - 8, main.top()}};
    for (const QPoint& at : candidates) {
        if (room.contains(QRect(at, size))) {
            move(at);
            return;
        }
    }
    move(room.right() - size.width(), room.top());
}

void TForm9::ShowFrame(int k) {
    frame_ = k;
    const FrameRows& frames = app_.session().frames();
    const KeyframeValues none{};
    const KeyframeValues& values = k >= 0 && k < static_cast<int>(frames.size()) ? frames[k].values : none;
    const ScopedFlag updating(updating_);
    QSlider* sliders[5] = {TrackBar1, TrackBar2, TrackBar3, TrackBar4, TrackBar5};
    QDoubleSpinBox* fields[5] = {Edit1, Edit2, Edit3, Edit4, Edit5};
    for (int i = 0; i < 5; ++i) {
        const double value = values[kAngle + i];
        sliders[i]->setValue(WholePixels(value * kSliders[i].steps));
        fields[i]->setValue(value);
    }
}

void TForm9::TrackBar1Change() {
    SliderChange(TrackBar1->value(), 0);
}
void TForm9::TrackBar2Change() {
    SliderChange(TrackBar2->value(), 1);
}
void TForm9::TrackBar3Change() {
    SliderChange(TrackBar3->value(), 2);
}
void TForm9::TrackBar4Change() {
    SliderChange(TrackBar4->value(), 3);
}
void TForm9::TrackBar5Change() {
    SliderChange(TrackBar5->value(), 4);
}

void TForm9::SliderChange(int position, int index) {
    SetValue(static_cast<double>(position) / kSliders[index].steps, index);
}

void TForm9::FieldChange(double value, int index) {
    SetValue(value, index);
}

void TForm9::SetValue(double value, int index) {
    EditorSession& session = app_.session();
    const FrameRows& frames = session.frames();
    if (updating_ || !session.project().imagesLoaded() || frame_ < 0 || frame_ >= static_cast<int>(frames.size()))
        return;
    // Only the value moved changes: the others keep every digit, those Auto-align found included.
    KeyframeValues values = frames[static_cast<std::size_t>(frame_)].values;
    values[kAngle + index] = value;
    session.SetFrameValues(frame_, values);
}

void TForm9::Button1Click() {
    if (!app_.session().project().imagesLoaded()) return;
    app_.session().SetFrameValues(frame_, KeyframeValues{});
}

}  // namespace turnlet
