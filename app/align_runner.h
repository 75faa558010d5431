// SPDX-License-Identifier: MIT
// "Auto-align" and "Find end of turn", one at a time, on a worker behind a progress window with Cancel.
#pragma once

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>

#include "align/align_job.h"
#include "gui_worker.h"

class QProgressDialog;
class QTimer;
class QWidget;

namespace turnlet {

class AppContext;

class AlignRunner : public QObject {
    Q_OBJECT

  public:
    using Done = std::function<void(const AlignJobResult&)>;

    // window: the progress window's parent.
    AlignRunner(AppContext& app, QWidget* window);
    ~AlignRunner() override;

    // Starts request with the progress window showing label; done gets the result on this thread
    // unless the run was cancelled or the project replaced meanwhile. False when one still runs.
    bool Start(AlignJobRequest request, const char* label, Done done);
    bool busy() const;
    // Cancel of the progress window: the run ends early and its result is dropped.
    void AlignCancel();
    // A project replaced: a result still coming belongs to the old one.
    void ProjectReplaced() { ++generation_; }
    void stop();

    // Shown while a run goes, with its Cancel; null otherwise.
    QProgressDialog* AlignProgressDialog = nullptr;
    std::unique_ptr<GuiWorker<AlignJobRequest>> AlignWorker;

  private:
    void HandOver(const AlignJobResult& result);
    void EndProgress();

    AppContext& app_;
    QWidget* window_;
    std::unique_ptr<AlignJob> job_;
    std::shared_ptr<AlignProgress> progress_;
    QTimer* progressTimer_ = nullptr;
    Done done_;
    std::uint64_t generation_ = 0;
};

}  // namespace turnlet
