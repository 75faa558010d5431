// SPDX-License-Identifier: MIT
// The "Tune positions" page: the frames table, the frame slider, the interlace choice and the tuned view.
#include <QComboBox>
#include <QItemSelectionModel>
#include <QSlider>
#include <QTableView>

#include "frames_table_model.h"
#include "main_window.h"
#include "parameters_dialog.h"
#include "picture_view.h"

namespace turnlet {

void TForm2::RefreshFramesTable() {
    // Rows that go take the selection with them; that is no user's choice of a frame.
    TuneSelectionSyncing = true;
    FramesModel->refresh();
    TuneSelectionSyncing = false;
}

void TForm2::Recalculatepositions1Click() {
    turnlet::Recalculatepositions1Click(project);
    RefreshFramesTable();
    ComboBox2->clear();  // filling the list is no user's choice: ComboBox2Change does not run
    for (const std::string& entry : project.interlaceEntries) ComboBox2->addItem(QString::fromStdString(entry));
    ComboBox2->setCurrentIndex(project.interlaceIndex);
    // A slider above its new maximum moves to it, and that move runs TrackBar1Change.
    TrackBar1->setMaximum(project.sliderMaximum);
    Showstatus1Click();
}

void TForm2::RestoreKeyframes() {
    ControlsUpdating = true;
    turnlet::RestoreKeyframes(project);
    RefreshFramesTable();
    ControlsUpdating = false;
}

void TForm2::Drawtunedimage1Click() {
    if (!project.imagesLoaded) return;
    const int frames = FramesModel->rowCount();
    if (frames <= 0) return;
    CurrentFrame = std::clamp(CurrentFrame, 0, frames - 1);
    TuneSelectionSyncing = true;
    TrackBar1->setValue(CurrentFrame);
    StringGrid1->selectionModel()->setCurrentIndex(FramesModel->index(CurrentFrame, 0),
                                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    TuneSelectionSyncing = false;
    const std::string* path = SourceAt(project.firstFrame + CurrentFrame);
    if (!path) {
        TuneRedrawPending = false;
        return;
    }
    if (TunePictureWorker->busy()) {
        TuneRedrawPending = true;
        return;
    }
    const int interlace = ComboBox2->currentIndex();
    const std::string* interlacePath = interlace > 0 ? SourceAt(project.firstFrame + interlace - 1) : nullptr;
    TunePictureWorker->tryWake({*path, interlacePath ? *interlacePath : std::string(), project.rotationDegrees()});
    TuneRedrawPending = false;
}

void TForm2::StringGrid1Click() {
    if (TuneSelectionSyncing) return;
    const int row = StringGrid1->selectionModel()->currentIndex().row();
    if (row < 0) return;
    CurrentFrame = row;
    Drawtunedimage1Click();
}

void TForm2::StringGrid1DblClick() {
    if (Form9) Form9->show();
}

void TForm2::TrackBar1Change() {
    if (TuneSelectionSyncing) return;
    CurrentFrame = TrackBar1->value();
    Drawtunedimage1Click();
}

void TForm2::Button2Click() {
    CurrentFrame = TrackBar1->value() > 0 ? TrackBar1->value() - 1 : TrackBar1->maximum();
    Drawtunedimage1Click();
}

void TForm2::Button5Click() {
    CurrentFrame = TrackBar1->value() < TrackBar1->maximum() ? TrackBar1->value() + 1 : 0;
    Drawtunedimage1Click();
}

void TForm2::Button3Click() {
    if (!project.imagesLoaded) return;
    const int row = StringGrid1->selectionModel()->currentIndex().row();
    if (const std::string* key = SourceAt(project.firstFrame + row); key && row >= 0)
        DeleteKeyframe(project.keyframes, *key);
    RestoreKeyframes();
    Drawtunedimage1Click();
}

void TForm2::Button11Click() {
    if (!project.imagesLoaded) return;
    ClearKeyframes(project.keyframes);
    RestoreKeyframes();
    Drawtunedimage1Click();
}

void TForm2::Button4Click() {
    if (Form9) Form9->show();
}

void TForm2::ComboBox2Change() {
    if (ControlsUpdating) return;
    CurrentFrame = TrackBar1->value();
    Drawtunedimage1Click();
}

// The shift drag on the tuned view arrives with the tuned render.
void TForm2::Image2MouseDown(int, int, Qt::MouseButtons) {}
void TForm2::Image2MouseMove(int, int, Qt::MouseButtons) {}
void TForm2::Image2MouseUp(int, int, Qt::MouseButtons) {}
void TForm2::Image2MouseLeave() {
    DragActive = false;
}

}  // namespace turnlet
