// SPDX-License-Identifier: MIT
// Which of the About box's nine pictures looks toward the mouse pointer.
#pragma once

namespace turnlet {

// The pointer's place relative to a reference rectangle: column left / within / right, row above
// / within / below. Returns 0..8, row by row: 0 up-left, 4 ahead, 8 down-right.
constexpr int AboutPictureIndex(int x, int y, int left, int top, int width, int height) {
    const int column = x < left ? 0 : (x < left + width ? 1 : 2);
    const int row = y < top ? 0 : (y < top + height ? 1 : 2);
    return row * 3 + column;
}

}  // namespace turnlet
