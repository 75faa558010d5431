// SPDX-License-Identifier: MIT
// The "Import images" page: the source list, the rotation and the preview worker's hand-over.
#include <QComboBox>
#include <QSpinBox>

#include <algorithm>
#include <vector>

#include "controls.h"
#include "dialogs.h"
#include "main_window.h"
#include "picture_view.h"
#include "video_import_dialog.h"

namespace turnlet {
namespace {

// The add-images dialog's filter (Qt's file chooser matches it regardless of letter case).
const char* const kPictureFilter =
    "All (*.jpg *.jpeg *.png *.bmp);;JPEG Image File (*.jpg *.jpeg);;Portable Network Graphics (*.png);;"
    "Bitmaps (*.bmp)";

}  // namespace

void TForm2::Button8Click() {
    if (Form3) Form3->exec();
}

void TForm2::Button9Click() {
    const QStringList files =
        dialogs_.openFiles(this, QStringLiteral("Add images"), QString::fromLatin1(kPictureFilter));
    if (files.isEmpty()) return;
    for (const QString& file : files) {
        project.sources.push_back(file.toStdString());
        ListBox1->addItem(file);
    }
    const int count = static_cast<int>(project.sources.size());
    SpinEdit1->setValue(0);
    SpinEdit2->setValue(count - 1);
    ListBox1->setCurrentRow(count - 1, QItemSelectionModel::ClearAndSelect);
    project.imagesLoaded = true;
    Recalculatepositions1Click();
    Showsource1Click();
    RestoreKeyframes();
}

void TForm2::Button10Click() {
    New1Click();
}

void TForm2::Delete1Click() {
    std::vector<int> rows;
    for (const QListWidgetItem* item : ListBox1->selectedItems()) rows.push_back(ListBox1->row(item));
    std::sort(rows.rbegin(), rows.rend());
    for (int row : rows) {
        project.sources.erase(project.sources.begin() + row);
        delete ListBox1->takeItem(row);
    }
    const int count = static_cast<int>(project.sources.size());
    // Each change of a frame number runs its handler, which clamps it and refreshes what depends on it.
    if (SpinEdit1->value() >= count) {
        SpinEdit1->setValue(count - 1);
        if (SpinEdit1->value() == -1) SpinEdit1->setValue(0);
    }
    if (SpinEdit2->value() >= count) {
        SpinEdit2->setValue(count - 1);
        if (SpinEdit2->value() == -1) SpinEdit2->setValue(0);
    }
    // Items deleted inside the range shift the photographs under the rows even when neither
    // number changed.
    if (project.imagesLoaded) RebuildFramesTable();
}

void TForm2::Showsource1Click() {
    if (!project.imagesLoaded) return;
    const std::string* path = SourceAt(ListBox1->currentRow());
    if (!path) {
        SourceRedrawPending = false;
        return;
    }
    SetStatusPanel(kPathPanel, *path);
    if (ShowSourceWorker->busy()) {
        // Shown by the retry timer once the worker is free, so the preview always ends on the
        // selected item (and the crop is never drawn over another picture).
        SourceRedrawPending = true;
        return;
    }
    const QSize bound = DisplayBound();
    ShowSourceWorker->tryWake({*path, project.rotationDegrees(), bound.width(), bound.height(), sourceGeneration_});
    SourceRedrawPending = false;
}

void TForm2::RedrawSourceForSize() {
    if (!project.imagesLoaded || ShownSourcePath.empty() || !Image1->hasPicture()) {
        SourceResizePending = false;
        return;
    }
    if (ShowSourceWorker->busy()) return;  // still pending: the next tick tries again
    const QSize bound = DisplayBound();
    ShowSourceWorker->tryWake(
        {ShownSourcePath, project.rotationDegrees(), bound.width(), bound.height(), sourceGeneration_});
    SourceResizePending = false;
}

void TForm2::ComboBox1Change() {
    project.rotationIndex = ComboBox1->currentIndex();
    Button1Click();
    Showsource1Click();
}

void TForm2::ShowSourceHandOver(const ShowSourceResult& result) {
    // A request made before "New" belongs to a project that no longer exists.
    if (result.request.generation != sourceGeneration_) return;
    const bool newSize = result.width != Image1->pictureWidth() || result.height != Image1->pictureHeight();
    Image1->setPicture(result.display, result.width, result.height);
    // Without a whole crop the comparison and the tuned view measure the preview: draw them again.
    if (newSize && !project.crop.allSet()) TuneRedrawPending = FirstLastRedrawPending = true;
    ShownSourcePath = result.request.path;
    Drawselection1Click();
    Showstatus1Click();
}

}  // namespace turnlet
