// SPDX-License-Identifier: MIT
// A decoded photograph quarter-turned and cut to the comparison area, in one pass.
#pragma once

#include "imaging/picture.h"

namespace turnlet {

// The comparison area in turned-source pixels; a value of -1 anywhere means "no crop".
struct CompareArea {
    int left = 0, top = 0, width = 0, height = 0;
    bool skipsCrop() const { return left == -1 || top == -1 || width == -1 || height == -1; }
    friend bool operator==(const CompareArea&, const CompareArea&) = default;
};

// The rectangle a crop of a width x height picture copies: left and top clamped into the picture,
// then a width or height of 0 or less taken as 1 and one reaching past the last column or row cut
// to it, each step using the values already clamped.
CompareArea ClampCrop(int width, int height, const CompareArea& area);

// output = the crop of decoded turned clockwise by degrees (0, 90, 180, 270), or the whole turned
// picture when area skips the crop. Same bytes as RotateQuarter followed by CropPicture, without
// building the turned picture. An empty source gives an empty output.
void TurnedCrop(const Picture& decoded, int degrees, const CompareArea& area, Picture& output);

}  // namespace turnlet
