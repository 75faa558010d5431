// SPDX-License-Identifier: MIT
// Where the first view of a turn comes round again, from how much pairs of its frames differ.
#pragma once

#include <functional>
#include <utility>
#include <vector>

namespace turnlet {

// How different two frames of the set look (0: alike), worked out in batches so that the caller
// may spread them over threads. fill gets pairs (a < b) and writes their differences in order;
// it returns false when the work was stopped or failed.
struct FramePairs {
    int count = 0;
    std::function<bool(const std::vector<std::pair<int, int>>& pairs, std::vector<double>& out)> fill;
};

enum class TurnEndKind {
    Short,    // the set ends before its first view comes round: nothing is suggested
    OneTurn,  // the set already is one full turn: its last frame ends it
    Found,    // the first view comes round within the set
};

struct TurnEndEstimate {
    bool stopped = false;  // fill returned false; nothing else is meaningful
    TurnEndKind kind = TurnEndKind::Short;
    // Where the first view comes round, in frames from the first (between frames: a fraction); 0
    // when the set is short.
    double position = 0;
    int last = -1;  // the frame before that position, rounded: count - 1 for OneTurn, -1 for Short
    double confidence = 0;
    // The next likeliest answer: its last frame (count - 1 again means one turn) or -1 for "no full
    // turn", and its confidence; the confidences of all answers add up to 1.
    int runnerUp = -1;
    double runnerUpConfidence = 0;
    std::vector<double> fromFirst;  // per frame: its difference to the first (0 for the first)
};

// The first frame is frame 0. The search knows nothing of pictures: it only asks for the
// differences it needs (a few per frame), so a set of hundreds of stills costs little more than
// reading them.
TurnEndEstimate EstimateTurnEnd(const FramePairs& pairs);

}  // namespace turnlet
