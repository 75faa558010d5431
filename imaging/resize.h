// SPDX-License-Identifier: MIT
// Nearest-neighbour rescale into an output whose size the caller set.
#pragma once

#include "picture.h"

namespace turnlet {

// output(x, y) = source(x * (Ws - 1) / (Wd - 1), y * (Hs - 1) / (Hd - 1)), integer arithmetic.
// An output dimension of 1 takes row/column 0; an empty source leaves every output byte 0.
void ResizePicture(const Picture& source, Picture& output);

// Source row or column for output index i of n over a source of size m: i * (m - 1) / (n - 1) in
// 64 bits; an output of one row or column takes index 0. Shared by every nearest-neighbour rescale.
inline int ResizeIndex(int i, int n, int m) {
    return n <= 1 ? 0 : static_cast<int>(static_cast<long long>(i) * (m - 1) / (n - 1));
}

}  // namespace turnlet
