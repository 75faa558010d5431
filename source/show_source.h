// SPDX-License-Identifier: MIT
// The source preview worker's job: load one source image, turn it, hand a display-sized copy to the owner.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "base/status.h"
#include "imaging/picture.h"
#include "base/worker.h"

namespace turnlet {

struct ShowSourceRequest {
    std::string path;  // empty: nothing to do
    int rotationDegrees = 0;
    // Bound of the display copy, in screen pixels: the largest the preview can become.
    int displayMaxWidth = 0, displayMaxHeight = 0;
    // Lets the owner recognise a result of a project it has since closed.
    std::uint64_t generation = 0;
};

// What the hand-over step sees; valid only while the step runs.
struct ShowSourceResult {
    const ShowSourceRequest& request;
    // The full-size source after the quarter turn: what the crop, the status bar and the renders measure.
    int width = 0, height = 0;
    // The same picture, turned, reduced for display.
    const Picture& display;
};

// The job of the long-lived preview worker. Its pictures live as long as it does and are reused for
// every request; the loaded picture is kept between requests, so a file that cannot be read shows
// the previous image turned by the current rotation, as a wrong file type does.
class ShowSource {
  public:
    // Runs on the owner's thread inside the hand-over, while the worker waits.
    using Present = std::function<void(const ShowSourceResult&)>;

    explicit ShowSource(Present present) : present_(std::move(present)) {}

    // One request: load, reduce, turn, hand over. Returns the load's status (the preview is handed
    // over in any case); a stop asked before the hand-over ends the request early.
    Status operator()(const ShowSourceRequest& request, Worker& worker);

    // Runs on the worker thread before each load; lets tests hold a request in progress. Set it only
    // while the worker is idle.
    void setBeforeLoad(std::function<void(const std::string&)> hook) { beforeLoad_ = std::move(hook); }

  private:
    Present present_;
    std::function<void(const std::string&)> beforeLoad_;
    Picture loaded_, scratch_, reduced_, turned_;
};

}  // namespace turnlet
