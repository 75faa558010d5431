// SPDX-License-Identifier: MIT
// A long-lived worker whose hand-overs run on the GUI thread and whose failures reach the user.
#pragma once

#include <QMetaObject>
#include <QObject>

#include <functional>
#include <utility>

#include "base/status.h"
#include "base/worker.h"

namespace turnlet {

// The GUI side of a RequestWorker: a hand-over is a blocking queued call onto the owner's thread (the
// worker waits until the step has run there), and a failed request is reported on that thread once
// the worker is idle again, followed by the idle callback (if any), which may ask for the request
// that found the worker busy. Requests are refused while the worker is busy; the caller applies its
// busy rule. stop() releases a hand-over still queued, so the owner can end the worker from its own
// thread at any time.
template <class Request>
class GuiWorker {
  public:
    using Job = typename RequestWorker<Request>::Job;
    using Failed = std::function<void(const Status&)>;
    using Idle = std::function<void()>;

    // owner must outlive the worker (stop and destroy the worker first).
    GuiWorker(QObject* owner, Job job, Failed failed, Idle idle = {})
        : worker_(
              std::move(job),
              [owner](std::function<void()> step) {
                  QMetaObject::invokeMethod(owner, std::move(step), Qt::QueuedConnection);
              },
              [owner, failed = std::move(failed), idle = std::move(idle)](const Status& status) {
                  const bool report = !status.ok() && failed;
                  if (!report && !idle) return;
                  QMetaObject::invokeMethod(
                      owner,
                      [failed, idle, status, report] {
                          if (report) failed(status);
                          if (idle) idle();
                      },
                      Qt::QueuedConnection);
              }) {}

    bool busy() const { return worker_.busy(); }
    bool tryWake(Request request) { return worker_.tryWake(std::move(request)); }
    void stop() { worker_.stop(); }

  private:
    RequestWorker<Request> worker_;
};

}  // namespace turnlet
