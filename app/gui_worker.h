// SPDX-License-Identifier: MIT
// A long-lived worker whose hand-overs run on the GUI thread and whose failures reach the user.
#pragma once

#include <QMetaObject>
#include <QObject>

#include <functional>
#include <utility>

#include "base/status.h"
#include "imaging/worker.h"

namespace turnlet {

// The GUI side of a RequestWorker: a hand-over is a blocking queued call onto the owner's thread (the
// worker waits until the step has run there), and a failed request is reported on that thread once
// the worker is idle again. Requests are refused while the worker is busy; the caller applies its
// busy rule. stop() releases a hand-over still queued, so the owner can end the worker from its own
// thread at any time.
template <class Request>
class GuiWorker {
  public:
    using Job = typename RequestWorker<Request>::Job;
    using Failed = std::function<void(const Status&)>;

    // owner must outlive the worker (stop and destroy the worker first).
    GuiWorker(QObject* owner, Job job, Failed failed)
        : worker_(
              std::move(job),
              [owner](std::function<void()> step) {
                  QMetaObject::invokeMethod(owner, std::move(step), Qt::QueuedConnection);
              },
              [owner, failed = std::move(failed)](const Status& status) {
                  if (status.ok() || !failed) return;
                  QMetaObject::invokeMethod(
                      owner, [failed, status] { failed(status); }, Qt::QueuedConnection);
              }) {}

    bool busy() const { return worker_.busy(); }
    bool tryWake(Request request) { return worker_.tryWake(std::move(request)); }
    void stop() { worker_.stop(); }

  private:
    RequestWorker<Request> worker_;
};

}  // namespace turnlet
