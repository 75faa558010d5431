// SPDX-License-Identifier: MIT
// The quarter turn's tiles as the vector twins see them (geometry.cpp holds the portable loop and the choice).
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/geometry.h"
#include "imaging/picture.h"

namespace turnlet {

// The source pixel that output (x, y) shows after a clockwise (90) or anticlockwise (270) turn.
struct SidewaysMap {
    const std::uint8_t* data;
    std::size_t stride;
    int srcW;
    int srcH;
    bool clockwise;

    const std::uint8_t* at(int x, int y) const {
        const SourcePoint p = QuarterTurnSource(clockwise ? 90 : 270, x, y, srcW, srcH);
        return data + static_cast<std::size_t>(p.y) * stride + std::size_t(3) * p.x;
    }
};

namespace detail {

// Output columns [x0, x1) of rows [y0, y1), pixel by pixel.
void CopyTilePortable(const SidewaysMap& map, Picture& output, int x0, int x1, int y0, int y1);

}  // namespace detail

namespace ssse3 {

// The same in 4 x 4 blocks; srcEnd is the end of the source's bytes.
void CopyTile(const SidewaysMap& map, Picture& output, int x0, int x1, int y0, int y1, const std::uint8_t* srcEnd);

}  // namespace ssse3

}  // namespace turnlet
