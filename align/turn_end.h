// SPDX-License-Identifier: MIT
// Finding one full turn: the frame where the object shows its first view again.
#pragma once

#include <vector>

#include "align/turn_alignment.h"
#include "base/status.h"

namespace turnlet {

struct TurnEnd {
    Status status;  // a source that cannot be read fails the search, naming it
    bool cancelled = false;
    // Whether a frame showing the first view again was found; otherwise the set stops short of a
    // full turn (or never comes round clearly) and nothing is suggested.
    bool found = false;
    int repeat = -1;  // index into the paths of the frame that shows the first view again
    int last = -1;    // the suggested last frame of the turn: the one just before it
    double confidence = 0;
    // Per path: how far its look is from the first frame's once laid over it (grey levels).
    std::vector<double> difference;
};

// settings.paths run from the first frame of the turn onwards (to the end of the source list); the
// rotation and crop are the project's, maxWorkingPixels and minConfidence are not used. Frames are
// compared as small grey copies of the crop, each laid over the first frame by the best whole-pixel
// shift; the search starts only once the frames have turned well away from the first view.
TurnEnd FindTurnEnd(const AlignSettings& settings, const AlignCallbacks& callbacks = {});

}  // namespace turnlet
