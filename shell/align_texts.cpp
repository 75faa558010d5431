// SPDX-License-Identifier: MIT
// The messages of automatic alignment.
#include "shell/align_texts.h"

#include <algorithm>
#include <cmath>

namespace turnlet {

std::string TurnEndText(bool oneTurn, int last, double confidence, int runnerUp, double runnerUpConfidence,
                        Language language) {
    auto percent = [language](double share) {
        return Tr(Msg::Percent, language, {std::to_string(std::lround(std::clamp(share, 0.0, 1.0) * 100))});
    };
    std::string text;
    if (oneTurn) text = std::string(Tr(Msg::OneFullTurn, language)) + " ";
    text += Tr(Msg::TurnEndLast, language, {std::to_string(last), percent(confidence)});
    if (runnerUpConfidence >= 0.005) {
        text += runnerUp < 0
                    ? Tr(Msg::TurnEndRunnerUpNone, language, {percent(runnerUpConfidence)})
                    : Tr(Msg::TurnEndRunnerUpFrame, language, {std::to_string(runnerUp), percent(runnerUpConfidence)});
    }
    return text;
}

std::string UnalignedFramesText(const std::vector<int>& frames, Language language) {
    std::string list;
    for (int frame : frames) list += (list.empty() ? "" : ", ") + std::to_string(frame);
    return Tr(Msg::UnalignedFrames, language, {list});
}

}  // namespace turnlet
