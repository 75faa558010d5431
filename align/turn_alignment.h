// SPDX-License-Identifier: MIT
// Automatic alignment of the frames of a turn: each frame's shift, tilt and exposure against the first.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "base/status.h"
#include "imaging/picture.h"

namespace turnlet {

struct AlignSettings {
    // The frames of the turn in order; the first is the reference and keeps all values 0.
    std::vector<std::string> paths;
    // Quarter turn applied to every source first (0, 90, 180, 270).
    int rotationDegrees = 0;
    // The crop rectangle in the turned full-size source: its centre is the centre the tuned view
    // turns a frame about, and its pixels are the ones whose exposure is matched. Empty: the whole
    // picture.
    PixelRect crop;
    // The frames are compared at the largest of 1, 1/2, 1/4 or 1/8 of their size that keeps them
    // within this many pixels.
    long long maxWorkingPixels = 2'600'000;
    // Where that is less than the full size, every aligned frame is refined at full size at the
    // end, over the part of the picture that holds most of the still scene; the working size is
    // then halved (down to 1/8).
    bool refineFullSize = true;
    // Below this a frame counts as not aligned.
    double minConfidence = 0.5;
    // Threads working on frames at once (0: one per core, at most 2).
    int threads = 0;
};

// One frame's values in the frames table's sense: DX and DY in full-size pixels of the turned
// source (positive moves the picture right and down), Angle in degrees (positive turns it
// clockwise), Brightness as the tone adjustment takes it.
struct FrameAlignment {
    double DX = 0;
    double DY = 0;
    double Angle = 0;
    double Brightness = 0;
    // 0 .. 1: how well what stays in the scene was found again and how well the estimate agrees with
    // the ones through the neighbouring frames.
    double confidence = 0;
    bool aligned = false;
    // Exposure of the first frame over this frame's (what Brightness makes up for).
    double exposureRatio = 1;
    // Worst disagreement, in full-size pixels, between the direct estimate and the ones through the
    // neighbours.
    double disagreement = 0;
};

struct AlignCallbacks {
    // Frames done so far out of total (called from the working threads, one at a time).
    std::function<void(int done, int total)> progress;
    // Polled between frames; true ends the work early with cancelled set.
    std::function<bool()> stopping;
};

struct TurnAlignment {
    Status status;  // a source that cannot be read fails the whole run, naming it
    bool cancelled = false;
    std::vector<FrameAlignment> frames;
    int scaleDenominator = 1;  // the frames were compared at 1/scaleDenominator of their size
};

TurnAlignment AlignTurn(const AlignSettings& settings, const AlignCallbacks& callbacks = {});

// The brightness whose tone adjustment brings the channel values counted in histogram closest, in
// their sum, to target (the sum of the same pixels' values in the reference), searched through
// AdjustPixelTone itself. 0 for an empty histogram.
double BrightnessForSum(const std::vector<double>& histogram, double target);

}  // namespace turnlet
