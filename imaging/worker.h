// SPDX-License-Identifier: MIT
// The one worker mechanism behind every background task: idle/busy, wake, blocking hand-over.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace turnlet {

// A long-lived thread that sleeps while idle and runs its job once per wake-up.
//
// The owner's thread (the GUI thread in the editor) writes the job's request fields only while
// busy() is false and then calls wake(); the worker reads them only while busy. The mutex makes
// that alternation a proper happens-before edge in both directions, so no other lock is needed.
// The job shows results through handOver(), which runs a step on the owner's thread and blocks
// the worker until it has run; the job returns and the worker goes idle by itself.
class Worker {
  public:
    using Step = std::function<void()>;
    // Runs a step on the owner's thread and returns once it has run. The editor passes a
    // blocking queued call; the command line and tests may run the step in place.
    using HandOver = std::function<void(const Step&)>;
    using Job = std::function<void(Worker&)>;

    Worker(Job job, HandOver handOver);
    ~Worker();  // stop() and join
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    bool busy() const;
    // Starts one run of the job if idle and returns true; a busy worker refuses and returns false.
    bool wake();
    // Blocks the calling thread until the worker is idle.
    void waitIdle();
    // Lets the current run finish, then ends the thread. Idempotent.
    void stop();
    // True once stop() has been asked; long jobs may poll it between steps.
    bool stopping() const;

    // Worker thread only: run step on the owner's thread and wait for it.
    void handOver(const Step& step);

  private:
    void run();

    Job job_;
    HandOver handOver_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool busy_ = false;
    bool stop_ = false;
    std::thread thread_;
};

// Runs steps in place; for owners that have no event loop of their own.
inline void RunInPlace(const Worker::Step& step) {
    step();
}

}  // namespace turnlet
