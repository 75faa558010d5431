// SPDX-License-Identifier: MIT
// The combined rotate-zoom-shift-crop that places one frame by its tuning values.
#pragma once

#include "picture.h"

namespace turnlet {

// Zoom factor (source pixels per output pixel) for a scale value: 1000 / (1000 - scale) above 0,
// (1000 + scale) / 1000 otherwise. Not finite or negative for scale >= 1000.
double ZoomFactor(double scale);

// outWidth x outHeight output showing the source rectangle at (left, top), turned by angle degrees
// about its centre and zoomed by ZoomFactor(scale); uncovered pixels take background.
// A scale of 1000 or more (infinite or negative zoom) fills the output with the background.
void TransformPicture(const Picture& source, Picture& output, int left, int top, int outWidth, int outHeight,
                      Color background, double angle, double scale);

}  // namespace turnlet
