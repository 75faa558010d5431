// SPDX-License-Identifier: MIT
// The texts of automatic alignment and of the search for the end of the turn, built when shown.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace turnlet {

enum class AlignText {
    Progress,       // the progress window's label while frames are aligned
    Cancel,         // its button
    ReplaceManual,  // question before aligning frames that have keyframes set by hand
    FindingEnd,     // the progress window's label while the end of the turn is looked for
    NoFullTurn,     // no repeat of the first view found
    OneFullTurn,    // the frames from the first one on already make one full turn
};

// The English text for "en", the Russian one for "ru"; English for any other code.
const char* AlignTextFor(AlignText text, std::string_view languageCode);

// The message after "Find end of turn" suggested a last frame (frame numbers as the frames table
// shows them): that frame and its confidence, whether the set already is one full turn, and the
// runner-up (runnerUp -1: no full turn; left out when runnerUpConfidence is below half a percent).
std::string TurnEndText(bool oneTurn, int last, double confidence, int runnerUp, double runnerUpConfidence,
                        std::string_view languageCode);

// The message listing the frames that could not be aligned (frame numbers as in the frames table).
std::string UnalignedFramesText(const std::vector<int>& frames, std::string_view languageCode);

}  // namespace turnlet
