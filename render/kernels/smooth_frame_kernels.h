// SPDX-License-Identifier: MIT
// The smooth frame's sampling as the vector twins see it (smooth_frame.cpp holds the choice).
#pragma once

#include <cstdint>
#include <cstring>

#include "imaging/picture.h"
#include "imaging/turned_view.h"
#include "render/smooth_frame.h"

namespace turnlet {

// The pixels of one output row, from x on, the reduced pixel each takes or the background.
struct RowSampler {
    const SmoothPlan& plan;
    const TurnedView& view;
    const PixelRect& turned;
    const std::uint8_t* background;

    const std::uint8_t* one(TransformMapping::Terms column, TransformMapping::Terms row) const {
        int rx = 0, ry = 0;
        // The reach holds every pixel the frame takes; the test only keeps a stray one from reading
        // outside the averages.
        if (!plan.Reduced(column, row, rx, ry) || rx < turned.left || rx - turned.left >= turned.width ||
            ry < turned.top || ry - turned.top >= turned.height)
            return background;
        return view.origin + (view.base + std::int64_t{rx} * view.stepX + std::int64_t{ry} * view.stepY);
    }

    void scalar(int y, int x, int end, std::uint8_t* to) const {
        for (; x < end; ++x, to += 3) std::memcpy(to, one(plan.columnTerms[x], plan.rowTerms[y]), 3);
    }

    void scalarStep(int y, int x, std::uint8_t* to) const {
        for (int lane = 0; lane < 4; ++lane, to += 3)
            std::memcpy(to, one(plan.columnTerms[x + lane], plan.rowTerms[y]), 3);
    }
};

namespace avx2 {

// Output pixels [x, end) of row y, four a step. Sideways: the source is turned a quarter, and the
// same lanes some output rows on are asked for early.
void SampleRow(const RowSampler& sampler, bool sideways, int y, int x, int end, std::uint8_t* to);

}  // namespace avx2

namespace avx512 {

// The same sixteen a step.
void SampleRow(const RowSampler& sampler, bool sideways, int y, int x, int end, std::uint8_t* to);

}  // namespace avx512

}  // namespace turnlet
