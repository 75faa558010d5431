// SPDX-License-Identifier: MIT
// The "First and last frames" page: the two frame numbers, the pair buttons, the comparison worker.
#include "pages/firstlast_page.h"

#include <QLabel>
#include <QMetaObject>
#include <QPushButton>
#include <QSpinBox>

#include <algorithm>

#include "align_runner.h"
#include "app_context.h"
#include "controls.h"
#include "dialogs.h"
#include "named_widget.h"
#include "picture_view.h"
#include "scoped_flag.h"
#include "shell/align_texts.h"

namespace turnlet {
namespace {

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption) {
    return Named(new QPushButton(QString::fromUtf8(caption), parent), name);
}

// Frame numbers are not bounded by the control: the session clamps them, so any typed number must
// reach it, and only once the user has finished typing it (Enter, leaving the field, the arrows).
QSpinBox* MakeFrameSpin(QWidget* parent, const char* name) {
    QSpinBox* spin = Named(new QSpinBox(parent), name);
    spin->setRange(-999999, 999999);
    spin->setKeyboardTracking(false);
    return spin;
}

void Place(QWidget* widget, const Box& box) {
    widget->setGeometry(box.left, box.top, box.width, box.height);
}

QSize DevicePixels(const QWidget* view) {
    return (QSizeF(view->size()) * view->devicePixelRatioF()).toSize();
}

}  // namespace

FirstLastPage::FirstLastPage(AppContext& app, AlignRunner& align, QWidget* parent)
    : QWidget(parent), app_(app), align_(align) {
    setObjectName(QStringLiteral("TabSheet2"));
    PageControl2 = Named(new PageControl(this), "PageControl2");
    PageControl2->setTabPosition(QTabWidget::West);
    TabSheet5 = Named(new QWidget, "TabSheet5");
    TabSheet6 = Named(new QWidget, "TabSheet6");
    PageControl2->addTab(TabSheet5, QStringLiteral("Two images"));
    PageControl2->addTab(TabSheet6, QStringLiteral("Interlace mode"));
    Image3 = Named(new PictureView(TabSheet5), "Image3");
    Image4 = Named(new PictureView(TabSheet5), "Image4");
    Image5 = Named(new PictureView(TabSheet6), "Image5");
    Label5 = Named(new QLabel(QStringLiteral("First frame"), this), "Label5");
    SpinEdit1 = MakeFrameSpin(this, "SpinEdit1");
    BitBtn1 = MakeButton(this, "BitBtn1", "Previous pair");
    BitBtn2 = MakeButton(this, "BitBtn2", "Next pair");
    BitBtn3 = MakeButton(this, "BitBtn3", "Find end of turn");
    Label6 = Named(new QLabel(QStringLiteral("Last frame"), this), "Label6");
    SpinEdit2 = MakeFrameSpin(this, "SpinEdit2");

    job_ = std::make_unique<ShowFirstLast>([this](const FirstLastResult& r) { ShowFirstLastHandOver(r); });
    // Once the worker is idle again a view asked for meanwhile is drawn at once, not at the next
    // retry tick: a slider drag renders back to back, always the latest state.
    ShowFirstLastWorker = std::make_unique<GuiWorker<FirstLastRequest>>(
        this, [job = job_.get()](const FirstLastRequest& request, Worker& w) { return (*job)(request, w); },
        [this](const Status& status) {
            if (reporting_) return;
            const ScopedFlag reporting(reporting_);
            app_.reportFailure(status);
        },
        [this] {
            if (FirstLastRedrawPending) Drawfirstandlast1Click();
        });

    connect(SpinEdit1, &QSpinBox::valueChanged, this, &FirstLastPage::SpinEdit1Change);
    connect(SpinEdit2, &QSpinBox::valueChanged, this, &FirstLastPage::SpinEdit2Change);
    connect(BitBtn1, &QPushButton::clicked, this, &FirstLastPage::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &FirstLastPage::BitBtn2Click);
    connect(BitBtn3, &QPushButton::clicked, this, &FirstLastPage::BitBtn3Click);
    session().Subscribe([this](Changes changes) { SessionChanged(changes); });
}

FirstLastPage::~FirstLastPage() {
    StopWorker();
}

void FirstLastPage::StopWorker() {
    if (!ShowFirstLastWorker) return;
    ShowFirstLastWorker->stop();
    ShowFirstLastWorker.reset();
}

EditorSession& FirstLastPage::session() const {
    return app_.session();
}

void FirstLastPage::Place(const MainWindowLayout& l) {
    turnlet::Place(PageControl2, l.PageControl2);
    turnlet::Place(Image3, l.Image3);
    turnlet::Place(Image4, l.Image4);
    turnlet::Place(Image5, l.Image5);
    turnlet::Place(Label5, l.Label5);
    turnlet::Place(SpinEdit1, l.SpinEdit1);
    turnlet::Place(BitBtn1, l.BitBtn1);
    turnlet::Place(BitBtn2, l.BitBtn2);
    turnlet::Place(BitBtn3, l.BitBtn3);
    turnlet::Place(Label6, l.Label6);
    turnlet::Place(SpinEdit2, l.SpinEdit2);
}

void FirstLastPage::SessionChanged(Changes changes) {
    if (changes & kProjectReplaced) {
        ++generation_;
        FirstLastRedrawPending = false;
        for (PictureView* view : {Image3, Image4, Image5}) view->clearPicture();
    }
    if (changes & (kRangeChanged | kSourcesChanged)) ShowFrameNumbers();
    if (ownChange_) return;
    if (changes & (kRangeChanged | kSourcesChanged | kRotationChanged | kCropChanged)) {
        if (changes & kProjectReplaced)
            FirstLastRedrawPending = true;
        else
            Drawfirstandlast1Click();
    }
}

void FirstLastPage::ShowFrameNumbers() {
    const QSignalBlocker first(SpinEdit1);
    const QSignalBlocker last(SpinEdit2);
    SpinEdit1->setValue(session().project().firstFrame);
    SpinEdit2->setValue(session().project().lastFrame);
}

void FirstLastPage::SpinEdit1Change() {
    {
        const ScopedFlag own(ownChange_);
        session().SetFirstFrame(SpinEdit1->value());
    }
    ShowFrameNumbers();  // a number the rules corrected shows corrected
    DrawSide(true);
}

void FirstLastPage::SpinEdit2Change() {
    {
        const ScopedFlag own(ownChange_);
        session().SetLastFrame(SpinEdit2->value());
    }
    ShowFrameNumbers();
    DrawSide(false);
}

void FirstLastPage::DrawSide(bool first) {
    const Project& p = session().project();
    if (!p.imagesLoaded()) return;
    const std::string* path = session().FrameSource(first ? 0 : p.lastFrame - p.firstFrame);
    if (!path) return;  // every source deleted
    app_.setStatusPanel(kPathPanel, *path);
    if (!ComparisonShown()) return;  // entering the page draws both sides
    if (!ShowFirstLastWorker || ShowFirstLastWorker->busy()) {
        // Drawn once the worker is free, so the view never stays on a frame the numbers have left.
        FirstLastRedrawPending = true;
        return;
    }
    FirstLastRequest request = ComparisonRequest();
    (first ? request.FirstFramePath : request.LastFramePath) = *path;
    ShowFirstLastWorker->tryWake(std::move(request));
}

void FirstLastPage::BitBtn1Click() {
    // The same number of frames, but other photographs: keyframes follow their photographs.
    session().MoveRange(-1);
}

void FirstLastPage::BitBtn2Click() {
    session().MoveRange(1);
}

bool FirstLastPage::ComparisonShown() const {
    // Pictures for a page nobody sees would only take the cores from the one in view; entering the
    // page draws them.
    return app_.currentPage() == 1;
}

void FirstLastPage::Drawfirstandlast1Click() {
    const Project& p = session().project();
    if (!p.imagesLoaded() || !ComparisonShown()) {
        FirstLastRedrawPending = false;
        return;
    }
    const std::string* first = session().FrameSource(0);
    const std::string* last = session().FrameSource(p.lastFrame - p.firstFrame);
    if (!first || !last) {
        FirstLastRedrawPending = false;  // nothing to compare in an empty list
        return;
    }
    app_.setStatusPanel(kPathPanel, *last);
    if (!ShowFirstLastWorker || ShowFirstLastWorker->busy()) {
        FirstLastRedrawPending = true;
        return;
    }
    FirstLastRequest request = ComparisonRequest();
    request.FirstFramePath = *first;
    request.LastFramePath = *last;
    ShowFirstLastWorker->tryWake(std::move(request));
    FirstLastRedrawPending = false;
}

FirstLastRequest FirstLastPage::ComparisonRequest() {
    FirstLastRequest request;
    request.rotationDegrees = session().project().rotationDegrees();
    const CropArea area = app_.area();
    request.area = {area.left, area.top, area.width, area.height};
    // Before the first preview arrives its size, which a project without a crop stands for, is not
    // known: show the whole picture rather than a sliver (the preview's arrival draws again).
    if (app_.previewPictureSize().isEmpty() && !session().project().crop) request.area.left = -1;
    InterlaceViewSize = Image5->size();
    request.viewWidth = InterlaceViewSize.width();
    request.viewHeight = InterlaceViewSize.height();
    const QSize bound = DevicePixels(Image3).expandedTo(DevicePixels(Image4));
    request.displayMaxWidth = std::max(bound.width(), 1);
    request.displayMaxHeight = std::max(bound.height(), 1);
    request.generation = generation_;
    return request;
}

void FirstLastPage::ShowFirstLastHandOver(const FirstLastResult& result) {
    // A request made before "New" belongs to a project that no longer exists.
    if (result.request.generation != generation_) return;
    if (result.firstReloaded) Image3->setPicture(result.firstDisplay, result.firstWidth, result.firstHeight);
    if (result.lastReloaded) Image4->setPicture(result.lastDisplay, result.lastWidth, result.lastHeight);
    if (result.interlaced.empty()) {
        Image5->clearPicture();
    } else {
        Image5->setPicture(result.interlaced);
    }
}

void FirstLastPage::Retry() {
    if (FirstLastRedrawPending) Drawfirstandlast1Click();
}

void FirstLastPage::BitBtn3Click() {
    const Project& p = session().project();
    if (!p.imagesLoaded() || align_.busy()) return;
    AlignJobRequest request;
    request.task = AlignTask::FindEnd;
    // The turn may end anywhere after the first frame: every source from it on is looked at.
    for (int k = 0; const std::string* path = session().FrameSource(k); ++k) request.settings.paths.push_back(*path);
    if (request.settings.paths.size() < 3) return;
    request.settings.rotationDegrees = p.rotationDegrees();
    const CropArea crop = app_.area();
    request.settings.crop = {crop.left, crop.top, crop.width, crop.height};
    align_.Start(std::move(request), AlignTextFor(AlignText::FindingEnd, app_.settings().languageCode),
                 [this](const AlignJobResult& result) {
                     const TurnEnd& end = result.end;
                     if (end.cancelled) return;
                     if (!end.status.ok()) {
                         app_.reportFailure(end.status);
                         return;
                     }
                     if (!end.found) {
                         const QString text =
                             QString::fromUtf8(AlignTextFor(AlignText::NoFullTurn, app_.settings().languageCode));
                         QMetaObject::invokeMethod(
                             this, [this, text] { app_.dialogs().message(this, text); }, Qt::QueuedConnection);
                         return;
                     }
                     // Through the frame number's own control, so every rule of the page applies.
                     const int first = session().project().firstFrame;
                     SpinEdit2->setValue(first + end.last);
                     const int runnerUp = end.runnerUp < 0 ? -1 : first + end.runnerUp;
                     const QString text =
                         QString::fromStdString(TurnEndText(end.oneTurn, first + end.last, end.confidence, runnerUp,
                                                            end.runnerUpConfidence, app_.settings().languageCode));
                     QMetaObject::invokeMethod(
                         this, [this, text] { app_.dialogs().message(this, text); }, Qt::QueuedConnection);
                 });
}

}  // namespace turnlet
