// SPDX-License-Identifier: MIT
// The values one tuned picture is made with (TuneParams): a frame's values and the crop.
#pragma once

#include <cstdint>
#include <string_view>

#include "base/color.h"
#include "render/frame_render.h"
#include "tuning/keyframes.h"

namespace turnlet {

// The crop as every view and the export cut it, in turned-source pixels.
struct CropArea {
    std::int32_t left = 0, top = 0, width = 0, height = 0;
    friend bool operator==(const CropArea&, const CropArea&) = default;
};

// A value as a whole number of pixels: truncated toward zero, saturated to 32 bits.
std::int32_t WholePixels(double value);

// The record for a frame's values: shifts from the whole parts of DX and DY, negated; angle and
// scale negated; tone as it stands.
TuneParams TuneParamsFromValues(const KeyframeValues& values, const CropArea& crop, Color background);

// The renderer's parameters for one tuned picture of outputWidth x outputHeight: the frame the
// export makes before its final resize when the output size is the crop size.
FrameParams ToFrameParams(const TuneParams& params, int rotationDegrees, int outputWidth, int outputHeight);

}  // namespace turnlet
