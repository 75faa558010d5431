// SPDX-License-Identifier: MIT
// The one worker mechanism behind every background task.
#include "worker.h"

#include <utility>

namespace turnlet {

Worker::Worker(Job job, HandOver handOver) : job_(std::move(job)), handOver_(std::move(handOver)) {
    thread_ = std::thread([this] { run(); });
}

Worker::~Worker() {
    stop();
    if (thread_.joinable()) thread_.join();
}

bool Worker::busy() const {
    std::lock_guard lock(mutex_);
    return busy_;
}

bool Worker::wake() {
    std::lock_guard lock(mutex_);
    if (busy_ || stop_) return false;
    busy_ = true;
    changed_.notify_all();
    return true;
}

void Worker::waitIdle() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !busy_; });
}

void Worker::stop() {
    std::lock_guard lock(mutex_);
    stop_ = true;
    changed_.notify_all();
}

bool Worker::stopping() const {
    std::lock_guard lock(mutex_);
    return stop_;
}

void Worker::handOver(const Step& step) {
    if (handOver_) {
        handOver_(step);
    } else {
        step();
    }
}

void Worker::run() {
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return busy_ || stop_; });
            // A wake that raced with stop still runs: the owner has already written its request.
            if (!busy_) return;
        }
        job_(*this);
        {
            std::lock_guard lock(mutex_);
            busy_ = false;
            changed_.notify_all();
            if (stop_) return;
        }
    }
}

}  // namespace turnlet
