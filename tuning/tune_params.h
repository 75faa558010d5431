// SPDX-License-Identifier: MIT
// The values one tuned picture is made with, read from the frames table and the crop fields.
#pragma once

#include <cstdint>
#include <string_view>

#include "base/color.h"
#include "render/frame_render.h"
#include "tuning/text_grid.h"

namespace turnlet {

// One picture's crop, shift, angle, scale and tone: the shifts, angle and scale are the frame's
// values negated, as the transform takes them.
struct TuneParams {
    std::int32_t CropLeft = 0;
    std::int32_t CropTop = 0;
    std::int32_t CropWidth = 0;
    std::int32_t CropHeight = 0;
    std::int32_t ShiftX = 0;
    std::int32_t ShiftY = 0;
    Color Background = 0x00FFFFFF;
    double Angle = 0;
    double Scale = 0;
    double Brightness = 0;
    double Contrast = 0;
    double Gamma = 0;
    friend bool operator==(const TuneParams&, const TuneParams&) = default;
};

// The crop as every view and the export cut it, in turned-source pixels.
struct CropArea {
    std::int32_t left = 0, top = 0, width = 0, height = 0;
    friend bool operator==(const CropArea&, const CropArea&) = default;
};

// The record for frames-table row `row` (row 0, the header, gives all values 0): shifts from the
// integer parts of DX and DY, negated; angle and scale negated; tone as it stands.
TuneParams TuneParamsFromRow(const TextGrid& frames, int row, const CropArea& crop, Color background);

// The renderer's parameters for one tuned picture of outputWidth x outputHeight: the frame the
// export makes before its final resize when the output size is the crop size.
FrameParams ToFrameParams(const TuneParams& params, int rotationDegrees, int outputWidth, int outputHeight);

}  // namespace turnlet
