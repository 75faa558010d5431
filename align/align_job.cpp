// SPDX-License-Identifier: MIT
// The alignment worker job.
#include "align/align_job.h"

namespace turnlet {

Status AlignJob::operator()(const AlignJobRequest& request, Worker& worker) {
    AlignCallbacks callbacks;
    AlignProgress* progress = request.progress.get();
    callbacks.progress = [progress](int done, int total) {
        if (!progress) return;
        progress->total = total;
        progress->done = done;
    };
    callbacks.stopping = [progress, &worker] { return worker.stopping() || (progress && progress->cancel.load()); };
    TurnAlignment alignment;
    TurnEnd end;
    if (request.task == AlignTask::AutoAlign) {
        alignment = AlignTurn(request.settings, callbacks);
    } else {
        end = FindTurnEnd(request.settings, callbacks);
    }
    worker.handOver([&] { present_(AlignJobResult{request, alignment, end}); });
    return Status::Ok();
}

}  // namespace turnlet
