// SPDX-License-Identifier: MIT
// Writing a picture file on a thread of its own while the caller renders the next one.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "base/status.h"
#include "jpeg_io.h"
#include "picture.h"

namespace turnlet {

// One write in flight at a time: encoding a frame takes about as long as rendering the next, so
// the two overlap on two cores. Owned and called by one thread.
class PictureWriter {
  public:
    PictureWriter() = default;
    // Waits for the write in flight.
    ~PictureWriter();
    PictureWriter(const PictureWriter&) = delete;
    PictureWriter& operator=(const PictureWriter&) = delete;

    // Waits for the write in flight; if it failed, returns that failure and starts nothing.
    // Otherwise starts writing picture to path (as SavePicture does) and returns at once;
    // picture must stay unchanged until the next Start, Wait or the end of the writer. Where no
    // thread can be started the write happens here.
    Status Start(const Picture& picture, const std::string& path, int jpegQuality);

    // Waits for the write in flight, if any, and returns how it went (Ok when there was none).
    Status Wait();

  private:
    void Loop();

    std::mutex mutex_;
    std::condition_variable changed_;
    const Picture* picture_ = nullptr;  // the job; null when idle
    std::string path_;
    int quality_ = 90;
    Status result_;
    bool stopping_ = false;
    JpegBuffer jpeg_;  // the writing thread's, reused from frame to frame
    std::thread thread_;
};

}  // namespace turnlet
