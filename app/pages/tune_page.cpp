// SPDX-License-Identifier: MIT
// The "Tune positions" page: the frames table, the frame slider, the interlace choice, the shift drag,
// the tuned view and Auto-align.
#include "pages/tune_page.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMetaObject>
#include <QPushButton>
#include <QSlider>
#include <QTableView>

#include <algorithm>

#include "align_runner.h"
#include "app_context.h"
#include "dialogs.h"
#include "named_widget.h"
#include "pages/frames_table_model.h"
#include "picture_view.h"
#include "scoped_flag.h"
#include "shell/align_texts.h"
#include "shell/status_texts.h"

namespace turnlet {
namespace {

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption) {
    return Named(new QPushButton(QString::fromUtf8(caption), parent), name);
}

void Place(QWidget* widget, const Box& box) {
    widget->setGeometry(box.left, box.top, box.width, box.height);
}

}  // namespace

TunePage::TunePage(AppContext& app, AlignRunner& align, bool& dragActive, QWidget* parent)
    : QWidget(parent), app_(app), align_(align), dragActive_(dragActive), shiftDrag_(dragActive) {
    setObjectName(QStringLiteral("TabSheet3"));
    StringGrid1 = Named(new QTableView(this), "StringGrid1");
    FramesModel = new FramesTableModel(session().frames(), this);
    FramesModel->setConfidence([this](int frame) { return session().FrameAlignConfidence(frame); });
    SetConfidenceHeader(app_.language());
    StringGrid1->setModel(FramesModel);
    StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StringGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    StringGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    StringGrid1->verticalHeader()->hide();
    StringGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    StringGrid1->verticalHeader()->setDefaultSectionSize(18);
    StringGrid1->horizontalHeader()->setDefaultSectionSize(55);
    StringGrid1->horizontalHeader()->setMinimumSectionSize(20);
    StringGrid1->horizontalHeader()->setHighlightSections(false);
    Image2 = Named(new PictureView(this), "Image2");
    TrackBar1 = Named(new QSlider(Qt::Horizontal, this), "TrackBar1");
    TrackBar1->setRange(0, 0);
    TrackBar1->setTickPosition(QSlider::TicksBelow);
    Button2 = MakeButton(this, "Button2", "Previous");
    Button3 = MakeButton(this, "Button3", "Clear keyframe");
    Button11 = MakeButton(this, "Button11", "Clear all keyframes");
    Button4 = MakeButton(this, "Button4", "Parameters");
    Button5 = MakeButton(this, "Button5", "Next");
    Button12 = MakeButton(this, "Button12", "Auto-align");
    Label9 = Named(new QLabel(QStringLiteral("Interlace with"), this), "Label9");
    ComboBox2 = Named(new QComboBox(this), "ComboBox2");
    ComboBox2->addItem(QStringLiteral(" "));

    job_ = std::make_unique<TunePicture>([this](const TuneResult& r) { TunePictureHandOver(r); });
    TunePictureWorker = std::make_unique<GuiWorker<TuneRequest>>(
        this, [job = job_.get()](const TuneRequest& request, Worker& w) { return (*job)(request, w); },
        [this](const Status& status) {
            if (reporting_) return;
            const ScopedFlag reporting(reporting_);
            app_.reportFailure(status);
        },
        [this] {
            if (TuneRedrawPending) Drawtunedimage1Click();
        });

    connect(StringGrid1->selectionModel(), &QItemSelectionModel::currentRowChanged, this, &TunePage::StringGrid1Click);
    connect(StringGrid1, &QAbstractItemView::doubleClicked, this, &TunePage::StringGrid1DblClick);
    connect(TrackBar1, &QSlider::valueChanged, this, &TunePage::TrackBar1Change);
    connect(Button2, &QPushButton::clicked, this, &TunePage::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TunePage::Button3Click);
    connect(Button11, &QPushButton::clicked, this, &TunePage::Button11Click);
    connect(Button4, &QPushButton::clicked, this, &TunePage::Button4Click);
    connect(Button5, &QPushButton::clicked, this, &TunePage::Button5Click);
    connect(Button12, &QPushButton::clicked, this, &TunePage::Button12Click);
    connect(ComboBox2, &QComboBox::activated, this, &TunePage::ComboBox2Change);
    connect(Image2, &PictureView::mousePressed, this, &TunePage::Image2MouseDown);
    connect(Image2, &PictureView::mouseMoved, this, &TunePage::Image2MouseMove);
    connect(Image2, &PictureView::mouseReleased, this, &TunePage::Image2MouseUp);
    connect(Image2, &PictureView::mouseLeft, this, &TunePage::Image2MouseLeave);
    session().Subscribe([this](Changes changes) { SessionChanged(changes); });
}

TunePage::~TunePage() {
    StopWorker();
    // The table's view reads the session's frames while the widgets are taken down.
    StringGrid1->setModel(nullptr);
}

void TunePage::StopWorker() {
    if (!TunePictureWorker) return;
    TunePictureWorker->stop();
    TunePictureWorker.reset();
}

EditorSession& TunePage::session() const {
    return app_.session();
}

void TunePage::Place(const MainWindowLayout& l) {
    turnlet::Place(StringGrid1, l.StringGrid1);
    turnlet::Place(Image2, l.Image2);
    turnlet::Place(TrackBar1, l.TrackBar1);
    turnlet::Place(Button2, l.Button2);
    turnlet::Place(Button3, l.Button3);
    turnlet::Place(Button11, l.Button11);
    turnlet::Place(Button4, l.Button4);
    turnlet::Place(Button5, l.Button5);
    turnlet::Place(Button12, l.Button12);
    turnlet::Place(Label9, l.Label9);
    turnlet::Place(ComboBox2, l.ComboBox2);
}

void TunePage::SessionChanged(Changes changes) {
    if (changes & kProjectReplaced) {
        ++generation_;
        TuneRedrawPending = false;
        Image2->clearPicture();
    }
    if (changes & (kRangeChanged | kSourcesChanged)) Recalculatepositions1Click();
    if (changes & (kRangeChanged | kSourcesChanged | kFramesChanged)) RestoreKeyframes();
    // The next render takes the new values; the background shows from then on too.
    if (changes & (kRangeChanged | kSourcesChanged | kFramesChanged | kRotationChanged | kCropChanged) &&
        !(changes & kProjectReplaced))
        Drawtunedimage1Click();
}

void TunePage::Recalculatepositions1Click() {
    const int n = static_cast<int>(session().frames().size());
    ComboBox2->clear();  // filling the list is no user's choice: ComboBox2Change does not run
    ComboBox2->addItem(QStringLiteral(" "));
    for (int k = 0; k < n; ++k) ComboBox2->addItem(QString::number(k));
    ComboBox2->setCurrentIndex(0);
    // A slider above its new maximum moves to it, and that move runs TrackBar1Change.
    TrackBar1->setMaximum(std::max(n - 1, 0));
}

void TunePage::RestoreKeyframes() {
    // Rows that go take the selection with them; that is no user's choice of a frame.
    const ScopedFlag syncing(TuneSelectionSyncing);
    FramesModel->refresh();
}

QSize TunePage::DevicePixels(const QWidget* view) {
    return (QSizeF(view->size()) * view->devicePixelRatioF()).toSize();
}

int TunePage::SelectedFrame() const {
    const int row = StringGrid1->selectionModel()->currentIndex().row();
    return row >= 0 ? row : CurrentFrame;
}

void TunePage::Drawtunedimage1Click() {
    const Project& p = session().project();
    const FrameRows& frames = session().frames();
    if (!p.imagesLoaded() || frames.empty()) {
        TuneRedrawPending = false;
        return;
    }
    // Kept in range before anything reads a row: the range may have changed under it.
    CurrentFrame = std::clamp(CurrentFrame, 0, static_cast<int>(frames.size()) - 1);
    {
        const ScopedFlag syncing(TuneSelectionSyncing);
        TrackBar1->setValue(CurrentFrame);
        StringGrid1->selectionModel()->setCurrentIndex(FramesModel->index(CurrentFrame, 0),
                                                       QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    // The parameters dialog shows the current frame's values whether it is open or not.
    emit frameShown(CurrentFrame);
    const std::string* path = session().FrameSource(CurrentFrame);
    if (!path || app_.currentPage() != 2) {
        // A range beyond the list has nothing to draw; a page not in view is drawn when entered.
        TuneRedrawPending = false;
        return;
    }
    if (!TunePictureWorker || TunePictureWorker->busy()) {
        TuneRedrawPending = true;
        return;
    }
    const CropArea crop = app_.area();
    const int interlace = std::max(ComboBox2->currentIndex(), 0) - 1;
    const std::string* interlacePath = interlace >= 0 ? session().FrameSource(interlace) : nullptr;
    TuneRequest request;
    request.TuneFramePath = *path;
    request.TuneInterlacePath = interlacePath ? *interlacePath : std::string();
    request.rotationDegrees = p.rotationDegrees();
    request.MainTuneParams =
        TuneParamsFromValues(frames[static_cast<std::size_t>(CurrentFrame)].values, crop, p.backgroundColor);
    const KeyframeValues none{};
    const KeyframeValues& woven = interlace >= 0 && interlace < static_cast<int>(frames.size())
                                      ? frames[static_cast<std::size_t>(interlace)].values
                                      : none;
    request.InterlaceTuneParams = TuneParamsFromValues(woven, crop, p.backgroundColor);
    const QSize view = DevicePixels(Image2);
    request.viewWidth = view.width();
    request.viewHeight = view.height();
    request.generation = generation_;
    TunePictureWorker->tryWake(std::move(request));
    TuneRedrawPending = false;
}

void TunePage::TunePictureHandOver(const TuneResult& result) {
    if (result.request.generation != generation_) return;
    // The view stands for the full-size frame: its fit, and so a drag's conversion, are the frame's.
    Image2->setPicture(result.display, result.frameWidth, result.frameHeight);
    app_.setStatusPanel(kPathPanel, result.request.TuneFramePath);
}

void TunePage::StringGrid1Click() {
    if (TuneSelectionSyncing) return;
    const int row = StringGrid1->selectionModel()->currentIndex().row();
    if (row < 0) return;
    CurrentFrame = row;
    Drawtunedimage1Click();
}

void TunePage::StringGrid1DblClick() {
    emit parametersAsked();
}

void TunePage::TrackBar1Change() {
    if (TuneSelectionSyncing) return;
    CurrentFrame = TrackBar1->value();
    Drawtunedimage1Click();
}

void TunePage::Button2Click() {
    CurrentFrame = TrackBar1->value() > 0 ? TrackBar1->value() - 1 : TrackBar1->maximum();
    Drawtunedimage1Click();
}

void TunePage::Button5Click() {
    CurrentFrame = TrackBar1->value() < TrackBar1->maximum() ? TrackBar1->value() + 1 : 0;
    Drawtunedimage1Click();
}

void TunePage::Button3Click() {
    if (!session().project().imagesLoaded()) return;
    session().DeleteKeyframe(SelectedFrame());
}

void TunePage::Button11Click() {
    if (!session().project().imagesLoaded()) return;
    session().ClearKeyframes();
}

void TunePage::Button4Click() {
    emit parametersAsked();
}

void TunePage::ComboBox2Change() {
    CurrentFrame = TrackBar1->value();
    Drawtunedimage1Click();
}

void TunePage::Entered() {
    if (CurrentFrame > TrackBar1->maximum()) CurrentFrame = TrackBar1->maximum();
    Drawtunedimage1Click();
}

void TunePage::Retry() {
    if (TuneRedrawPending) Drawtunedimage1Click();
}

void TunePage::Image2MouseDown(int x, int y, Qt::MouseButtons) {
    const FrameRows& frames = session().frames();
    dragFrame_ = SelectedFrame();
    if (dragFrame_ < 0 || dragFrame_ >= static_cast<int>(frames.size())) return;
    shiftDrag_.Press(x, y, frames[static_cast<std::size_t>(dragFrame_)].values);
    if (!gesture_) {
        gesture_ = true;
        session().BeginGesture();
    }
}

void TunePage::Image2MouseMove(int x, int y, Qt::MouseButtons buttons) {
    if (!session().project().imagesLoaded() || !(buttons & Qt::LeftButton)) return;
    // Screen pixels per pixel of the full-size frame, whether the view holds the frame or the weave.
    const double fit = ViewFit(Image2->width(), Image2->height(), Image2->pictureWidth(), Image2->pictureHeight());
    // The frame follows the pointer: each move makes it a keyframe, the whole drag one step.
    if (const std::optional<KeyframeValues> values = shiftDrag_.Move(x, y, fit))
        session().SetFrameValues(dragFrame_, *values);
}

void TunePage::Image2MouseUp(int x, int y, Qt::MouseButtons buttons) {
    if (!session().project().imagesLoaded()) {
        dragActive_ = false;  // a press without images starts no drag that could outlive the release
        EndShiftDrag();
        return;
    }
    if (!dragActive_) return;
    Image2MouseMove(x, y, buttons);  // the released button is no longer held: the last move counts
    EndShiftDrag();
}

void TunePage::Image2MouseLeave() {
    // Leaving the view ends the drag as a release there would: what the frame shows is kept.
    EndShiftDrag();
}

void TunePage::EndShiftDrag() {
    // Even a click that never moved pins the frame with the values it shows.
    if (shiftDrag_.Finish() && session().project().imagesLoaded())
        session().SetFrameValues(dragFrame_, shiftDrag_.values());
    if (gesture_) {
        gesture_ = false;
        session().EndGesture();
    }
}

void TunePage::Button12Click() {
    const Project& p = session().project();
    if (!p.imagesLoaded() || align_.busy()) return;
    const int frames = FrameCount(p.firstFrame, p.lastFrame);
    AlignJobRequest request;
    bool manual = false;
    for (int k = 0; k < frames; ++k) {
        const std::string* path = session().FrameSource(k);
        if (!path) break;
        request.settings.paths.push_back(*path);
        manual = manual || session().HasHandSetKeyframe(*path);
    }
    if (request.settings.paths.size() < 2) return;
    const bool replaceManual =
        manual && app_.dialogs().question(this, QString::fromUtf8(Tr(Msg::AlignReplaceManual, app_.language())));
    request.task = AlignTask::AutoAlign;
    request.settings.rotationDegrees = p.rotationDegrees();
    const CropArea crop = app_.area();
    request.settings.crop = {crop.left, crop.top, crop.width, crop.height};
    align_.Start(std::move(request), Tr(Msg::AlignProgress, app_.language()),
                 [this, replaceManual](const AlignJobResult& result) {
                     const TurnAlignment& alignment = result.alignment;
                     if (alignment.cancelled) return;
                     if (!alignment.status.ok()) {
                         app_.reportFailure(alignment.status);
                         return;
                     }
                     const AppliedAlignment applied =
                         session().ApplyAlignment(result.request.settings.paths, alignment.frames, replaceManual);
                     if (applied.unaligned.empty()) return;
                     // The first frame that kept its values is shown, and all of them are listed.
                     CurrentFrame = applied.unaligned.front();
                     Drawtunedimage1Click();
                     const QString text =
                         QString::fromStdString(UnalignedFramesText(applied.unaligned, app_.language()));
                     QMetaObject::invokeMethod(
                         this, [this, text] { app_.dialogs().message(this, text); }, Qt::QueuedConnection);
                 });
}

void TunePage::SetConfidenceHeader(Language language) {
    FramesModel->setHeader(FramesTableModel::kConfidenceColumn, QString::fromUtf8(Tr(Msg::AlignConfidence, language)),
                           QString::fromUtf8(Tr(Msg::AlignConfidenceTip, language)));
}

}  // namespace turnlet
