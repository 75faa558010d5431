// SPDX-License-Identifier: MIT
// Nearest-neighbour rescale into an output whose size the caller set.
#pragma once

#include "picture.h"

namespace turnlet {

// output(x, y) = source(x * (Ws - 1) / (Wd - 1), y * (Hs - 1) / (Hd - 1)), integer arithmetic.
// An output dimension of 1 takes row/column 0; an empty source leaves every output byte 0.
void ResizePicture(const Picture& source, Picture& output);

}  // namespace turnlet
