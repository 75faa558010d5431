// SPDX-License-Identifier: MIT
// The "First and last frames" page: the two frame numbers, the pair buttons, the comparison request.
#include <QSpinBox>

#include "main_window.h"

namespace turnlet {

void TForm2::ShowFrameNumbers() {
    const QSignalBlocker first(SpinEdit1);
    const QSignalBlocker last(SpinEdit2);
    SpinEdit1->setValue(project.firstFrame);
    SpinEdit2->setValue(project.lastFrame);
}

void TForm2::SpinEdit1Change() {
    if (ControlsUpdating) return;
    const int value = SpinEdit1->value();
    SetFirstFrame(project, value);
    if (project.firstFrame != value) {
        SpinEdit1->setValue(project.firstFrame);  // runs this handler again with the corrected value
        return;
    }
    if (!project.imagesLoaded) return;
    Recalculatepositions1Click();
    const std::string* path = SourceAt(project.firstFrame);
    if (!path) return;  // every source deleted
    SetStatusPanel(kPathPanel, *path);
    if (ShowFirstLastWorker->busy()) return;  // dropped: the spin edits do not retry
    Areaparams1Click();
    ShowFirstLastWorker->tryWake(
        {*path, std::string(), project.rotationDegrees(), Area, InterlaceViewSize.width(), InterlaceViewSize.height()});
}

void TForm2::SpinEdit2Change() {
    if (ControlsUpdating) return;
    const int value = SpinEdit2->value();
    SetLastFrame(project, value);
    if (project.lastFrame != value) {
        SpinEdit2->setValue(project.lastFrame);
        return;
    }
    if (!project.imagesLoaded) return;
    const std::string* path = SourceAt(project.lastFrame);
    if (!path) return;
    SetStatusPanel(kPathPanel, *path);
    if (ShowFirstLastWorker->busy()) return;
    Areaparams1Click();
    ShowFirstLastWorker->tryWake(
        {std::string(), *path, project.rotationDegrees(), Area, InterlaceViewSize.width(), InterlaceViewSize.height()});
}

void TForm2::BitBtn1Click() {
    if (!project.imagesLoaded || project.firstFrame <= 0) return;
    ControlsUpdating = true;
    --project.firstFrame;
    --project.lastFrame;
    ShowFrameNumbers();
    ControlsUpdating = false;
    Drawfirstandlast1Click();
}

void TForm2::BitBtn2Click() {
    if (!project.imagesLoaded || project.lastFrame >= static_cast<int>(project.sources.size()) - 1) return;
    ControlsUpdating = true;
    ++project.firstFrame;
    ++project.lastFrame;
    ShowFrameNumbers();
    ControlsUpdating = false;
    Drawfirstandlast1Click();
}

void TForm2::Drawfirstandlast1Click() {
    if (!project.imagesLoaded) return;
    const std::string* first = SourceAt(project.firstFrame);
    const std::string* last = SourceAt(project.lastFrame);
    if (!first || !last) {
        FirstLastRedrawPending = false;  // nothing to compare in an empty list
        return;
    }
    SetStatusPanel(kPathPanel, *last);
    if (ShowFirstLastWorker->busy()) {
        FirstLastRedrawPending = true;
        return;
    }
    Areaparams1Click();
    ShowFirstLastWorker->tryWake(
        {*first, *last, project.rotationDegrees(), Area, InterlaceViewSize.width(), InterlaceViewSize.height()});
    FirstLastRedrawPending = false;
}

}  // namespace turnlet
