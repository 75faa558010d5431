// SPDX-License-Identifier: MIT
// The one worker mechanism behind every background task: idle/busy, wake, hand-over onto the owner's thread.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "base/status.h"
#include "base/tasks.h"

namespace turnlet {

// Queues fn to run on the owner's thread (the GUI thread in the editor) and returns at once.
using PostToOwner = std::function<void(std::function<void()>)>;

// A long-lived thread that sleeps while idle and runs its job once per wake-up.
//
// The owner's thread wakes it; the worker runs the job and goes idle by itself. Results reach the
// owner through handOver(), which posts a step to the owner's thread and blocks the worker until
// the step has run (a blocking queued call). stop() releases a hand-over that is still queued, so
// an owner may stop and destroy a worker from the very thread that serves hand-overs.
//
// Never destroy a worker from inside one of its own hand-over steps: the worker waits for that
// step to end, and the destructor waits for the worker.
class Worker {
  public:
    using Step = std::function<void()>;
    using Job = std::function<Status(Worker&)>;
    // Runs on the worker thread after each job, once the worker is idle again. An exception that
    // escaped the job arrives here as an error, and the worker stays usable.
    using Finished = std::function<void(const Status&)>;

    // Without post, hand-over steps run in place on the worker thread (command line, tests).
    explicit Worker(Job job, PostToOwner post = {}, Finished finished = {});
    ~Worker();  // stop() and join
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    bool busy() const;
    // Starts one run of the job if idle and returns true; a busy or stopping worker refuses.
    bool wake();
    // Blocks the calling thread until the worker is idle. An owner that serves the hand-overs must
    // not call this while a job may still hand over, unless it has called stop() first.
    void waitIdle();
    // Lets the current run finish (its later hand-overs are refused), then ends the thread. Idempotent.
    void stop();
    // True once stop() has been asked; long jobs may poll it between steps.
    bool stopping() const;

    // Worker thread only: runs step on the owner's thread and waits until it has run. Returns false
    // without running it once stop() has been asked. An exception thrown by the step is rethrown
    // here, on the worker thread.
    bool handOver(const Step& step);

  protected:
    // Owner side: runs store under the worker's lock and starts a run, if idle and not stopping.
    bool wakeWith(const std::function<void()>& store);
    // Worker side: runs fn under the worker's lock.
    void withLock(const std::function<void()>& fn);
    // stop() and wait for the thread to end; for derived classes whose members the job uses.
    void join();

  private:
    struct Shared;
    void run();

    Job job_;
    PostToOwner post_;
    Finished finished_;
    // Shared with posted steps, which may run after the worker has gone.
    std::shared_ptr<Shared> shared_;
    DedicatedThread thread_;
};

// A worker whose every run serves one request, handed in by value under the worker's lock: the
// owner never writes fields that a running job reads.
template <class Request>
class RequestWorker : private Worker {
  public:
    using Job = std::function<Status(const Request&, Worker&)>;

    explicit RequestWorker(Job job, PostToOwner post = {}, Finished finished = {})
        : Worker([this, job = std::move(job)](Worker& self) { return job(take(self), self); }, std::move(post),
                 std::move(finished)) {}
    ~RequestWorker() { join(); }

    // Hands request to an idle worker and starts it; a busy or stopping worker refuses (the
    // request is dropped and the caller applies its busy rule).
    bool tryWake(Request request) {
        return wakeWith([&] { slot_.emplace(std::move(request)); });
    }

    using Worker::busy;
    using Worker::stop;
    using Worker::stopping;
    using Worker::waitIdle;

  private:
    Request take(Worker& self) {
        std::optional<Request> request;
        withLock([&] { request.swap(slot_); });
        return request ? std::move(*request) : Request{};
    }

    std::optional<Request> slot_;  // guarded by the worker's lock
};

}  // namespace turnlet
