// SPDX-License-Identifier: MIT
// A minimal owner thread with an event queue, standing in for the editor's GUI thread in worker tests.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

#include "base/worker.h"

namespace turnlet::testing {

class OwnerThread {
  public:
    OwnerThread() : thread_([this] { Loop(); }) {}
    ~OwnerThread() {
        Post({});
        thread_.join();
    }
    void Post(std::function<void()> fn) {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(fn));
        cv_.notify_all();
    }
    PostToOwner poster() {
        return [this](std::function<void()> fn) { Post(std::move(fn)); };
    }
    // Runs fn on the owner thread and returns once it has run.
    void Run(const std::function<void()>& fn) {
        std::promise<void> done;
        Post([&] {
            fn();
            done.set_value();
        });
        done.get_future().wait();
    }
    // Runs probe on the owner thread until it returns true; false after about ten seconds.
    bool RunUntil(const std::function<bool()>& probe) {
        for (int i = 0; i < 10000; ++i) {
            bool done = false;
            Run([&] { done = probe(); });
            if (done) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }
    std::thread::id id() const { return thread_.get_id(); }

  private:
    void Loop() {
        for (;;) {
            std::function<void()> fn;
            {
                std::unique_lock lock(mutex_);
                cv_.wait(lock, [this] { return !queue_.empty(); });
                fn = std::move(queue_.front());
                queue_.pop_front();
            }
            if (!fn) return;
            fn();
        }
    }
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> queue_;
    std::thread thread_;
};

}  // namespace turnlet::testing
