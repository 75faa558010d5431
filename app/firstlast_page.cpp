// SPDX-License-Identifier: MIT
// The "First and last frames" page: the two frame numbers, the pair buttons, the comparison worker's request and
// hand-over.
#include <QSpinBox>

#include "controls.h"
#include "main_window.h"
#include "picture_view.h"
#include "scoped_flag.h"

namespace turnlet {

void TForm2::ShowFrameNumbers() {
    const QSignalBlocker first(SpinEdit1);
    const QSignalBlocker last(SpinEdit2);
    SpinEdit1->setValue(project.firstFrame);
    SpinEdit2->setValue(project.lastFrame);
}

void TForm2::RebuildFramesTable() {
    // The table must follow every change of the range at once: rows keep their keyframes' values
    // only through RestoreKeyframes, and an export reads the rows as they stand.
    Recalculatepositions1Click();
    RestoreKeyframes();
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
    RebuildFramesTable();
    const std::string* path = SourceAt(project.firstFrame);
    if (!path) return;  // every source deleted
    SetStatusPanel(kPathPanel, *path);
    if (!ComparisonShown()) return;  // entering the page draws both sides
    if (ShowFirstLastWorker->busy()) {
        // Drawn once the worker is free, so the view never stays on a frame the numbers have left.
        FirstLastRedrawPending = true;
        return;
    }
    Areaparams1Click();
    FirstLastRequest request = ComparisonRequest();
    request.FirstFramePath = *path;
    ShowFirstLastWorker->tryWake(std::move(request));
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
    RebuildFramesTable();
    const std::string* path = SourceAt(project.lastFrame);
    if (!path) return;
    SetStatusPanel(kPathPanel, *path);
    if (!ComparisonShown()) return;
    if (ShowFirstLastWorker->busy()) {
        FirstLastRedrawPending = true;
        return;
    }
    Areaparams1Click();
    FirstLastRequest request = ComparisonRequest();
    request.LastFramePath = *path;
    ShowFirstLastWorker->tryWake(std::move(request));
}

void TForm2::BitBtn1Click() {
    if (!project.imagesLoaded || project.firstFrame <= 0) return;
    {
        const ScopedFlag updating(ControlsUpdating);
        --project.firstFrame;
        --project.lastFrame;
        ShowFrameNumbers();
    }
    // The same number of frames, but other photographs: keyframes follow their photographs.
    RebuildFramesTable();
    Drawfirstandlast1Click();
}

void TForm2::BitBtn2Click() {
    if (!project.imagesLoaded || project.lastFrame >= static_cast<int>(project.sources.size()) - 1) return;
    {
        const ScopedFlag updating(ControlsUpdating);
        ++project.firstFrame;
        ++project.lastFrame;
        ShowFrameNumbers();
    }
    RebuildFramesTable();
    Drawfirstandlast1Click();
}

bool TForm2::ComparisonShown() const {
    // Pictures for a page nobody sees would only take the cores from the one in view; entering the
    // page draws them.
    return PageControl1->currentIndex() == 1;
}

void TForm2::Drawfirstandlast1Click() {
    if (!project.imagesLoaded || !ComparisonShown()) {
        FirstLastRedrawPending = false;
        return;
    }
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
    FirstLastRequest request = ComparisonRequest();
    request.FirstFramePath = *first;
    request.LastFramePath = *last;
    ShowFirstLastWorker->tryWake(std::move(request));
    FirstLastRedrawPending = false;
}

FirstLastRequest TForm2::ComparisonRequest() const {
    FirstLastRequest request;
    request.rotationDegrees = project.rotationDegrees();
    request.area = {Area.left, Area.top, Area.width, Area.height};
    // Before the first preview arrives its size, which an empty Width or Height stands for, is not
    // known: show the whole picture rather than a sliver (the preview's arrival draws again).
    if (!Image1->hasPicture() && (project.crop.width.empty() || project.crop.height.empty())) request.area.left = -1;
    request.viewWidth = InterlaceViewSize.width();
    request.viewHeight = InterlaceViewSize.height();
    const QSize bound = DevicePixels(Image3).expandedTo(DevicePixels(Image4));
    request.displayMaxWidth = std::max(bound.width(), 1);
    request.displayMaxHeight = std::max(bound.height(), 1);
    request.generation = sourceGeneration_;
    return request;
}

void TForm2::ShowFirstLastHandOver(const FirstLastResult& result) {
    // A request made before "New" belongs to a project that no longer exists.
    if (result.request.generation != sourceGeneration_) return;
    if (result.firstReloaded) Image3->setPicture(result.firstDisplay, result.firstWidth, result.firstHeight);
    if (result.lastReloaded) Image4->setPicture(result.lastDisplay, result.lastWidth, result.lastHeight);
    if (result.interlaced.empty()) {
        Image5->clearPicture();
    } else {
        Image5->setPicture(result.interlaced);
    }
}

}  // namespace turnlet
