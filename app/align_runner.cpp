// SPDX-License-Identifier: MIT
// "Auto-align" and "Find end of turn", one at a time, on a worker behind a progress window with Cancel.
#include "align_runner.h"

#include <QProgressDialog>
#include <QTimer>

#include <algorithm>

#include "app_context.h"
#include "shell/align_texts.h"

namespace turnlet {

AlignRunner::AlignRunner(AppContext& app, QWidget* window) : QObject(window), app_(app), window_(window) {
    job_ = std::make_unique<AlignJob>([this](const AlignJobResult& r) { HandOver(r); });
    AlignWorker = std::make_unique<GuiWorker<AlignJobRequest>>(
        this, [job = job_.get()](const AlignJobRequest& request, Worker& w) { return (*job)(request, w); },
        [this](const Status& status) { app_.reportFailure(status); });
}

AlignRunner::~AlignRunner() {
    stop();
}

void AlignRunner::stop() {
    if (!AlignWorker) return;
    AlignWorker->stop();
    AlignWorker.reset();
}

bool AlignRunner::busy() const {
    return AlignWorker && AlignWorker->busy();
}

bool AlignRunner::Start(AlignJobRequest request, const char* label, Done done) {
    if (!AlignWorker || AlignWorker->busy()) return false;
    progress_ = std::make_shared<AlignProgress>();
    request.progress = progress_;
    request.generation = generation_;
    if (!AlignWorker->tryWake(std::move(request))) return false;
    done_ = std::move(done);
    const std::string& code = app_.settings().languageCode;
    AlignProgressDialog = new QProgressDialog(
        QString::fromUtf8(label), QString::fromUtf8(AlignTextFor(AlignText::Cancel, code)), 0, 100, window_);
    AlignProgressDialog->setObjectName(QStringLiteral("AlignProgressDialog"));
    // The window stays responsive but takes no edits while the tables may yet be rewritten.
    AlignProgressDialog->setWindowModality(Qt::WindowModal);
    AlignProgressDialog->setMinimumDuration(0);
    AlignProgressDialog->setAutoClose(false);
    AlignProgressDialog->setAutoReset(false);
    AlignProgressDialog->setValue(0);
    connect(AlignProgressDialog, &QProgressDialog::canceled, this, &AlignRunner::AlignCancel);
    if (!progressTimer_) {
        progressTimer_ = new QTimer(this);
        progressTimer_->setInterval(100);
        connect(progressTimer_, &QTimer::timeout, this, [this] {
            if (!AlignProgressDialog || !progress_) return;
            const int total = progress_->total.load();
            if (total > 0) AlignProgressDialog->setValue(std::min(99, progress_->done.load() * 100 / total));
        });
    }
    progressTimer_->start();
    AlignProgressDialog->show();
    return true;
}

void AlignRunner::AlignCancel() {
    if (progress_) progress_->cancel = true;
}

void AlignRunner::EndProgress() {
    if (progressTimer_) progressTimer_->stop();
    if (AlignProgressDialog) {
        AlignProgressDialog->disconnect(this);
        AlignProgressDialog->close();
        AlignProgressDialog->deleteLater();
        AlignProgressDialog = nullptr;
    }
}

void AlignRunner::HandOver(const AlignJobResult& result) {
    EndProgress();
    // A project since closed, or a run the user cancelled (even one that was done by the time the
    // Cancel was seen), changes nothing.
    if (result.request.generation != generation_) return;
    if (result.request.progress && result.request.progress->cancel.load()) return;
    if (done_) done_(result);
}

}  // namespace turnlet
