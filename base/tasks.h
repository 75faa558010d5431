// SPDX-License-Identifier: MIT
// Every thread of the program: one pool sized to the cores, and threads of their own for long-lived loops.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <type_traits>
#include <utility>

#include "base/status.h"

namespace turnlet {

// A stop flag that work polls; copies share one flag.
class CancelToken {
  public:
    CancelToken() : flag_(std::make_shared<std::atomic<bool>>(false)) {}
    void cancel() const noexcept { flag_->store(true); }
    bool cancelled() const noexcept { return flag_->load(); }

  private:
    std::shared_ptr<std::atomic<bool>> flag_;
};

// How work handed to other threads ended. What a task threw is caught on the thread that ran it and
// carried back as text: exception objects do not cross threads (their reference counts are
// invisible to the thread checker).
struct TaskOutcome {
    Status status;             // Ok, or the failure (in a parallel-for, the lowest failing item's)
    bool outOfMemory = false;  // that failure was std::bad_alloc
    bool cancelled = false;    // the token stopped the work before every item had started
    std::string thrown;        // what() of the exception caught, when it had one

    bool failed() const { return !status.ok(); }
    // Throws the failure again on this thread: std::bad_alloc, or std::runtime_error with the text
    // the exception had (so that whoever catches it words it once).
    void throwIfFailed() const;

    // Inside a catch block: the exception being handled, as a failure of file while doing what
    // ("not enough memory while <what>", "unexpected failure while <what>: <e.what()>"; without
    // what, "not enough memory" and "unexpected failure: <e.what()>"). Never throws.
    static TaskOutcome Caught(const std::string& file, std::string_view what) noexcept;
};

// Threads of the pool: one per core.
int PoolThreads();

struct ForOptions {
    int maxThreads = 0;                      // threads at once, the caller's included (0: one per core)
    const CancelToken* cancel = nullptr;     // polled before each item
    std::string what;                        // what the items do, for a failure's reason ("aligning the frames")
    std::function<std::string(int)> fileOf;  // the file an item concerns, for a failure's status
};

// Calls fn(item, slot) once for each item of [begin, end), taking the items in order, on the
// calling thread and on up to maxThreads - 1 threads of the pool. slot (0 .. maxThreads - 1, 0 on
// the caller) names the thread for per-thread state: a slot runs one item at a time. No item starts
// after a failure or a cancel. Returns once every item started has ended. The caller works through
// the items itself and waits only for items already running, so a parallel-for inside a pool task
// (or with every pool thread busy) cannot deadlock: it just runs on fewer threads.
TaskOutcome ParallelFor(int begin, int end, const ForOptions& options, const std::function<void(int, int)>& fn);

namespace detail {

// A posted task's shared state. The first of a pool thread and a waiter to take it runs it.
class TaskCore {
  public:
    explicit TaskCore(std::string what) : what_(std::move(what)) {}
    virtual ~TaskCore() = default;
    TaskCore(const TaskCore&) = delete;
    TaskCore& operator=(const TaskCore&) = delete;

    // Runs the task here if no thread has taken it yet.
    void runIfQueued();
    // Waits for the task's end, running it here if no thread has taken it yet.
    TaskOutcome wait();

  protected:
    virtual void body() = 0;

  private:
    enum class State { Queued, Running, Done };
    std::string what_;
    std::mutex mutex_;
    std::condition_variable done_;
    State state_ = State::Queued;
    TaskOutcome outcome_;
};

template <class T>
class ValueCore : public TaskCore {
  public:
    using TaskCore::TaskCore;
    std::optional<T> value;
};
template <>
class ValueCore<void> : public TaskCore {
  public:
    using TaskCore::TaskCore;
};

template <class T, class Fn>
class FnCore final : public ValueCore<T> {
  public:
    FnCore(std::string what, Fn fn) : ValueCore<T>(std::move(what)), fn_(std::move(fn)) {}

  private:
    void body() override {
        // The callable's captures go as soon as it has run, not when the last handle does.
        std::optional<Fn> fn = std::move(fn_);
        fn_.reset();
        if constexpr (std::is_void_v<T>) {
            (*fn)();
        } else {
            this->value.emplace((*fn)());
        }
    }
    std::optional<Fn> fn_;
};

// Queues a run of task on the pool (dropped when the pool has no thread: the waiter runs it).
void Submit(std::shared_ptr<TaskCore> task);

}  // namespace detail

// A task handed to the pool by Post: a future whose failure comes back as a TaskOutcome.
template <class T>
class Task {
  public:
    Task() = default;
    explicit Task(std::shared_ptr<detail::ValueCore<T>> core) : core_(std::move(core)) {}

    bool valid() const { return core_ != nullptr; }
    // Blocks until the task has ended, running it on this thread if no pool thread has started it
    // yet (a queue full of long tasks cannot hold the waiter up). Each call gives the same outcome.
    TaskOutcome wait() { return core_ ? core_->wait() : TaskOutcome{}; }
    // What the task returned; only after a wait() that did not fail.
    template <class U = T>
    requires(!std::is_void_v<U>) U& value() { return *core_->value; }

  private:
    std::shared_ptr<detail::ValueCore<T>> core_;
};

// Starts fn() on the pool. what names the work in a failure's reason.
template <class Fn>
Task<std::invoke_result_t<Fn&>> Post(std::string what, Fn fn) {
    using T = std::invoke_result_t<Fn&>;
    auto core = std::make_shared<detail::FnCore<T, Fn>>(std::move(what), std::move(fn));
    detail::Submit(core);
    return Task<T>(std::move(core));
}

// Runs a here and b on the pool (or here after a, when no pool thread has taken it); both have
// ended on return. The failure reported is a's, else b's.
TaskOutcome RunBoth(const std::function<void()>& a, const std::function<void()>& b, std::string_view what = {});

// A long-lived thread of its own, for a loop that sleeps on conditions of its owner (the worker, the
// source decoder, the picture writers) and so must not hold a pool thread.
class DedicatedThread {
  public:
    DedicatedThread() = default;
    ~DedicatedThread() { join(); }
    DedicatedThread(const DedicatedThread&) = delete;
    DedicatedThread& operator=(const DedicatedThread&) = delete;

    // Starts fn on a new thread; false, with nothing started, when the system gives no thread or
    // one is running already. what names the work in a failure's reason.
    bool start(std::string what, std::function<void()> fn);
    bool running() const { return thread_.joinable(); }
    // Waits for the thread to end; how fn ended (what escaped it, caught on its own thread).
    TaskOutcome join();

  private:
    std::thread thread_;
    TaskOutcome outcome_;  // written by the thread, read once it has been joined
};

}  // namespace turnlet
