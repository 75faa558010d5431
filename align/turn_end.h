// SPDX-License-Identifier: MIT
// Finding one full turn: the frame where the object shows its first view again.
#pragma once

#include <cstdint>
#include <vector>

#include "align/registration.h"
#include "align/turn_alignment.h"
#include "base/status.h"
#include "imaging/picture.h"

namespace turnlet {

// Frames are counted from the first frame of the turn (0). The first view comes round at
// `position`: frame k shows it again when position is k, and between two frames it is a fraction.
// The suggested last frame is the one before it, rounded: last = round(position - 1), so that the
// exported loop neither repeats nor skips a view.
//
// A set of N frames already is one full turn when that last frame is its own last, N - 1: the first
// view would come round within half a frame of frame N, the one after the set (its frames span 360
// degrees to within half a step: 36 frames 10 degrees apart are one turn, a 37th would show the
// first view again). When the first view would come round later still, the set is short of a turn
// and nothing is suggested. The answer is meant to lie within 0.75 frame of position - 1: half a
// frame for the rounding, a quarter for the estimate. So a set missing up to three quarters of a
// step may still be called one turn, and one missing a quarter to three quarters may be called
// short: both are within that tolerance.
struct TurnEnd {
    Status status;  // a source that cannot be read fails the search, naming it
    bool cancelled = false;
    // Whether a last frame is suggested: the first view comes round within the set, or the set
    // already is one full turn (oneTurn, and last is its last frame).
    bool found = false;
    bool oneTurn = false;
    int repeat = -1;      // the frame that shows the first view again: last + 1 (one past the set for oneTurn)
    int last = -1;        // the suggested last frame of the turn
    double position = 0;  // see above; 0 when nothing is suggested
    // 0 .. 1: the answer's share of the likelihood of all the answers the frames allow (each last
    // frame, one turn, no full turn); all of them add up to 1. It is given for "no full turn" too.
    double confidence = 0;
    // The next likeliest last frame (the last path again: the set is one turn; -1: no full turn) and
    // its confidence; 0 when there is no other answer.
    int runnerUp = -1;
    double runnerUpConfidence = 0;
    // Per path: how far its look is from the first frame's once laid over it (grey levels).
    std::vector<double> difference;
};

// A frame as the search sees it: a small copy of the crop, grey for laying frames over each other
// and, softened, in colour at four sizes for telling views apart.
struct TurnEndCopy {
    struct Level {
        int width = 0, height = 0;
        std::vector<std::uint8_t> rgb;  // three bytes a pixel, rows top first
    };
    Pyramid grey;
    std::vector<Level> colour;
};

// The copy of one frame: picture is the source turned already and read at 1/denominator of its
// size, crop is in the turned full-size source.
TurnEndCopy MakeTurnEndCopy(const Picture& picture, const PixelRect& crop, int denominator);

// settings.paths run from the first frame of the turn onwards (to the end of the source list); the
// rotation and crop are the project's, maxWorkingPixels and minConfidence are not used. Frames are
// read as small copies of the crop (JPEG files decoded at a reduced scale) on up to two threads.
TurnEnd FindTurnEnd(const AlignSettings& settings, const AlignCallbacks& callbacks = {});

// The same on copies made already (the frames in order, the first frame first); threads as in
// AlignSettings.
TurnEnd FindTurnEndIn(const std::vector<TurnEndCopy>& copies, int threads = 0, const AlignCallbacks& callbacks = {});

}  // namespace turnlet
