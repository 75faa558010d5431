// SPDX-License-Identifier: MIT
// Rescales into an output whose size the caller set: nearest neighbour, or smooth (area average when shrinking).
#pragma once

#include <cstdint>
#include <vector>

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

// One direction of the smooth rescale, from m source pixels to n output pixels.
// Shrinking (n < m): output i covers the source stretch [i * m / n, (i + 1) * m / n), and every
// source pixel counts with the length of its overlap with that stretch. Lengths are in units of
// 1 / n pixel, so they are exact integers: source pixel j covers [j * n, (j + 1) * n), output i
// covers [i * m, (i + 1) * m), and the weights of one output add up to m. A source pixel is at most
// n long and an output stretch m > n, so each source pixel reaches one output or two neighbours.
// Otherwise (n >= m): nearest neighbour, output i takes source ResizeIndex(i, n, m) with weight 1.
// The samples are listed in output order; each names its source index, the output it counts for
// first with its weight, and the weight it adds to the next output (0 when it reaches no further).
struct SmoothAxis {
    std::vector<int> source;
    std::vector<int> target;
    std::vector<std::uint32_t> weight;
    std::vector<std::uint32_t> nextWeight;
    std::uint64_t total = 1;  // the weights of one output added up: m when shrinking, else 1
    // Samples [begin[i], end[i]) are the ones that reach output i.
    std::vector<int> begin;
    std::vector<int> end;
    bool shrinks = false;
};
SmoothAxis MakeSmoothAxis(int n, int m);

// The smooth rescale: each output pixel is the average of the source area it covers (the exact mean
// of the weighted pixels of both directions, truncated), each direction as SmoothAxis lays it out;
// a direction that does not shrink takes the nearest neighbour as ResizePicture does, so an output
// no smaller than the source either way gets ResizePicture's bytes. An empty source leaves zeros.
void ResizePictureSmooth(const Picture& source, Picture& output);

}  // namespace turnlet
