// SPDX-License-Identifier: MIT
// "Auto-align" on the "Tune positions" page and "Find end of turn" on the "First and last frames"
// page: both run on the alignment worker behind a progress window with Cancel.
#include <QPushButton>
#include <QProgressDialog>
#include <QSpinBox>
#include <QTimer>

#include <algorithm>

#include "align/align_keyframes.h"
#include "dialogs.h"
#include "main_window.h"
#include "picture_view.h"
#include "shell/align_texts.h"
#include "tuning/keyframes.h"
#include "tuning/tune_params.h"

namespace turnlet {

PixelRect TForm2::TunedCropRect() const {
    const TuneCrop crop = TuneCropFromTexts(project.crop.left, project.crop.top, project.crop.width,
                                            project.crop.height, Image1->pictureWidth(), Image1->pictureHeight());
    return {crop.left, crop.top, crop.width, crop.height};
}

bool TForm2::StartAlignJob(AlignJobRequest request, const char* label) {
    if (AlignWorker->busy()) return false;
    alignProgress_ = std::make_shared<AlignProgress>();
    request.progress = alignProgress_;
    request.generation = sourceGeneration_;
    if (!AlignWorker->tryWake(std::move(request))) return false;
    const std::string& code = settings.languageCode;
    AlignProgressDialog = new QProgressDialog(QString::fromUtf8(label),
                                              QString::fromUtf8(AlignTextFor(AlignText::Cancel, code)), 0, 100, this);
    AlignProgressDialog->setObjectName(QStringLiteral("AlignProgressDialog"));
    // The window stays responsive but takes no edits while the tables may yet be rewritten.
    AlignProgressDialog->setWindowModality(Qt::WindowModal);
    AlignProgressDialog->setMinimumDuration(0);
    AlignProgressDialog->setAutoClose(false);
    AlignProgressDialog->setAutoReset(false);
    AlignProgressDialog->setValue(0);
    connect(AlignProgressDialog, &QProgressDialog::canceled, this, &TForm2::AlignCancel);
    if (!alignProgressTimer_) {
        alignProgressTimer_ = new QTimer(this);
        alignProgressTimer_->setInterval(100);
        connect(alignProgressTimer_, &QTimer::timeout, this, [this] {
            if (!AlignProgressDialog || !alignProgress_) return;
            const int total = alignProgress_->total.load();
            if (total > 0) AlignProgressDialog->setValue(std::min(99, alignProgress_->done.load() * 100 / total));
        });
    }
    alignProgressTimer_->start();
    AlignProgressDialog->show();
    return true;
}

void TForm2::AlignCancel() {
    if (alignProgress_) alignProgress_->cancel = true;
}

void TForm2::EndAlignProgress() {
    if (alignProgressTimer_) alignProgressTimer_->stop();
    if (AlignProgressDialog) {
        AlignProgressDialog->disconnect(this);
        AlignProgressDialog->close();
        AlignProgressDialog->deleteLater();
        AlignProgressDialog = nullptr;
    }
}

bool TForm2::WrittenByAutoAlign(const std::string& path) const {
    const int row = FindKeyframe(project.keyframes, path);
    const auto written = alignWritten_.find(path);
    return row >= 0 && written != alignWritten_.end() && written->second == project.keyframes.row(row);
}

void TForm2::Button12Click() {
    if (!project.imagesLoaded || AlignWorker->busy()) return;
    const int frames = FrameCount(project.firstFrame, project.lastFrame);
    AlignJobRequest request;
    bool manual = false;
    for (int k = 0; k < frames; ++k) {
        const std::string* path = SourceAt(project.firstFrame + k);
        if (!path) break;
        request.settings.paths.push_back(*path);
        manual = manual || (FindKeyframe(project.keyframes, *path) >= 0 && !WrittenByAutoAlign(*path));
    }
    if (request.settings.paths.size() < 2) return;
    const std::string& code = settings.languageCode;
    alignReplaceManual_ =
        manual && dialogs_.question(this, QString::fromUtf8(AlignTextFor(AlignText::ReplaceManual, code)));
    request.task = AlignTask::AutoAlign;
    request.settings.rotationDegrees = project.rotationDegrees();
    request.settings.crop = TunedCropRect();
    StartAlignJob(std::move(request), AlignTextFor(AlignText::Progress, code));
}

void TForm2::BitBtn3Click() {
    if (!project.imagesLoaded || AlignWorker->busy()) return;
    AlignJobRequest request;
    request.task = AlignTask::FindEnd;
    // The turn may end anywhere after the first frame: every source from it on is looked at.
    for (int index = project.firstFrame; const std::string* path = SourceAt(index); ++index)
        request.settings.paths.push_back(*path);
    if (request.settings.paths.size() < 3) return;
    request.settings.rotationDegrees = project.rotationDegrees();
    request.settings.crop = TunedCropRect();
    StartAlignJob(std::move(request), AlignTextFor(AlignText::FindingEnd, settings.languageCode));
}

void TForm2::AlignHandOver(const AlignJobResult& result) {
    EndAlignProgress();
    // A project since closed, or a run the user cancelled (even one that was done by the time the
    // Cancel was seen), changes nothing.
    if (result.request.generation != sourceGeneration_) return;
    if (result.request.progress && result.request.progress->cancel.load()) return;
    const std::string& code = settings.languageCode;
    if (result.request.task == AlignTask::FindEnd) {
        const TurnEnd& end = result.end;
        if (end.cancelled) return;
        if (!end.status.ok()) {
            ReportFailure(end.status);
            return;
        }
        if (!end.found) {
            const QString text = QString::fromUtf8(AlignTextFor(AlignText::NoFullTurn, code));
            QMetaObject::invokeMethod(
                this, [this, text] { dialogs_.message(this, text); }, Qt::QueuedConnection);
            return;
        }
        // Through the frame number's own control, so every rule of the page applies.
        SpinEdit2->setValue(project.firstFrame + end.last);
        const int runnerUp = end.runnerUp < 0 ? -1 : project.firstFrame + end.runnerUp;
        const QString text = QString::fromStdString(TurnEndText(
            end.oneTurn, project.firstFrame + end.last, end.confidence, runnerUp, end.runnerUpConfidence, code));
        QMetaObject::invokeMethod(
            this, [this, text] { dialogs_.message(this, text); }, Qt::QueuedConnection);
        return;
    }
    const TurnAlignment& alignment = result.alignment;
    if (alignment.cancelled) return;
    if (!alignment.status.ok()) {
        ReportFailure(alignment.status);
        return;
    }
    // What the last run wrote and nobody has touched since is replaced like any frame without a
    // keyframe (a frame that cannot be aligned now keeps the values it shows).
    const std::vector<std::string>& paths = result.request.settings.paths;
    if (!alignReplaceManual_)
        for (const std::string& path : paths)
            if (WrittenByAutoAlign(path)) DeleteKeyframe(project.keyframes, path);
    const AppliedAlignment applied = ApplyAlignment(project.keyframes, project.frames, project.sources,
                                                    project.firstFrame, alignment.frames, alignReplaceManual_);
    alignWritten_.clear();
    for (std::size_t k = 0; k < paths.size(); ++k) {
        const int row = FindKeyframe(project.keyframes, paths[k]);
        if (row >= 0 && std::find(applied.kept.begin(), applied.kept.end(), static_cast<int>(k)) == applied.kept.end())
            alignWritten_[paths[k]] = project.keyframes.row(row);
    }
    RestoreKeyframes();
    if (!applied.unaligned.empty()) {
        // The first frame that kept its values is shown, and all of them are listed.
        CurrentFrame = applied.unaligned.front();
        const QString text = QString::fromStdString(UnalignedFramesText(applied.unaligned, code));
        QMetaObject::invokeMethod(
            this, [this, text] { dialogs_.message(this, text); }, Qt::QueuedConnection);
    }
    Drawtunedimage1Click();
}

}  // namespace turnlet
