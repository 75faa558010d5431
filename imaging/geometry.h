// SPDX-License-Identifier: MIT
// Pixel-exact moves between pictures: quarter turn, crop, interlace. Source and output are distinct.
#pragma once

#include "picture.h"

namespace turnlet {

// Clockwise turn by 0, 90, 180 or 270 degrees; any other angle leaves output untouched.
void RotateQuarter(const Picture& source, Picture& output, int angle);

// Copies the rectangle after clamping it into the source, in the documented order.
void CropPicture(const Picture& source, Picture& output, int left, int top, int width, int height);

// Weaves first (odd rows) and second (even rows) into output, whose size the caller set.
// second is first brought to first's size (a change of size, not a rescale), and keeps it.
// An output dimension of 1 takes row/column 0.
void InterlacePictures(const Picture& first, Picture& second, Picture& output);

}  // namespace turnlet
