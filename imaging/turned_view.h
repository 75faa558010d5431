// SPDX-License-Identifier: MIT
// The decoded source seen as the quarter-turned picture the transform samples, for the fused renderers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "picture.h"
#include "transform.h"

namespace turnlet {

inline bool ValidTurn(int degrees) {
    return degrees == 0 || degrees == 90 || degrees == 180 || degrees == 270;
}

// The decoded pixels (part of them, as where says) seen as the quarter-turned source that the
// transform samples.
struct TurnedView {
    TurnedView(const Picture& pixels, const PictureArea& where, int degrees, const TransformMapping& mapping)
        : origin(pixels.data()), bytes(pixels.byteSize()), sideways(degrees == 90 || degrees == 270) {
        const bool validTurn = ValidTurn(degrees);
        const int turnedWidth = !validTurn ? 0 : sideways ? where.fullHeight : where.fullWidth;
        const int turnedHeight = !validTurn ? 0 : sideways ? where.fullWidth : where.fullHeight;
        const int lastX = where.fullWidth - 1;
        const int lastY = where.fullHeight - 1;
        const std::int64_t stride = static_cast<std::int64_t>(pixels.stride());
        stepX = 3;
        stepY = stride;
        base = -std::int64_t{where.area.top} * stride - 3 * std::int64_t{where.area.left};
        switch (degrees) {
            case 90:  // (sy, lastY - sx)
                stepX = -stride;
                stepY = 3;
                base += std::int64_t{lastY} * stride;
                break;
            case 180:  // (lastX - sx, lastY - sy)
                stepX = -3;
                stepY = -stride;
                base += std::int64_t{lastY} * stride + 3 * std::int64_t{lastX};
                break;
            case 270:  // (lastX - sy, sx)
                stepX = stride;
                stepY = -3;
                base += 3 * std::int64_t{lastX};
                break;
            default:
                break;
        }
        // An empty turned source shows background only (the range test needs a size of 1 or more).
        valid = mapping.valid() && turnedWidth > 0 && turnedHeight > 0;
        limitX = turnedWidth;
        limitY = turnedHeight;
    }

    // The turned pixel the transform takes for these terms, or null for the background.
    const std::uint8_t* Sample(const TransformMapping& mapping, TransformMapping::Terms column,
                               TransformMapping::Terms row) const {
        const double fx = mapping.SourceX(column, row);
        const double fy = mapping.SourceY(column, row);
        // trunc(f) lies in [0, size >= 1) exactly when -1 < f < size, and there the conversion
        // truncates as trunc does; NaN fails every comparison.
        if (!valid || !(fx > -1.0 && fx < limitX && fy > -1.0 && fy < limitY)) return nullptr;
        return origin + (base + static_cast<std::int64_t>(static_cast<int>(fx)) * stepX +
                         static_cast<std::int64_t>(static_cast<int>(fy)) * stepY);
    }

    const std::uint8_t* origin;
    std::size_t bytes;  // held at origin
    // Turned pixel (sx, sy) lies base + sx * stepX + sy * stepY bytes from origin.
    std::int64_t base = 0, stepX = 3, stepY = 0;
    double limitX = 0, limitY = 0;
    bool sideways;
    bool valid = false;
};

}  // namespace turnlet
