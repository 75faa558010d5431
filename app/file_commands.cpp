// SPDX-License-Identifier: MIT
// The "File" menu: New, Open, Save, Save as and the recent projects; the unsaved-changes question.
#include <QAction>
#include <QComboBox>
#include <QFileInfo>
#include <QSpinBox>

#include "controls.h"
#include "dialogs.h"
#include "export_dialog.h"
#include "main_window.h"
#include "picture_view.h"

namespace turnlet {
namespace {

const char* const kProjectFilter = "Turnlet Project (*.trn.prj);;All files (*)";

}  // namespace

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

// The project as a file would hold it is the one measure of a change: no page needs to report its
// edits, and an edit undone by hand counts as no change.
bool TForm2::ProjectModified() const {
    return WriteProjectText(project) != savedProjectText_;
}

void TForm2::MarkProjectSaved() {
    savedProjectText_ = WriteProjectText(project);
}

bool TForm2::AskToKeepChanges() {
    if (!ProjectModified()) return true;
    const QString name = project.currentProjectFile.empty()
                             ? QStringLiteral("The project")
                             : QStringLiteral("The project %1").arg(QString::fromStdString(project.currentProjectFile));
    switch (dialogs_.askToSave(this, name + QStringLiteral(" has changes that are not saved. Save them first?"))) {
        case SaveChoice::Save:
            return SaveProjectCommand();
        case SaveChoice::Discard:
            return true;
        case SaveChoice::Cancel:
            break;
    }
    return false;
}

void TForm2::New1Click() {
    if (!AskToKeepChanges()) return;
    NewProject();
    MarkProjectSaved();
}

void TForm2::NewProject() {
    ControlsUpdating = true;
    New(project);
    if (!ExportBaseDir.empty()) project.exportSettings.directory = ExportBaseDir + "/result";
    ++sourceGeneration_;  // a preview still in progress belongs to the old project
    SourceRedrawPending = false;
    SourceResizePending = false;
    for (PictureView* view : {Image1, Image2, Image3, Image4, Image5}) view->clearPicture();
    ShownSourcePath.clear();
    ShowProjectInControls();
    if (Form8) {
        Form8->Image1->clearPicture();
        Form8->ShowFields();
    }
    ControlsUpdating = false;
    Showstatus1Click();  // no images: every panel empty
}

void TForm2::Open1Click() {
    // A request from a "Reopen" entry is used once, whatever happens.
    std::string path = std::move(OpenFileName);
    OpenFileName.clear();
    if (!AskToKeepChanges()) return;
    if (path.empty()) {
        path = dialogs_
                   .openFile(this, QStringLiteral("Open"), QString::fromLatin1(kProjectFilter),
                             QString::fromStdString(project.saveFileName))
                   .toStdString();
        if (path.empty()) return;
    }
    // Read into a copy: a file that cannot be read leaves the open project exactly as it was.
    Project opened = project;
    if (Status status = OpenProject(opened, path); !status.ok()) {
        dialogs_.message(this, QString::fromStdString(status.message()));
        return;
    }
    NewProject();
    ControlsUpdating = true;
    project = std::move(opened);
    ShowProjectInControls();
    if (Form8) Form8->ShowFields();
    // Page 0 without the page-change handler.
    PageControl1->blockSignals(true);
    PageControl1->setCurrentIndex(0);
    PageControl1->blockSignals(false);
    if (!project.sources.empty()) ListBox1->setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
    ControlsUpdating = false;
    Drawfirstandlast1Click();
    RestoreKeyframes();
    Recalculatepositions1Click();
    Addlast1Click();
    Showlast1Click();
    Showsource1Click();
    ShowCropOutline();
    MarkProjectSaved();
}

bool TForm2::SaveProjectCommand() {
    std::string name = project.saveFileName;
    if (name.empty()) {
        name = dialogs_.saveFile(this, QStringLiteral("Save as"), QString::fromLatin1(kProjectFilter), QString())
                   .toStdString();
        if (name.empty()) return false;
    }
    if (Status status = SaveProject(project, name); !status.ok()) {
        dialogs_.message(this, QString::fromStdString(status.message()));
        return false;
    }
    setWindowTitle(QString::fromStdString(project.caption));
    MarkProjectSaved();
    Addlast1Click();
    Showlast1Click();
    return true;
}

void TForm2::Save1Click() {
    SaveProjectCommand();
}

void TForm2::Saveas1Click() {
    const QString name = dialogs_.saveFile(this, QStringLiteral("Save as"), QString::fromLatin1(kProjectFilter),
                                           QString::fromStdString(project.saveFileName));
    if (name.isEmpty()) return;
    project.saveFileName = name.toStdString();
    Save1Click();
}

void TForm2::ReopenEntry(int entry) {
    const std::array<QAction*, kRecentMenuEntries> entries = ReopenEntries();
    // The entry keeps the path itself; its caption is only for showing.
    OpenFileName = entries[static_cast<std::size_t>(entry)]->data().toString().toStdString();
    if (OpenFileName.empty()) return;
    Open1Click();
}

void TForm2::OpenStartProject() {
    if (StartProjectFile.empty()) return;
    OpenFileName = QFileInfo(QString::fromStdString(StartProjectFile)).absoluteFilePath().toStdString();
    StartProjectFile.clear();
    Open1Click();
}

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
