// SPDX-License-Identifier: MIT
// The first/last comparison worker's job: both ends of the turn, turned and cropped, side by side and interlaced.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "base/status.h"
#include "firstlast/turned_crop.h"
#include "imaging/picture.h"
#include "render/source_cache.h"
#include "base/worker.h"

namespace turnlet {

struct FirstLastRequest {
    std::string FirstFramePath, LastFramePath;  // an empty path keeps that side's picture
    int rotationDegrees = 0;
    CompareArea area;
    int viewWidth = 0, viewHeight = 0;  // the interlace view: the woven picture is fitted into it
    // Bound of the side-by-side display copies, in screen pixels.
    int displayMaxWidth = 0, displayMaxHeight = 0;
    // Lets the owner recognise a result of a project it has since closed.
    std::uint64_t generation = 0;
};

// What the hand-over step sees; valid only while the step runs.
struct FirstLastResult {
    const FirstLastRequest& request;
    // Which sides this request reloaded (their paths were given): only those are shown anew.
    bool firstReloaded = false, lastReloaded = false;
    // Full size of each side's picture and its reduced copy for display.
    int firstWidth = 0, firstHeight = 0;
    const Picture& firstDisplay;
    int lastWidth = 0, lastHeight = 0;
    const Picture& lastDisplay;
    // Last frame on the even rows, first frame on the odd ones, at the view's fitted size (empty
    // before any first frame was loaded).
    const Picture& interlaced;
};

// The job of the long-lived comparison worker. The first and last pictures persist between
// requests, so a request that reloads one side weaves it with the other side as last made. Decoded
// sources are kept (by path, file size and modification time), so a new crop or view size does not
// decode again. A side whose file cannot be read keeps its previous picture; the request still hands
// over and returns the failure, naming the file.
class ShowFirstLast {
  public:
    using Present = std::function<void(const FirstLastResult&)>;

    explicit ShowFirstLast(Present present) : present_(std::move(present)) {}

    Status operator()(const FirstLastRequest& request, Worker& worker);

    // Runs on the worker thread before each side is loaded; lets tests hold a request in progress.
    // Set it only while the worker is idle.
    void setBeforeLoad(std::function<void(const std::string&)> hook) { beforeLoad_ = std::move(hook); }

  private:
    Status LoadSide(const std::string& path, const FirstLastRequest& request, Picture& side);

    Present present_;
    std::function<void(const std::string&)> beforeLoad_;
    SourceCache sources_{2};
    Picture first_, last_, interlaced_, firstDisplay_, lastDisplay_;
};

}  // namespace turnlet
