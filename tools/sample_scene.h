// SPDX-License-Identifier: MIT
// The synthetic turntable turnlet-make-sample draws: a labelled, textured cylinder on a sweep, each
// frame shaken a little by the camera. The tests that need a turn whose true angles are known draw
// it too, in memory and at a reduced size when the full one only costs time.
#pragma once

#include "imaging/picture.h"

namespace turnlet {

// What the camera did to a frame: the picture turned clockwise by angleDeg about its centre, then
// shifted (full-size pixels), and its exposure scaled.
struct SampleJitter {
    double dx = 0, dy = 0, angleDeg = 0, exposure = 1;
};
SampleJitter SampleFrameJitter(int frame, int width, int height);

// The object's turn in radians at frame `frame` of `frames` over turnDegrees in all.
double SampleTurnRadians(double turnDegrees, int frame, int frames);

// The sample project's crop: centred, with a margin around the object.
PixelRect SampleCrop(int width, int height);

// Frame `frame` (its camera jitter) of a width x height turn, the object turned by turn radians,
// drawn at 1/reduction of its size (rounded up): each pixel the mean of samples x samples points of
// the area it covers. Reduction 1 with 2 x 2 samples gives the tool's very pictures.
Picture RenderSampleFrame(int width, int height, double turn, int frame, int reduction = 1, int samples = 2);

}  // namespace turnlet
