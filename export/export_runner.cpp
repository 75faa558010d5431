// SPDX-License-Identifier: MIT
// Starting, stopping and restarting exports from the export dialog.
#include "export/export_runner.h"

#include <algorithm>
#include <utility>

namespace turnlet {

ExportRunner::ExportRunner(ExportObserver& observer, PostToOwner post, ExportOptions options)
    : observer_(observer), post_(std::move(post)), options_(options) {}

ExportRunner::~ExportRunner() {
    alive_.reset();
    launchPending_ = false;
    if (current_.session) current_.session->Retire();
    if (current_.worker) {
        current_.worker->Stop();
        retired_.push_back(std::move(current_));
    }
    // All stopped before the first join, so the frames in hand finish side by side.
    for (Run& run : retired_) run.worker->Stop();
    retired_.clear();
}

void ExportRunner::Start(std::shared_ptr<const ExportPlan> plan) {
    if (current_.session) current_.session->Retire();
    if (current_.worker) {
        current_.worker->Stop();
        retired_.push_back(std::move(current_));
    }
    current_ = Run{nextId_++, std::make_shared<ExportSession>(observer_, std::move(plan)), nullptr};
    observer_.exportProgress(0);
    launchPending_ = true;
    if (retired_.empty()) Launch();
}

void ExportRunner::Stop() {
    if (!current_.session) return;
    current_.session->Stop();
    // An export still waiting for its predecessor to end is not started at all: it ends here,
    // having written nothing.
    if (launchPending_) {
        launchPending_ = false;
        ExportOutcome outcome;
        outcome.end = ExportOutcome::End::Stopped;
        outcome.total = current_.session->plan().frameCount();
        current_.session->Ended(outcome);
    }
}

void ExportRunner::Launch() {
    launchPending_ = false;
    const std::uint64_t id = current_.id;
    current_.worker = std::make_unique<ExportPicture>(
        current_.session, post_, options_, [this, alive = std::weak_ptr<int>(alive_), id](const ExportOutcome&) {
            if (!alive.expired()) WorkerEnded(id);
        });
    current_.worker->Start();
}

void ExportRunner::WorkerEnded(std::uint64_t id) {
    // Runs in a call posted by the worker after its run; ending the worker here only joins a
    // thread that has nothing left to do.
    if (current_.worker && current_.id == id) {
        current_.worker.reset();
    } else {
        std::erase_if(retired_, [id](const Run& run) { return run.id == id; });
    }
    if (launchPending_ && retired_.empty()) Launch();
}

}  // namespace turnlet
