// SPDX-License-Identifier: MIT
// TransformPicture's row walks as the vector twins see them (transform.cpp holds the portable loops and the choice).
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/transform.h"

namespace turnlet {

// TransformMapping laid out for row walks: its column terms (dx * c, dx * s) computed once per
// call, its constants held as the vector loads take them. The vector loops repeat the mapping's
// operations in its order, lane by lane.
struct TransformLayout {
    std::vector<double> dxc;
    std::vector<double> dxs;
    double k, leftD, topD, cxD, cyD, maxX, maxY;
    std::uint32_t srcStride;
};

// How far the 16 pixels of one step along an output row reach into the source.
struct StepReach {
    int rows = 0;          // source rows to load a step (2 to 4); 0 where the permute path cannot serve
    bool checked = false;  // some steps reach further and are checked, then copied pixel by pixel
};

// What the permute path keeps for a whole call. Along every output row sx rises where cos >= 0 and
// falls otherwise, and sy rises where sin >= 0 (a flat coordinate fits either way).
struct PermuteWalk {
    const std::uint8_t* src;
    std::int64_t prefetchShift;  // source bytes to the pixel a few output rows below
    int leftShift;               // pixels from a step's first pixel to its windows' start
    int rowStep;                 // +1 where the windows go down the source, -1 up
    StepReach reach;
};

namespace ssse3 {

// Byte offsets of the source pixels for x in [begin, end) of the row with terms (dyc, dys), two a
// step, all inside the source; returns the first x left undone.
int Offsets(const TransformLayout& map, int begin, int end, double dys, double dyc, std::uint32_t* out);

}  // namespace ssse3

namespace avx2 {

// The same four a step, the largest offset into maxOffset.
int Offsets(const TransformLayout& map, int begin, int end, double dys, double dyc, std::uint32_t* out,
            std::uint32_t& maxOffset);

}  // namespace avx2

namespace avx512 {

// Sixteen pixels a step from x while x < stop, written straight to dst (the output row), for a
// mapping whose steps reach at most 21 columns and walk.reach.rows rows. Within [x, end) the source
// point is inside the source, more than 4 rows from its top and bottom. Returns the first x left undone.
int CopyPermuted(const TransformLayout& map, const PermuteWalk& walk, int x, int stop, int end,
                 TransformMapping::Terms row, std::uint8_t* dst);

}  // namespace avx512

}  // namespace turnlet
