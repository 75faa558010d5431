// SPDX-License-Identifier: MIT
// The one pool, the parallel-for and posted tasks over it, and the dedicated threads: every thread starts here.
#include "base/tasks.h"

#include <algorithm>
#include <climits>
#include <deque>
#include <exception>
#include <new>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace turnlet {

namespace {

// Threads that sleep until a job is queued and run the jobs in order. Created on first use and
// joined when the program ends; jobs still queued then are dropped (whoever waits for one runs it).
class Pool {
  public:
    Pool() {
        const int wanted = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
        threads_.reserve(static_cast<std::size_t>(wanted));
        for (int i = 0; i < wanted; ++i) {
            try {
                threads_.push_back(std::thread([this] { Loop(); }));
            } catch (const std::system_error&) {
                break;  // fewer threads: callers do more of the work themselves
            }
        }
    }
    ~Pool() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        queued_.notify_all();
        for (std::thread& thread : threads_) thread.join();
    }
    Pool(const Pool&) = delete;
    Pool& operator=(const Pool&) = delete;

    int threads() const { return static_cast<int>(threads_.size()); }

    // Never throws: a job that cannot be queued is dropped, and its work is done by its waiter.
    template <class Job>
    void Submit(Job&& job) noexcept {
        if (threads_.empty()) return;
        try {
            std::lock_guard lock(mutex_);
            if (stopping_) return;
            jobs_.emplace_back(std::forward<Job>(job));
        } catch (...) {
            return;
        }
        queued_.notify_one();
    }

  private:
    void Loop() {
        std::unique_lock lock(mutex_);
        for (;;) {
            queued_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (stopping_) return;
            std::function<void()> job = std::move(jobs_.front());
            jobs_.pop_front();
            lock.unlock();
            // Jobs catch their own failures; this only keeps a pool thread from ending the program.
            try {
                job();
            } catch (...) {
            }
            job = nullptr;  // its captures go before the thread sleeps
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable queued_;
    std::deque<std::function<void()>> jobs_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

Pool& ThePool() {
    static Pool pool;
    return pool;
}

std::string While(std::string_view what) {
    return what.empty() ? std::string() : " while " + std::string(what);
}

// One parallel-for's shared state: the caller's and its helpers'. Helpers that start after the
// caller has closed it leave at once.
struct ForRun {
    const std::function<void(int, int)>* fn = nullptr;
    const ForOptions* options = nullptr;
    int end = 0;
    std::atomic<int> next{0};
    std::atomic<bool> stop{false};

    std::mutex mutex;
    std::condition_variable idle;
    int helping = 0;  // helpers working now
    int slots = 1;    // slots handed out (0 is the caller's)
    bool closed = false;
    int failedItem = INT_MAX;
    TaskOutcome failure;

    void Work(int slot) {
        for (;;) {
            if (stop.load()) return;
            if (options->cancel && options->cancel->cancelled()) {
                stop = true;
                return;
            }
            const int item = next.fetch_add(1);
            if (item >= end) return;
            try {
                (*fn)(item, slot);
            } catch (...) {
                std::string file;
                try {
                    if (options->fileOf) file = options->fileOf(item);
                } catch (...) {
                    // The failure is still reported, without its file.
                }
                TaskOutcome caught = TaskOutcome::Caught(file, options->what);
                stop = true;
                std::lock_guard lock(mutex);
                if (item < failedItem) {
                    failedItem = item;
                    failure = std::move(caught);
                }
            }
        }
    }

    void Help() {
        int slot = 0;
        {
            std::lock_guard lock(mutex);
            if (closed) return;
            slot = slots++;
            ++helping;
        }
        Work(slot);
        std::lock_guard lock(mutex);
        if (--helping == 0) idle.notify_all();
    }
};

}  // namespace

void TaskOutcome::throwIfFailed() const {
    if (!failed()) return;
    if (outOfMemory) throw std::bad_alloc();
    throw std::runtime_error(thrown.empty() ? status.message() : thrown);
}

TaskOutcome TaskOutcome::Caught(const std::string& file, std::string_view what) noexcept {
    TaskOutcome out;
    try {
        try {
            throw;
        } catch (const std::bad_alloc&) {
            out.outOfMemory = true;
            out.status = Status::Error(file, "not enough memory" + While(what));
        } catch (const std::exception& e) {
            out.thrown = e.what();
            out.status = Status::Error(file, "unexpected failure" + While(what) + ": " + out.thrown);
        } catch (...) {
            out.status = Status::Error(file, "unexpected failure" + While(what));
        }
    } catch (...) {
        // No memory even for the message: still a failure, and still one of memory.
        out.outOfMemory = true;
        out.status = Status::Error({}, {});
    }
    return out;
}

int PoolThreads() {
    return std::max(ThePool().threads(), 1);
}

TaskOutcome ParallelFor(int begin, int end, const ForOptions& options, const std::function<void(int, int)>& fn) {
    TaskOutcome out;
    if (end <= begin) return out;
    const int threads = options.maxThreads > 0 ? options.maxThreads : PoolThreads();
    const int helpers = std::min({threads - 1, end - begin - 1, ThePool().threads()});
    std::shared_ptr<ForRun> run;
    try {
        run = std::make_shared<ForRun>();
    } catch (...) {
        return TaskOutcome::Caught({}, options.what);
    }
    run->fn = &fn;
    run->options = &options;
    run->end = end;
    run->next = begin;
    for (int i = 0; i < helpers; ++i) ThePool().Submit([run] { run->Help(); });
    run->Work(0);
    std::unique_lock lock(run->mutex);
    run->closed = true;
    run->idle.wait(lock, [&] { return run->helping == 0; });
    out = std::move(run->failure);
    out.cancelled = !out.failed() && options.cancel && options.cancel->cancelled() && run->next.load() < end;
    return out;
}

namespace detail {

void TaskCore::runIfQueued() {
    {
        std::lock_guard lock(mutex_);
        if (state_ != State::Queued) return;
        state_ = State::Running;
    }
    TaskOutcome outcome;
    try {
        body();
    } catch (...) {
        outcome = TaskOutcome::Caught({}, what_);
    }
    std::lock_guard lock(mutex_);
    outcome_ = std::move(outcome);
    state_ = State::Done;
    done_.notify_all();
}

TaskOutcome TaskCore::wait() {
    runIfQueued();
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return state_ == State::Done; });
    return outcome_;
}

void Submit(std::shared_ptr<TaskCore> task) {
    ThePool().Submit([task = std::move(task)] { task->runIfQueued(); });
}

}  // namespace detail

TaskOutcome RunBoth(const std::function<void()>& a, const std::function<void()>& b, std::string_view what) {
    auto guarded = [what](const std::function<void()>& fn) {
        try {
            fn();
        } catch (...) {
            return TaskOutcome::Caught({}, what);
        }
        return TaskOutcome();
    };
    // b by reference: the wait below outlives every run of it.
    std::optional<Task<void>> other;
    try {
        other = Post(std::string(what), [&b] { b(); });
    } catch (...) {
        // Nothing posted: b runs here after a.
    }
    TaskOutcome first = guarded(a);
    TaskOutcome second = other ? other->wait() : guarded(b);
    return first.failed() ? first : second;
}

bool DedicatedThread::start(std::string what, std::function<void()> fn) {
    if (thread_.joinable()) return false;
    outcome_ = TaskOutcome();
    try {
        thread_ = std::thread([this, what = std::move(what), fn = std::move(fn)] {
            try {
                fn();
            } catch (...) {
                outcome_ = TaskOutcome::Caught({}, what);
            }
        });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

TaskOutcome DedicatedThread::join() {
    if (thread_.joinable()) thread_.join();
    return outcome_;
}

}  // namespace turnlet
