// SPDX-License-Identifier: MIT
// What the first/last and tuned-frame workers are handed. Their renders come with those pages; until
// then a request is served at once without a picture.
#pragma once

#include <string>

#include "base/status.h"
#include "imaging/worker.h"
#include "shell/status_texts.h"

namespace turnlet {

struct FirstLastRequest {
    std::string firstPath, lastPath;  // an empty path: keep that side's picture
    int rotationDegrees = 0;
    AreaRect area;
    int viewWidth = 0, viewHeight = 0;  // the interlace view
};

struct TuneRequest {
    std::string framePath, interlacePath;
    int rotationDegrees = 0;
};

inline Status ServeWithoutPicture(Worker&) {
    return Status::Ok();
}

}  // namespace turnlet
