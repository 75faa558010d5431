// SPDX-License-Identifier: MIT
// The values one tuned picture is made with.
#include "tuning/tune_params.h"

#include <limits>

#include "base/number_text.h"

namespace turnlet {
namespace {

std::int32_t Negated(std::int32_t value) {
    // -INT32_MIN does not fit; a shift that large is off any picture anyway.
    return value == std::numeric_limits<std::int32_t>::min() ? std::numeric_limits<std::int32_t>::max() : -value;
}

}  // namespace

TuneParams TuneParamsFromRow(const TextGrid& frames, int row, const CropArea& crop, Color background) {
    TuneParams p;
    p.CropLeft = crop.left;
    p.CropTop = crop.top;
    p.CropWidth = crop.width;
    p.CropHeight = crop.height;
    p.Background = background;
    if (row <= 0) return p;  // the header row holds no values
    p.ShiftX = Negated(CellAsInteger(frames.at(row, 2)));
    p.ShiftY = Negated(CellAsInteger(frames.at(row, 3)));
    p.Angle = -ParseLeadingReal(frames.at(row, 4));
    p.Scale = -ParseLeadingReal(frames.at(row, 5));
    p.Brightness = ParseLeadingReal(frames.at(row, 6));
    p.Contrast = ParseLeadingReal(frames.at(row, 7));
    p.Gamma = ParseLeadingReal(frames.at(row, 8));
    return p;
}

FrameParams ToFrameParams(const TuneParams& params, int rotationDegrees, int outputWidth, int outputHeight) {
    FrameParams f;
    f.RotationDegrees = rotationDegrees;
    f.CropLeft = params.CropLeft;
    f.CropTop = params.CropTop;
    f.CropWidth = params.CropWidth;
    f.CropHeight = params.CropHeight;
    f.ShiftX = params.ShiftX;
    f.ShiftY = params.ShiftY;
    f.Angle = params.Angle;
    f.Scale = params.Scale;
    f.Brightness = params.Brightness;
    f.Contrast = params.Contrast;
    f.Gamma = params.Gamma;
    f.BackgroundColor = params.Background;
    f.OutputWidth = outputWidth;
    f.OutputHeight = outputHeight;
    return f;
}

}  // namespace turnlet
