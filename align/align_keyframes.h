// SPDX-License-Identifier: MIT
// An alignment's values written into the keyframes table, one keyframe per frame of the turn.
#pragma once

#include <string>
#include <vector>

#include "align/turn_alignment.h"
#include "tuning/frames_table.h"
#include "tuning/keyframes.h"

namespace turnlet {

struct AppliedAlignment {
    std::vector<int> unaligned;  // frames of the turn that kept their values
    std::vector<int> kept;       // keyframes set by hand that were kept
};

// Makes every frame of the turn (source entries firstFrame .. firstFrame + results.size() - 1) a
// keyframe through ChangeKeyframe. An aligned frame takes the estimated DX, DY, Angle and
// Brightness on top of the first frame's values, and keeps its present Scale, Contrast and Gamma
// (frames are the turn's frames as they stand). A frame that could not be aligned keeps its present
// values. A frame that already is a keyframe is left alone unless replaceManual. The first frame
// is the reference: its DX, DY, Angle and Brightness become 0 unless it is a kept keyframe.
AppliedAlignment ApplyAlignment(Keyframes& keyframes, const FrameRows& frames, const std::vector<std::string>& sources,
                                int firstFrame, const std::vector<FrameAlignment>& results, bool replaceManual);

// The brightness whose tone factor is the product of the two brightnesses' factors.
double CombineBrightness(double first, double second);

}  // namespace turnlet
