// SPDX-License-Identifier: MIT
// The worker mechanism: idle/busy, requests by value, the hand-over to an owner thread, stop and failures.
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <new>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

#include "base/worker.h"
#include "owner_thread.h"

namespace turnlet {
namespace {

using testing::OwnerThread;

TEST(Worker, RunsOneJobPerWakeAndGoesIdleByItself) {
    std::atomic<int> runs{0};
    Worker worker([&](Worker&) {
        ++runs;
        return Status::Ok();
    });
    EXPECT_FALSE(worker.busy());
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(worker.wake());
        worker.waitIdle();
    }
    EXPECT_EQ(runs.load(), 50);
}

TEST(Worker, BusyWorkerRefusesARequestAndKeepsTheOneInHand) {
    std::mutex gate;
    std::unique_lock hold(gate);
    std::vector<int> served;  // read after waitIdle only
    RequestWorker<int> worker([&](const int& request, Worker&) {
        std::lock_guard wait(gate);
        served.push_back(request);
        return Status::Ok();
    });
    ASSERT_TRUE(worker.tryWake(1));
    EXPECT_TRUE(worker.busy());
    EXPECT_FALSE(worker.tryWake(2));  // dropped, as a second request during a render is
    hold.unlock();
    worker.waitIdle();
    EXPECT_FALSE(worker.busy());
    EXPECT_TRUE(worker.tryWake(3));
    worker.waitIdle();
    EXPECT_EQ(served, (std::vector<int>{1, 3}));
}

// Requests go in by value and results come back on the owner thread; ThreadSanitizer checks that
// nothing else is shared.
TEST(Worker, RequestsByValueAndHandOversOnTheOwnerThread) {
    OwnerThread owner;
    int shown = -1;     // touched only on the owner thread
    int handOvers = 0;  // likewise
    std::thread::id handOverThread;
    RequestWorker<std::string> worker(
        [&](const std::string& request, Worker& w) {
            const int result = static_cast<int>(request.size()) * 2;
            EXPECT_TRUE(w.handOver([&] {
                shown = result;
                ++handOvers;
                handOverThread = std::this_thread::get_id();
            }));
            return Status::Ok();
        },
        owner.poster());
    for (int i = 1; i <= 200; ++i) {
        owner.Run([&] { ASSERT_TRUE(worker.tryWake(std::string(static_cast<std::size_t>(i), 'x'))); });
        worker.waitIdle();
        owner.Run([&] { EXPECT_EQ(shown, i * 2); });
    }
    owner.Run([&] {
        EXPECT_EQ(handOvers, 200);
        EXPECT_EQ(handOverThread, owner.id());
    });
}

// The owner thread is the one that serves hand-overs; it stops and destroys a worker whose
// hand-over is still queued behind it. Neither waits for the other, and the queued step, run later,
// does nothing.
TEST(Worker, StopReleasesAQueuedHandOverSoTheOwnerCanEndTheWorker) {
    OwnerThread owner;
    std::atomic<bool> stepRan{false};
    std::atomic<bool> handOverResult{true};
    std::promise<void> handOverPosted;
    std::unique_ptr<Worker> worker;
    owner.Run([&] {
        worker = std::make_unique<Worker>(
            [&](Worker& w) {
                handOverResult = w.handOver([&] { stepRan = true; });
                return Status::Ok();
            },
            [&](std::function<void()> fn) {
                owner.Post(std::move(fn));
                handOverPosted.set_value();
            });
        ASSERT_TRUE(worker->wake());
        handOverPosted.get_future().wait();  // the step is queued behind this very call
        worker.reset();                      // stop + join from the serving thread
    });
    owner.Run([] {});  // lets the abandoned step run
    EXPECT_FALSE(stepRan.load());
    EXPECT_FALSE(handOverResult.load());
}

TEST(Worker, FailuresInsideAJobAreReportedAndTheWorkerStaysUsable) {
    std::mutex mutex;
    std::vector<Status> finished;
    std::atomic<int> mode{0};
    OwnerThread owner;
    Worker worker(
        [&](Worker& w) -> Status {
            switch (mode.load()) {
                case 0:
                    throw std::bad_alloc();
                case 1:
                    throw std::runtime_error("async failed");
                case 2:
                    w.handOver([] { throw std::runtime_error("step failed"); });
                    return Status::Ok();
                case 3:
                    return Status::Error("a.jpg", "damaged");
                default:
                    return Status::Ok();
            }
        },
        owner.poster(),
        [&](const Status& status) {
            EXPECT_FALSE(worker.busy());  // the owner may wake it again at once
            std::lock_guard lock(mutex);
            finished.push_back(status);
        });
    for (int m = 0; m <= 4; ++m) {
        mode = m;
        ASSERT_TRUE(worker.wake());
        while (true) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            std::lock_guard lock(mutex);
            if (finished.size() == static_cast<std::size_t>(m + 1)) break;
        }
    }
    std::lock_guard lock(mutex);
    ASSERT_EQ(finished.size(), 5u);
    EXPECT_EQ(finished[0].reason(), "not enough memory");
    EXPECT_EQ(finished[1].reason(), "unexpected failure: async failed");
    EXPECT_EQ(finished[2].reason(), "unexpected failure: step failed");
    EXPECT_EQ(finished[3].message(), "a.jpg: damaged");
    EXPECT_TRUE(finished[4].ok());
}

TEST(Worker, StopLetsTheRunningJobFinishAndRefusesItsHandOvers) {
    std::atomic<bool> finished{false};
    std::atomic<bool> handedOver{true};
    std::mutex gate;
    std::unique_lock hold(gate);
    auto worker = std::make_unique<RequestWorker<int>>([&](const int&, Worker& w) {
        std::lock_guard wait(gate);
        handedOver = w.handOver([] {});
        finished = true;
        return Status::Ok();
    });
    ASSERT_TRUE(worker->tryWake(1));
    worker->stop();
    EXPECT_TRUE(worker->stopping());
    EXPECT_FALSE(worker->tryWake(2));
    hold.unlock();
    worker.reset();  // joins
    EXPECT_TRUE(finished.load());
    EXPECT_FALSE(handedOver.load());
}

}  // namespace
}  // namespace turnlet
