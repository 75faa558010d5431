// SPDX-License-Identifier: MIT
// The editor's alignment worker job: "Auto-align" (every frame's values) or "Find end of turn", with
// progress for the GUI to poll and the result handed over once, whatever the outcome.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "align/turn_alignment.h"
#include "align/turn_end.h"
#include "base/worker.h"

namespace turnlet {

// Shared by the GUI and the job: the GUI reads the progress and sets cancel.
struct AlignProgress {
    std::atomic<int> done{0};
    std::atomic<int> total{0};
    std::atomic<bool> cancel{false};
};

enum class AlignTask { AutoAlign, FindEnd };

struct AlignJobRequest {
    AlignTask task = AlignTask::AutoAlign;
    AlignSettings settings;  // for FindEnd: the paths from the first frame to the end of the list
    std::shared_ptr<AlignProgress> progress;
    // Lets the owner recognise a result of a project it has since closed.
    std::uint64_t generation = 0;
};

// What the hand-over step sees; valid only while the step runs. Each outcome's status is the
// failure of the run (a source that cannot be read), cancelled a stop asked for by cancel or by the
// worker's end. Only the task's own outcome is filled.
struct AlignJobResult {
    const AlignJobRequest& request;
    const TurnAlignment& alignment;
    const TurnEnd& end;
};

class AlignJob {
  public:
    using Present = std::function<void(const AlignJobResult&)>;
    explicit AlignJob(Present present) : present_(std::move(present)) {}

    // Runs the task and hands the result over; never fails itself (a failure is in the result).
    Status operator()(const AlignJobRequest& request, Worker& worker);

  private:
    Present present_;
};

}  // namespace turnlet
