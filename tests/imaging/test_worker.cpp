// SPDX-License-Identifier: MIT
// The worker mechanism: idle/busy, wake, and the blocking hand-over to an owner thread.
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "imaging/worker.h"

namespace turnlet {
namespace {

// A minimal owner thread with an event queue, standing in for the GUI's blocking queued call.
class OwnerThread {
  public:
    OwnerThread() : thread_([this] { Loop(); }) {}
    ~OwnerThread() {
        Post({});
        thread_.join();
    }
    // Runs step on the owner thread and returns once it has run.
    void RunBlocking(const Worker::Step& step) {
        std::mutex done;
        std::condition_variable cv;
        bool ran = false;
        Post([&] {
            step();
            std::lock_guard lock(done);
            ran = true;
            cv.notify_all();
        });
        std::unique_lock lock(done);
        cv.wait(lock, [&] { return ran; });
    }
    std::thread::id id() const { return thread_.get_id(); }

  private:
    void Post(std::function<void()> fn) {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(fn));
        cv_.notify_all();
    }
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

TEST(Worker, RunsOneJobPerWakeAndGoesIdleByItself) {
    std::atomic<int> runs{0};
    Worker worker([&](Worker&) { ++runs; }, RunInPlace);
    EXPECT_FALSE(worker.busy());
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(worker.wake());
        worker.waitIdle();
    }
    EXPECT_EQ(runs.load(), 50);
}

TEST(Worker, BusyWorkerRefusesAWake) {
    std::mutex gate;
    std::unique_lock hold(gate);
    Worker worker([&](Worker&) { std::lock_guard wait(gate); }, RunInPlace);
    ASSERT_TRUE(worker.wake());
    EXPECT_TRUE(worker.busy());
    EXPECT_FALSE(worker.wake());  // dropped, as a second request during a render is
    hold.unlock();
    worker.waitIdle();
    EXPECT_FALSE(worker.busy());
    EXPECT_TRUE(worker.wake());
    worker.waitIdle();
}

// The request fields are plain data: written by the owner while idle, read by the worker while
// busy, results handed back on the owner thread. ThreadSanitizer checks the alternation.
TEST(Worker, RequestFieldsAndHandOverNeedNoOtherLock) {
    OwnerThread owner;
    int request = 0;    // owner writes while idle
    int shown = -1;     // written only on the owner thread
    int handOvers = 0;  // likewise
    std::thread::id handOverThread;
    Worker worker(
        [&](Worker& w) {
            const int result = request * 2;
            w.handOver([&] {
                shown = result;
                ++handOvers;
                handOverThread = std::this_thread::get_id();
            });
        },
        [&](const Worker::Step& step) { owner.RunBlocking(step); });
    for (int i = 1; i <= 200; ++i) {
        owner.RunBlocking([&] {
            if (!worker.busy()) {
                request = i;
                ASSERT_TRUE(worker.wake());
            }
        });
        worker.waitIdle();
        owner.RunBlocking([&] { EXPECT_EQ(shown, i * 2); });
    }
    owner.RunBlocking([&] {
        EXPECT_EQ(handOvers, 200);
        EXPECT_EQ(handOverThread, owner.id());
    });
}

TEST(Worker, StopLetsTheRunningJobFinish) {
    std::atomic<bool> finished{false};
    std::mutex gate;
    std::unique_lock hold(gate);
    auto worker = std::make_unique<Worker>(
        [&](Worker&) {
            std::lock_guard wait(gate);
            finished = true;
        },
        RunInPlace);
    ASSERT_TRUE(worker->wake());
    worker->stop();
    EXPECT_TRUE(worker->stopping());
    EXPECT_FALSE(worker->wake());
    hold.unlock();
    worker.reset();  // joins
    EXPECT_TRUE(finished.load());
}

}  // namespace
}  // namespace turnlet
