// SPDX-License-Identifier: MIT
// The task library: every item once, failures and cancels carried back, no deadlock when nested or busy.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "base/tasks.h"

namespace turnlet {
namespace {

TEST(Tasks, ParallelForRunsEachItemOnceOnePerSlotAtATime) {
    for (auto [items, threads] : {std::pair{0, 0}, {1, 4}, {7, 1}, {100, 2}, {1000, 0}, {3, 16}}) {
        SCOPED_TRACE(std::to_string(items) + " items on " + std::to_string(threads));
        const int slots = threads > 0 ? threads : PoolThreads();
        std::vector<std::atomic<int>> hits(static_cast<std::size_t>(items));
        std::vector<std::atomic<int>> inSlot(static_cast<std::size_t>(slots));
        std::atomic<bool> overlapped{false}, outOfRange{false};
        ForOptions options;
        options.maxThreads = threads;
        const TaskOutcome outcome = ParallelFor(0, items, options, [&](int item, int slot) {
            if (slot < 0 || slot >= slots) {
                outOfRange = true;
                return;
            }
            if (inSlot[static_cast<std::size_t>(slot)]++ != 0) overlapped = true;
            ++hits[static_cast<std::size_t>(item)];
            --inSlot[static_cast<std::size_t>(slot)];
        });
        EXPECT_FALSE(outcome.failed());
        EXPECT_FALSE(outcome.cancelled);
        EXPECT_FALSE(outOfRange);
        EXPECT_FALSE(overlapped);
        for (int i = 0; i < items; ++i) ASSERT_EQ(hits[static_cast<std::size_t>(i)].load(), 1) << i;
    }
}

TEST(Tasks, FailuresComeBackAsStatusesNamingTheWork) {
    struct Case {
        int threads;
        std::function<void(int)> item;
        bool outOfMemory;
        std::string reason;
    } cases[] = {
        {2,
         [](int i) {
             if (i == 37) throw std::bad_alloc();
         },
         true, "not enough memory while testing"},
        {1,
         [](int i) {
             if (i == 5) throw std::runtime_error("broken");
         },
         false, "unexpected failure while testing: broken"},
        // Two failures: the lower item's is the one reported, whichever thread met it first.
        {4,
         [](int i) {
             if (i == 3 || i == 60) throw std::runtime_error(std::to_string(i));
         },
         false, "unexpected failure while testing: 3"},
        {2,
         [](int i) {
             if (i == 0) throw 42;
         },
         false, "unexpected failure while testing"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        std::atomic<int> ran{0};
        ForOptions options;
        options.maxThreads = c.threads;
        options.what = "testing";
        options.fileOf = [](int i) { return "item" + std::to_string(i); };
        const TaskOutcome outcome = ParallelFor(0, 100, options, [&](int i, int) {
            ++ran;
            c.item(i);
        });
        ASSERT_TRUE(outcome.failed());
        EXPECT_EQ(outcome.outOfMemory, c.outOfMemory);
        EXPECT_EQ(outcome.status.reason(), c.reason);
        EXPECT_EQ(outcome.status.file().substr(0, 4), "item");
        if (c.threads == 1) {
            EXPECT_EQ(ran.load(), 6);  // nothing started after the failure
        }
        if (c.outOfMemory) {
            EXPECT_THROW(outcome.throwIfFailed(), std::bad_alloc);
        } else {
            EXPECT_THROW(outcome.throwIfFailed(), std::runtime_error);
        }
    }
    // Posted tasks, run-both and dedicated threads carry theirs back the same way.
    Task<int> posted = Post("posting", []() -> int { throw std::bad_alloc(); });
    EXPECT_EQ(posted.wait().status.reason(), "not enough memory while posting");
    EXPECT_EQ(RunBoth([] {}, [] { throw std::runtime_error("b"); }, "both").status.reason(),
              "unexpected failure while both: b");
    EXPECT_EQ(RunBoth([] { throw std::runtime_error("a"); }, [] { throw std::runtime_error("b"); }).status.reason(),
              "unexpected failure: a");
    DedicatedThread own;
    ASSERT_TRUE(own.start("looping", [] { throw std::runtime_error("loop"); }));
    EXPECT_EQ(own.join().status.reason(), "unexpected failure while looping: loop");
}

TEST(Tasks, CancelStopsNewItemsAndSaysSo) {
    CancelToken token;
    ForOptions options;
    options.maxThreads = 1;
    options.cancel = &token;
    std::vector<int> ran;
    const TaskOutcome outcome = ParallelFor(10, 20, options, [&](int i, int) {
        ran.push_back(i);
        if (i == 13) token.cancel();
    });
    EXPECT_EQ(ran, (std::vector<int>{10, 11, 12, 13}));
    EXPECT_TRUE(outcome.cancelled);
    EXPECT_FALSE(outcome.failed());
    // Cancelled after the last item: everything ran, nothing was cut short.
    CancelToken late;
    options.cancel = &late;
    EXPECT_FALSE(ParallelFor(0, 3, options, [&](int i, int) {
                     if (i == 2) late.cancel();
                 }).cancelled);
}

// Every pool thread held by a task that waits: work still gets done, on the caller's thread.
TEST(Tasks, NestedAndBusyPoolsDoNotDeadlock) {
    std::mutex mutex;
    std::condition_variable changed;
    int holding = 0;
    bool release = false;
    std::vector<Task<void>> holders;
    for (int i = 0; i < PoolThreads(); ++i)
        holders.push_back(Post("holding", [&] {
            std::unique_lock lock(mutex);
            ++holding;
            changed.notify_all();
            changed.wait(lock, [&] { return release; });
        }));
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return holding == PoolThreads(); });
    }
    std::atomic<int> elsewhere{0};
    const std::thread::id me = std::this_thread::get_id();
    EXPECT_FALSE(ParallelFor(0, 50, {}, [&](int, int) { elsewhere += std::this_thread::get_id() != me; }).failed());
    EXPECT_EQ(elsewhere.load(), 0);
    Task<std::thread::id> queued = Post("queued", [] { return std::this_thread::get_id(); });
    ASSERT_FALSE(queued.wait().failed());
    EXPECT_EQ(queued.value(), me);  // run by its waiter
    {
        std::lock_guard lock(mutex);
        release = true;
    }
    changed.notify_all();
    for (Task<void>& holder : holders) EXPECT_FALSE(holder.wait().failed());

    // Parallel-fors inside parallel-fors inside run-both, on a free pool.
    std::atomic<int> leaves{0};
    auto nested = [&] {
        ParallelFor(0, 8, {}, [&](int, int) {
            ParallelFor(0, 8, {}, [&](int, int) { ParallelFor(0, 4, {}, [&](int, int) { ++leaves; }); });
        });
    };
    EXPECT_FALSE(RunBoth(nested, nested).failed());
    EXPECT_EQ(leaves.load(), 2 * 8 * 8 * 4);
}

}  // namespace
}  // namespace turnlet
