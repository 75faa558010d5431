// SPDX-License-Identifier: MIT
// The first/last comparison worker's job.
#include "firstlast/show_first_last.h"

#include "imaging/view_fit.h"
#include "imaging/display_copy.h"
#include "imaging/geometry.h"

namespace turnlet {

Status ShowFirstLast::LoadSide(const std::string& path, const FirstLastRequest& request, Picture& side) {
    if (beforeLoad_) beforeLoad_(path);
    const Picture* decoded = nullptr;
    // Decoded as stored: the turn is part of the one pass that cuts the area.
    const Status status = sources_.Get(path, 0, decoded);
    if (!status.ok()) return status;
    TurnedCrop(*decoded, request.rotationDegrees, request.area, side);
    return Status::Ok();
}

Status ShowFirstLast::operator()(const FirstLastRequest& request, Worker& worker) {
    const bool firstReloaded = !request.FirstFramePath.empty();
    const bool lastReloaded = !request.LastFramePath.empty();
    if (!firstReloaded && !lastReloaded) return Status::Ok();

    Status status;
    if (firstReloaded) status = LoadSide(request.FirstFramePath, request, first_);
    if (worker.stopping()) return status;
    if (lastReloaded) {
        const Status lastStatus = LoadSide(request.LastFramePath, request, last_);
        if (status.ok()) status = lastStatus;
    }
    if (worker.stopping()) return status;

    if (first_.empty()) {
        // No first frame was ever loaded: nothing to weave, and the last picture stays as it is.
        interlaced_.allocate(0, 0);
    } else {
        const FittedSize fit = FitToView(first_.width(), first_.height(), request.viewWidth, request.viewHeight);
        interlaced_.allocate(fit.width, fit.height);
        // The last picture takes the first one's size here and keeps it, so its own view shows it so.
        InterlacePictures(first_, last_, interlaced_);
    }

    if (firstReloaded) MakeDisplayCopy(first_, request.displayMaxWidth, request.displayMaxHeight, firstDisplay_);
    if (lastReloaded) MakeDisplayCopy(last_, request.displayMaxWidth, request.displayMaxHeight, lastDisplay_);
    const FirstLastResult result{request,       firstReloaded, lastReloaded,   first_.width(), first_.height(),
                                 firstDisplay_, last_.width(), last_.height(), lastDisplay_,   interlaced_};
    worker.handOver([&] { present_(result); });
    return status;
}

}  // namespace turnlet
