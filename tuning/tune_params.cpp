// SPDX-License-Identifier: MIT
// The values one tuned picture is made with.
#include "tuning/tune_params.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>

namespace turnlet {
namespace {

std::int32_t Negated(std::int32_t value) {
    // -INT32_MIN does not fit; a shift that large is off any picture anyway.
    return value == std::numeric_limits<std::int32_t>::min() ? std::numeric_limits<std::int32_t>::max() : -value;
}

}  // namespace

std::int32_t WholePixels(double value) {
    if (!(value == value)) return 0;
    return static_cast<std::int32_t>(
        std::clamp(std::trunc(value), static_cast<double>(INT32_MIN), static_cast<double>(INT32_MAX)));
}

TuneParams TuneParamsFromValues(const KeyframeValues& values, const CropArea& crop, Color background) {
    TuneParams p;
    p.CropLeft = crop.left;
    p.CropTop = crop.top;
    p.CropWidth = crop.width;
    p.CropHeight = crop.height;
    p.Background = background;
    p.ShiftX = Negated(WholePixels(values[kDX]));
    p.ShiftY = Negated(WholePixels(values[kDY]));
    p.Angle = -values[kAngle];
    p.Scale = -values[kScale];
    p.Brightness = values[kBrightness];
    p.Contrast = values[kContrast];
    p.Gamma = values[kGamma];
    return p;
}

FrameParams ToFrameParams(const TuneParams& params, int rotationDegrees, int outputWidth, int outputHeight) {
    FrameParams f;
    static_cast<TuneParams&>(f) = params;
    f.RotationDegrees = rotationDegrees;
    f.OutputWidth = outputWidth;
    f.OutputHeight = outputHeight;
    return f;
}

}  // namespace turnlet
