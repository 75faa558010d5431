// SPDX-License-Identifier: MIT
// Starting, stopping and restarting exports from the export dialog, one session and worker per export.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "export/export_engine.h"

namespace turnlet {

// The export dialog's side of the export. Every call happens on the owner's thread, which also
// serves the workers' hand-overs; nothing here waits for a worker, except the destructor.
class ExportRunner {
  public:
    // post must queue a call onto the owner's thread.
    ExportRunner(ExportObserver& observer, PostToOwner post, ExportOptions options = {});
    // Ends every export silently; each worker first finishes its frame in hand (this waits that long).
    ~ExportRunner();
    ExportRunner(const ExportRunner&) = delete;
    ExportRunner& operator=(const ExportRunner&) = delete;

    // A fresh session on plan, the progress bar at 0. An export still running is retired: its
    // worker finishes the frame in hand and ends without another hand-over, and the new worker
    // starts only once it has ended, so two workers never write at once.
    void Start(std::shared_ptr<const ExportPlan> plan);
    // Stop: the current export ends after its frame in hand and reports how many frames it wrote.
    void Stop();
    // While a worker of this runner (the current export's or a retired one) has not ended, or the
    // current export still waits to start.
    bool running() const { return launchPending_ || current_.worker != nullptr || !retired_.empty(); }
    // The current export's session; null before the first Start.
    const ExportSession* session() const { return current_.session.get(); }

  private:
    struct Run {
        std::uint64_t id = 0;
        std::shared_ptr<ExportSession> session;
        std::unique_ptr<ExportPicture> worker;
    };

    void Launch();
    // A worker's run has ended (its notice, posted from the worker thread).
    void WorkerEnded(std::uint64_t id);

    ExportObserver& observer_;
    PostToOwner post_;
    ExportOptions options_;
    Run current_;
    bool launchPending_ = false;
    // Replaced exports whose workers are still finishing their frame; their sessions live as long.
    std::vector<Run> retired_;
    std::uint64_t nextId_ = 1;
    // Notices that arrive after the runner is gone find this expired.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace turnlet
