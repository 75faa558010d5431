// SPDX-License-Identifier: MIT
// The nearest-neighbour frame's vector twin (frame_render.cpp holds the portable loop and the choice).
#pragma once

#include <cstdint>

#include "imaging/transform.h"
#include "imaging/turned_view.h"

namespace turnlet::avx2 {

// Pixels of one run of the frame, with the operations of TransformMapping::SourceX and SourceY in
// their order: the varying direction's terms apart (cosines, sines), the other's fixed; the varying
// one is the column along an output row (alongRow, step 3) and the row down a column otherwise.
// ahead: bytes to the source a later band reads, asked for early (0: none). Returns the first pixel
// left undone.
int NearestRun(const TurnedView& view, const TransformMapping& mapping, const double* cosines, const double* sines,
               TransformMapping::Terms fixed, int n, const std::uint8_t* background, std::uint8_t* out,
               std::int64_t outStep, std::int64_t ahead, bool alongRow);

}  // namespace turnlet::avx2
