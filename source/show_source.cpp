// SPDX-License-Identifier: MIT
// The source preview worker's job.
#include "source/show_source.h"

#include <utility>

#include "imaging/display_copy.h"
#include "imaging/geometry.h"
#include "codecs/image_files.h"

namespace turnlet {

Status ShowSource::operator()(const ShowSourceRequest& request, Worker& worker) {
    if (request.path.empty()) return Status::Ok();
    if (beforeLoad_) beforeLoad_(request.path);
    // On failure loaded_ keeps the previous image and the preview goes on with it.
    const Status status = LoadPicture(request.path, loaded_, scratch_);
    if (worker.stopping()) return status;

    // Only the display copy is turned: the full-size turned picture would be measured, never shown,
    // and its size follows from the quarter turn alone.
    const bool sideways = request.rotationDegrees == 90 || request.rotationDegrees == 270;
    const int width = sideways ? loaded_.height() : loaded_.width();
    const int height = sideways ? loaded_.width() : loaded_.height();
    const int boundW = sideways ? request.displayMaxHeight : request.displayMaxWidth;
    const int boundH = sideways ? request.displayMaxWidth : request.displayMaxHeight;
    MakeDisplayCopy(loaded_, boundW, boundH, reduced_);
    const Picture* display = &reduced_;
    if (sideways || request.rotationDegrees == 180) {
        RotateQuarter(reduced_, turned_, request.rotationDegrees);
        display = &turned_;
    }
    const ShowSourceResult result{request, width, height, *display};
    worker.handOver([&] { present_(result); });
    return status;
}

}  // namespace turnlet
