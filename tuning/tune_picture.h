// SPDX-License-Identifier: MIT
// The tuned-frame worker's job: the current frame as the export makes it, optionally interlaced with another.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "base/status.h"
#include "imaging/view_fit.h"
#include "imaging/picture.h"
#include "render/source_cache.h"
#include "base/worker.h"
#include "tuning/tune_params.h"

namespace turnlet {

struct TuneRequest {
    std::string TuneFramePath;      // empty: nothing to do
    std::string TuneInterlacePath;  // empty: the plain view
    int rotationDegrees = 0;
    // The current frame's record and the "Interlace with" frame's.
    TuneParams MainTuneParams, InterlaceTuneParams;
    // The view's size in screen pixels. The plain view gets the frame fitted into it, never
    // enlarged; the interlace view weaves the two frames at their fit into it.
    int viewWidth = 0, viewHeight = 0;
    // Lets the owner recognise a result of a project it has since closed.
    std::uint64_t generation = 0;
};

// What the hand-over step sees; valid only while the step runs.
struct TuneResult {
    const TuneRequest& request;
    // The full-size frame (the crop size) that display stands for: what a drag on the view measures.
    int frameWidth = 0, frameHeight = 0;
    // The view's picture: the frame resized to TunedViewSize, or the woven pair at that size.
    const Picture& display;
};

// Size of the picture the view is handed for request (empty when the crop or the view is).
FittedSize TunedViewSize(const TuneRequest& request);

// The view's picture from the decoded (unturned) sources, without any cache: each frame rendered
// straight at the view's size by the export's own renderer (quarter turn, transform, resize, tone),
// which is the full-size frame resized by the export's nearest-neighbour resize. The interlace view
// puts the current frame on the odd rows and the interlace frame on the even ones; interlaceSource
// is not read without an interlace path. work is scratch.
void RenderTunedView(const Picture& frameSource, const Picture& interlaceSource, const TuneRequest& request,
                     Picture& output, Picture& work);

// The job of the long-lived tuned-frame worker. The last decoded sources are kept by path, file size
// and modification time (the current frame and the interlace frame), so a new value for the same
// frame redoes only the transform and the tone. A source that cannot be read is drawn as background
// and its failure returned, naming the file; the worker keeps serving.
class TunePicture {
  public:
    using Present = std::function<void(const TuneResult&)>;

    explicit TunePicture(Present present) : present_(std::move(present)) {}

    Status operator()(const TuneRequest& request, Worker& worker);

    // Runs on the worker thread at the start of each request; lets tests hold or time requests.
    // Set it only while the worker is idle.
    void setBeforeRender(std::function<void(const TuneRequest&)> hook) { beforeRender_ = std::move(hook); }

  private:
    Present present_;
    std::function<void(const TuneRequest&)> beforeRender_;
    SourceCache sources_{2};
    Picture shown_, work_, current_;
};

}  // namespace turnlet
