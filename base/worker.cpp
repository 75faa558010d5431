// SPDX-License-Identifier: MIT
// The one worker mechanism behind every background task.
#include "worker.h"

#include <cstdint>
#include <new>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>

namespace turnlet {

struct Worker::Shared {
    enum class StepState { None, Queued, Running, Done };

    std::mutex mutex;
    std::condition_variable changed;
    bool busy = false;
    bool stop = false;
    // The hand-over in flight: posted steps compare their id, so a step abandoned by stop() and
    // run later by the owner's queue does nothing.
    std::uint64_t stepId = 0;
    StepState stepState = StepState::None;
    // What a failing step threw, copied on the owner's thread: exception objects are not passed
    // between threads (their reference counts are invisible to the thread checker).
    std::optional<std::string> stepError;
    bool stepOutOfMemory = false;
};

Worker::Worker(Job job, PostToOwner post, Finished finished)
    : job_(std::move(job)),
      post_(std::move(post)),
      finished_(std::move(finished)),
      shared_(std::make_shared<Shared>()) {
    if (!thread_.start("running a job", [this] { run(); }))
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again),
                                "no thread for a worker");
}

Worker::~Worker() {
    join();
}

void Worker::join() {
    stop();
    thread_.join();
}

bool Worker::busy() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->busy;
}

bool Worker::wake() {
    return wakeWith({});
}

bool Worker::wakeWith(const std::function<void()>& store) {
    std::lock_guard lock(shared_->mutex);
    if (shared_->busy || shared_->stop) return false;
    if (store) store();
    shared_->busy = true;
    shared_->changed.notify_all();
    return true;
}

void Worker::withLock(const std::function<void()>& fn) {
    std::lock_guard lock(shared_->mutex);
    fn();
}

void Worker::waitIdle() {
    std::unique_lock lock(shared_->mutex);
    shared_->changed.wait(lock, [this] { return !shared_->busy; });
}

void Worker::stop() {
    std::lock_guard lock(shared_->mutex);
    shared_->stop = true;
    shared_->changed.notify_all();
}

bool Worker::stopping() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->stop;
}

bool Worker::handOver(const Step& step) {
    if (!post_) {
        if (stopping()) return false;
        step();
        return true;
    }
    std::uint64_t id = 0;
    {
        std::lock_guard lock(shared_->mutex);
        if (shared_->stop) return false;
        id = ++shared_->stepId;
        shared_->stepState = Shared::StepState::Queued;
        shared_->stepError.reset();
        shared_->stepOutOfMemory = false;
    }
    // step lives on this thread's stack; the posted call touches it only while this thread waits
    // for it (Queued -> Running -> Done), never after the hand-over was abandoned.
    post_([shared = shared_, id, &step] {
        {
            std::lock_guard lock(shared->mutex);
            if (shared->stepId != id || shared->stepState != Shared::StepState::Queued) return;
            shared->stepState = Shared::StepState::Running;
        }
        std::optional<std::string> error;
        bool outOfMemory = false;
        try {
            step();
        } catch (const std::bad_alloc&) {
            outOfMemory = true;
        } catch (const std::exception& e) {
            error = e.what();
        } catch (...) {
            error = "unknown exception";
        }
        std::lock_guard lock(shared->mutex);
        shared->stepError = std::move(error);
        shared->stepOutOfMemory = outOfMemory;
        shared->stepState = Shared::StepState::Done;
        shared->changed.notify_all();
    });
    std::unique_lock lock(shared_->mutex);
    shared_->changed.wait(lock, [this] {
        return shared_->stepState == Shared::StepState::Done ||
               (shared_->stop && shared_->stepState == Shared::StepState::Queued);
    });
    if (shared_->stepState != Shared::StepState::Done) {
        shared_->stepState = Shared::StepState::None;  // abandoned: the queued call will find nothing to do
        return false;
    }
    shared_->stepState = Shared::StepState::None;
    if (std::exchange(shared_->stepOutOfMemory, false)) throw std::bad_alloc();
    if (std::optional<std::string> error = std::exchange(shared_->stepError, std::nullopt))
        throw std::runtime_error(*error);
    return true;
}

void Worker::run() {
    for (;;) {
        {
            std::unique_lock lock(shared_->mutex);
            shared_->changed.wait(lock, [this] { return shared_->busy || shared_->stop; });
            // A wake that raced with stop still runs: the owner has already handed in its request.
            if (!shared_->busy) return;
        }
        Status status;
        try {
            status = job_(*this);
        } catch (...) {
            status = TaskOutcome::Caught({}, {}).status;
        }
        bool stop = false;
        {
            std::lock_guard lock(shared_->mutex);
            shared_->busy = false;
            shared_->changed.notify_all();
            stop = shared_->stop;
        }
        if (finished_) {
            try {
                finished_(status);
            } catch (...) {
                // The owner's notification failing must not take the thread down.
            }
        }
        if (stop) return;
    }
}

}  // namespace turnlet
