// SPDX-License-Identifier: MIT
// The tuned-frame worker's job.
#include "tuning/tune_picture.h"

#include "render/frame_render.h"
#include "imaging/geometry.h"

namespace turnlet {

FittedSize TunedViewSize(const TuneRequest& request) {
    const int width = request.MainTuneParams.CropWidth;
    const int height = request.MainTuneParams.CropHeight;
    if (request.TuneInterlacePath.empty()) return FitWithin(width, height, request.viewWidth, request.viewHeight);
    return FitToView(width, height, request.viewWidth, request.viewHeight);
}

void RenderTunedView(const Picture& frameSource, const Picture& interlaceSource, const TuneRequest& request,
                     Picture& output, Picture& work) {
    const FittedSize size = TunedViewSize(request);
    if (size.empty()) {
        output.allocate(0, 0);
        return;
    }
    const int degrees = request.rotationDegrees;
    if (request.TuneInterlacePath.empty()) {
        RenderFrameFused(frameSource, ToFrameParams(request.MainTuneParams, degrees, size.width, size.height), output);
        return;
    }
    // Both frames already at the woven size: the weave's own sampling is then the identity, and the
    // pair equals the full-size frames woven into the view.
    RenderFrameFused(frameSource, ToFrameParams(request.MainTuneParams, degrees, size.width, size.height), work);
    Picture second;
    RenderFrameFused(interlaceSource, ToFrameParams(request.InterlaceTuneParams, degrees, size.width, size.height),
                     second);
    output.allocate(size.width, size.height);
    InterlacePictures(work, second, output);
}

Status TunePicture::operator()(const TuneRequest& request, Worker& worker) {
    if (request.TuneFramePath.empty()) return Status::Ok();
    if (beforeRender_) beforeRender_(request);
    const bool interlaced = !request.TuneInterlacePath.empty();
    const FittedSize size = TunedViewSize(request);
    static const Picture kNoSource;
    Status status;

    if (size.empty()) {
        shown_.allocate(0, 0);
    } else {
        // When neither frame is held, the interlace frame decodes on the other core meanwhile.
        if (interlaced) sources_.Prefetch(request.TuneInterlacePath);
        const Picture* source = nullptr;
        status = sources_.Get(request.TuneFramePath, 0, source);
        const FrameParams main =
            ToFrameParams(request.MainTuneParams, request.rotationDegrees, size.width, size.height);
        // An unreadable frame is drawn from no picture: all background.
        RenderFrameFused(source ? *source : kNoSource, main, interlaced ? current_ : shown_);
        if (interlaced && !worker.stopping()) {
            const Status second = sources_.Get(request.TuneInterlacePath, 0, source);
            if (status.ok()) status = second;
            RenderFrameFused(
                source ? *source : kNoSource,
                ToFrameParams(request.InterlaceTuneParams, request.rotationDegrees, size.width, size.height), work_);
            shown_.allocate(size.width, size.height);
            InterlacePictures(current_, work_, shown_);
        }
    }
    if (worker.stopping()) return status;
    const TuneResult result{request, size.empty() ? 0 : request.MainTuneParams.CropWidth,
                            size.empty() ? 0 : request.MainTuneParams.CropHeight, shown_};
    worker.handOver([&] { present_(result); });
    return status;
}

}  // namespace turnlet
