// SPDX-License-Identifier: MIT
// The messages of automatic alignment and of the search for the end of the turn, built from the
// catalogue when shown.
#pragma once

#include <string>
#include <vector>

#include "shell/catalogue.h"

namespace turnlet {

// The message after "Find end of turn" suggested a last frame (frame numbers as the frames table
// shows them): that frame and its confidence, whether the set already is one full turn, and the
// runner-up (runnerUp -1: no full turn; left out when runnerUpConfidence is below half a percent).
std::string TurnEndText(bool oneTurn, int last, double confidence, int runnerUp, double runnerUpConfidence,
                        Language language);

// The message listing the frames that could not be aligned (frame numbers as in the frames table).
std::string UnalignedFramesText(const std::vector<int>& frames, Language language);

}  // namespace turnlet
