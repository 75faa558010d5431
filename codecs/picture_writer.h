// SPDX-License-Identifier: MIT
// Writing picture files on threads of their own while the caller renders the next ones.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "base/status.h"
#include "base/tasks.h"
#include "jpeg_io.h"
#include "imaging/picture.h"

namespace turnlet {

// Encoding a frame takes longer than rendering it: two writes in flight keep both cores busy once
// the sources are decoded. Owned and called by one thread. Files end as if written one after the
// other: when a write fails, none started after it stays.
class PictureWriter {
  public:
    // At most `threads` writes in flight (at least 1).
    explicit PictureWriter(int threads = 2);
    // Waits for the writes in flight.
    ~PictureWriter();
    PictureWriter(const PictureWriter&) = delete;
    PictureWriter& operator=(const PictureWriter&) = delete;

    // Starts writing picture to path (as SavePicture does) and returns once it is under way, after
    // waiting for a thread to be free. picture must stay unchanged until as many more Starts as
    // there are threads, a Wait, or the end of the writer. If an earlier write failed, returns its
    // failure instead, once every write in flight has ended, and starts nothing. Where no thread
    // can be started the write happens here.
    Status Start(const Picture& picture, const std::string& path, int jpegQuality);

    // Waits for every write in flight and returns the first failure in the order they were
    // started (Ok when all went well or none was started).
    Status Wait();

  private:
    struct Job {
        const Picture* picture = nullptr;
        std::string path;
        int quality = 90;
        bool taken = false;
        bool done = false;
        Status status;
    };
    void Loop(JpegBuffer& jpeg);
    // Under the lock: drops the finished writes at the front; at a failed one, waits for the rest,
    // removes the files written after it and returns its failure.
    Status Settle(std::unique_lock<std::mutex>& lock);
    std::size_t InFlight() const { return jobs_.size(); }
    // Under the lock: whether every write started has ended.
    bool AllDone() const;

    int threads_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Job> jobs_;  // in the order started; a finished one leaves once the ones before have
    bool stopping_ = false;
    std::deque<JpegBuffer> jpeg_;  // one per thread, reused from frame to frame
    std::deque<DedicatedThread> pool_;
};

}  // namespace turnlet
