// SPDX-License-Identifier: MIT
// The "Tune positions" page: the frames table, the frame slider, the interlace choice, the shift drag and the tuned
// view.
#include <QComboBox>
#include <QItemSelectionModel>
#include <QSlider>
#include <QTableView>

#include <algorithm>

#include "frames_table_model.h"
#include "controls.h"
#include "main_window.h"
#include "parameters_dialog.h"
#include "picture_view.h"
#include "scoped_flag.h"

namespace turnlet {

void TForm2::RefreshFramesTable() {
    // Rows that go take the selection with them; that is no user's choice of a frame.
    const ScopedFlag syncing(TuneSelectionSyncing);
    FramesModel->refresh();
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
    const ScopedFlag updating(ControlsUpdating);
    turnlet::RestoreKeyframes(project);
    RefreshFramesTable();
}

QSize TForm2::DevicePixels(const QWidget* view) {
    return (QSizeF(view->size()) * view->devicePixelRatioF()).toSize();
}

int TForm2::SelectedFrameRow() const {
    const int row = StringGrid1->selectionModel()->currentIndex().row();
    return (row >= 0 ? row : CurrentFrame) + 1;
}

void TForm2::Drawtunedimage1Click() {
    if (!project.imagesLoaded) {
        TuneRedrawPending = false;
        return;
    }
    const int frames = project.frames.rowCount() - 1;
    if (frames <= 0) {
        TuneRedrawPending = false;
        return;
    }
    // Kept in range before anything reads a row: the range may have changed under it.
    CurrentFrame = std::clamp(CurrentFrame, 0, frames - 1);
    const int row = CurrentFrame + 1;
    {
        const ScopedFlag syncing(TuneSelectionSyncing);
        TrackBar1->setValue(CurrentFrame);
        StringGrid1->selectionModel()->setCurrentIndex(FramesModel->index(CurrentFrame, 0),
                                                       QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    if (Form9) {
        // The dialog shows the current frame's values whether it is open or not.
        const ScopedFlag updating(ControlsUpdating);
        Form9->ShowFrameValues(project.frames, row);
    }
    const std::string* path = SourceAt(project.firstFrame + CurrentFrame);
    if (!path || PageControl1->currentIndex() != 2) {
        // A range beyond the list has nothing to draw; a page not in view is drawn when entered.
        TuneRedrawPending = false;
        return;
    }
    if (TunePictureWorker->busy()) {
        TuneRedrawPending = true;
        return;
    }
    const CropArea crop = ResolveCrop(project.crop, Image1->pictureWidth(), Image1->pictureHeight());
    const int interlaceRow = std::max(ComboBox2->currentIndex(), 0);
    const std::string* TuneInterlacePath = interlaceRow > 0 ? SourceAt(project.firstFrame + interlaceRow - 1) : nullptr;
    TuneRequest request;
    request.TuneFramePath = *path;
    request.TuneInterlacePath = TuneInterlacePath ? *TuneInterlacePath : std::string();
    request.rotationDegrees = project.rotationDegrees();
    request.MainTuneParams = TuneParamsFromRow(project.frames, row, crop, project.backgroundColor);
    request.InterlaceTuneParams = TuneParamsFromRow(project.frames, interlaceRow, crop, project.backgroundColor);
    const QSize view = DevicePixels(Image2);
    request.viewWidth = view.width();
    request.viewHeight = view.height();
    request.generation = sourceGeneration_;
    TunePictureWorker->tryWake(std::move(request));
    TuneRedrawPending = false;
}

void TForm2::TunePictureHandOver(const TuneResult& result) {
    if (result.request.generation != sourceGeneration_) return;
    // The view stands for the full-size frame: its fit, and so a drag's conversion, are the frame's.
    Image2->setPicture(result.display, result.frameWidth, result.frameHeight);
    SetStatusPanel(kPathPanel, result.request.TuneFramePath);
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
    const int row = SelectedFrameRow();
    if (const std::string* key = SourceAt(project.firstFrame + row - 1)) DeleteKeyframe(project.keyframes, *key);
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

void TForm2::Image2MouseDown(int x, int y, Qt::MouseButtons) {
    shiftDrag_.Press(x, y);
}

void TForm2::Image2MouseMove(int x, int y, Qt::MouseButtons buttons) {
    if (!project.imagesLoaded || !(buttons & Qt::LeftButton)) return;
    // Screen pixels per pixel of the full-size frame, whether the view holds the frame or the weave.
    const double fit = ViewFit(Image2->width(), Image2->height(), Image2->pictureWidth(), Image2->pictureHeight());
    if (shiftDrag_.Move(project.frames, SelectedFrameRow(), x, y, fit)) RefreshFramesTable();
}

void TForm2::Image2MouseUp(int x, int y, Qt::MouseButtons buttons) {
    if (!project.imagesLoaded) {
        DragActive = false;  // a press without images starts no drag that could outlive the release
        return;
    }
    if (!DragActive) return;
    Image2MouseMove(x, y, buttons);  // the released button is no longer held: the last move counts
    CommitShiftDrag();
}

void TForm2::Image2MouseLeave() {
    // Leaving the view ends the drag as a release there would: what the row shows is kept.
    if (project.imagesLoaded && DragActive) {
        CommitShiftDrag();
        return;
    }
    DragActive = false;
}

void TForm2::CommitShiftDrag() {
    const int row = SelectedFrameRow();
    const std::optional<KeyframeValues> values = shiftDrag_.Finish(project.frames, row);
    if (!values) return;
    if (const std::string* key = SourceAt(project.firstFrame + row - 1))
        ChangeKeyframe(project.keyframes, *key, *values);
    RestoreKeyframes();
    Drawtunedimage1Click();
}

}  // namespace turnlet
