// SPDX-License-Identifier: MIT
// The "File" menu: New, Open, Save, Save as and the recent projects.
#include <QComboBox>
#include <QSpinBox>

#include "controls.h"
#include "export_dialog.h"
#include "main_window.h"
#include "picture_view.h"

namespace turnlet {

void TForm2::ShowProjectInControls() {
    ListBox1->clear();
    for (const std::string& path : project.sources) ListBox1->addItem(QString::fromStdString(path));
    ComboBox1->setCurrentIndex(project.rotationIndex);
    ShowCropFields();
    ShowCropOutline();
    ShowFrameNumbers();
    RefreshFramesTable();
    setWindowTitle(QString::fromStdString(project.caption));
}

void TForm2::New1Click() {
    ControlsUpdating = true;
    New(project);
    ++sourceGeneration_;  // a preview still in progress belongs to the old project
    SourceRedrawPending = false;
    SourceResizePending = false;
    for (PictureView* view : {Image1, Image2, Image3, Image4, Image5}) view->clearPicture();
    if (Form8) Form8->Image1->clearPicture();
    ShownSourcePath.clear();
    ShowProjectInControls();
    ControlsUpdating = false;
    Showstatus1Click();  // no images: every panel empty
}

// Opening and saving projects come with the project file commands.
void TForm2::Open1Click() {}
void TForm2::Save1Click() {}
void TForm2::Saveas1Click() {}

void TForm2::ReopenEntry(int) {}

void TForm2::Last11Click() {
    ReopenEntry(0);
}
void TForm2::Last21Click() {
    ReopenEntry(1);
}
void TForm2::Last31Click() {
    ReopenEntry(2);
}
void TForm2::Last41Click() {
    ReopenEntry(3);
}
void TForm2::Last51Click() {
    ReopenEntry(4);
}
void TForm2::Last61Click() {
    ReopenEntry(5);
}
void TForm2::Last71Click() {
    ReopenEntry(6);
}
void TForm2::Last81Click() {
    ReopenEntry(7);
}
void TForm2::Last91Click() {
    ReopenEntry(8);
}
void TForm2::Last101Click() {
    ReopenEntry(9);
}

}  // namespace turnlet
