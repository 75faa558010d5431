// SPDX-License-Identifier: MIT
// One frame from its decoded source.
#include "frame_render.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "geometry.h"
#include "parallel.h"
#include "resize.h"
#include "tone.h"
#include "transform.h"

namespace turnlet {

namespace {

// Source index of every output position along one axis, as the resize maps it.
std::vector<int> ResizeAxis(int d, int n) {
    std::vector<int> axis(d > 0 ? d : 0, 0);
    for (int i = 0; i < d; ++i) axis[i] = ResizeIndex(i, d, n);
    return axis;
}

bool PixelsFit(std::int64_t width, std::int64_t height) {
    return width <= 0 || height <= 0 || width * height <= kMaxPicturePixels;
}

}  // namespace

std::int32_t ShiftedOrigin(std::int32_t crop, std::int32_t shift) {
    const std::int64_t sum = static_cast<std::int64_t>(crop) + shift;
    if (sum > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
    if (sum < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(sum);
}

Status CheckFrameSizes(const FrameParams& params, const std::string& file) {
    if (params.OutputWidth <= 0 || params.OutputHeight <= 0) {
        return Status::Error(file, "the output size " + std::to_string(params.OutputWidth) + " x " +
                                       std::to_string(params.OutputHeight) + " is not a picture size");
    }
    if (!PixelsFit(params.OutputWidth, params.OutputHeight) || !PixelsFit(params.CropWidth, params.CropHeight)) {
        return Status::Error(file,
                             "the frame is larger than " + std::to_string(kMaxPicturePixels / 1000000) + " megapixels");
    }
    return Status::Ok();
}

void RenderFrameStepByStep(const Picture& decoded, const FrameParams& params, Picture& output) {
    Picture rotated;
    RotateQuarter(decoded, rotated, params.RotationDegrees);
    Picture aligned;
    TransformPicture(rotated, aligned, ShiftedOrigin(params.CropLeft, params.ShiftX),
                     ShiftedOrigin(params.CropTop, params.ShiftY), params.CropWidth, params.CropHeight,
                     params.BackgroundColor, params.Angle, params.Scale);
    rotated.clear();
    output.allocate(params.OutputWidth, params.OutputHeight);
    ResizePicture(aligned, output);
    AdjustTone(output, params.Brightness, params.Contrast, params.Gamma);
}

Picture RenderFrameStepByStep(const Picture& decoded, const FrameParams& params) {
    Picture output;
    RenderFrameStepByStep(decoded, params, output);
    return output;
}

void RenderFrameFused(const Picture& decoded, const FrameParams& params, Picture& output) {
    output.allocate(params.OutputWidth, params.OutputHeight);
    if (output.empty()) return;
    const int cropWidth = params.CropWidth;
    const int cropHeight = params.CropHeight;
    if (cropWidth <= 0 || cropHeight <= 0) {
        // The aligned picture is empty and a resize from nothing leaves zeros.
        std::memset(output.data(), 0, output.byteSize());
        AdjustTone(output, params.Brightness, params.Contrast, params.Gamma);
        return;
    }

    // The quarter-turned picture's size, and how its pixels sit in the decoded one.
    const int degrees = params.RotationDegrees;
    const bool validTurn = degrees == 0 || degrees == 90 || degrees == 180 || degrees == 270;
    const bool sideways = degrees == 90 || degrees == 270;
    const int turnedWidth = !validTurn ? 0 : sideways ? decoded.height() : decoded.width();
    const int turnedHeight = !validTurn ? 0 : sideways ? decoded.width() : decoded.height();
    const int lastX = decoded.width() - 1;
    const int lastY = decoded.height() - 1;

    const TransformMapping mapping(ShiftedOrigin(params.CropLeft, params.ShiftX),
                                   ShiftedOrigin(params.CropTop, params.ShiftY), cropWidth, cropHeight, params.Angle,
                                   params.Scale);
    const std::vector<int> columns = ResizeAxis(output.width(), cropWidth);
    const std::vector<int> rows = ResizeAxis(output.height(), cropHeight);
    const std::uint8_t background[3] = {ColorBlue(params.BackgroundColor), ColorGreen(params.BackgroundColor),
                                        ColorRed(params.BackgroundColor)};

    ParallelRows(output.height(), static_cast<long long>(output.width()) * 4, [&](int begin, int end) {
        for (int y = begin; y < end; ++y) {
            std::uint8_t* out = output.row(y);
            for (int x = 0; x < output.width(); ++x, out += 3) {
                int sx = 0;
                int sy = 0;
                if (!mapping.Map(columns[x], rows[y], turnedWidth, turnedHeight, sx, sy)) {
                    std::memcpy(out, background, 3);
                    continue;
                }
                int px = sx;
                int py = sy;
                switch (degrees) {
                    case 90:
                        px = sy;
                        py = lastY - sx;
                        break;
                    case 180:
                        px = lastX - sx;
                        py = lastY - sy;
                        break;
                    case 270:
                        px = lastX - sy;
                        py = sx;
                        break;
                    default:
                        break;
                }
                std::memcpy(out, decoded.pixel(px, py), 3);
            }
        }
    });
    AdjustTone(output, params.Brightness, params.Contrast, params.Gamma);
}

Picture RenderFrameFused(const Picture& decoded, const FrameParams& params) {
    Picture output;
    RenderFrameFused(decoded, params, output);
    return output;
}

}  // namespace turnlet
