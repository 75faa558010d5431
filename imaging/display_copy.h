// SPDX-License-Identifier: MIT
// A screen-sized copy of a large picture, so a view never scales a full-size photograph while painting.
#pragma once

#include "picture.h"

namespace turnlet {

// The whole-number reduction that still leaves a picture of width x height at least as large as its
// fit into maxWidth x maxHeight: floor(max(width / maxWidth, height / maxHeight)), never below 1.
// A bound of 0 or less in either direction means no reduction.
int DisplayReduction(int width, int height, int maxWidth, int maxHeight);

// output = source reduced by factor (>= 1): each output pixel is the truncated mean of a
// factor x factor block; the right and bottom remainders that fill no whole block are dropped.
// A factor of 1 copies. output's size becomes (width / factor) x (height / factor).
void ReduceByBlocks(const Picture& source, Picture& output, int factor);

// ReduceByBlocks with DisplayReduction's factor for the given bound.
void MakeDisplayCopy(const Picture& source, int maxWidth, int maxHeight, Picture& output);

}  // namespace turnlet
