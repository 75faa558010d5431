// SPDX-License-Identifier: MIT
// Pixel-exact moves between pictures: quarter turn, crop, interlace. Source and output are distinct.
#pragma once

#include "picture.h"

namespace turnlet {

// Where output (x, y) of a clockwise turn by angle (0, 90, 180 or 270) of a width x height source
// takes its pixel from. The one statement of the turn: every path of RotateQuarter starts its walk
// through the source here, and the tests hold each path to it.
struct SourcePoint {
    int x;
    int y;
    friend bool operator==(const SourcePoint&, const SourcePoint&) = default;
};
inline SourcePoint QuarterTurnSource(int angle, int x, int y, int width, int height) {
    switch (angle) {
        case 90:
            return {y, height - 1 - x};
        case 180:
            return {width - 1 - x, height - 1 - y};
        case 270:
            return {width - 1 - y, x};
        default:
            return {x, y};
    }
}

// Clockwise turn by 0, 90, 180 or 270 degrees; any other angle leaves output untouched.
void RotateQuarter(const Picture& source, Picture& output, int angle);

// Copies the rectangle after clamping it into the source, in the documented order.
void CropPicture(const Picture& source, Picture& output, int left, int top, int width, int height);

// Weaves first (odd rows) and second (even rows) into output, whose size the caller set.
// second is first brought to first's size (a change of size, not a rescale), and keeps it.
// An output dimension of 1 takes row/column 0.
void InterlacePictures(const Picture& first, Picture& second, Picture& output);

}  // namespace turnlet
