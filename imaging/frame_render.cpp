// SPDX-License-Identifier: MIT
// One frame from its decoded source.
#include "frame_render.h"

#include <algorithm>
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

namespace {

bool ValidTurn(int degrees) {
    return degrees == 0 || degrees == 90 || degrees == 180 || degrees == 270;
}

// Output tiles of this many rows and columns: the source pixels one tile reads lie in a small
// parallelogram whose rows stay in cache, however the frame is turned (an output row of a turned
// or tilted frame crosses hundreds of source rows). Measured best among 16..256 x 8..64.
constexpr int kTile = 32;

}  // namespace

PixelRect FrameReach(const FrameParams& params, int decodedWidth, int decodedHeight) {
    const int degrees = params.RotationDegrees;
    if (!ValidTurn(degrees) || decodedWidth <= 0 || decodedHeight <= 0) return {};
    if (params.CropWidth <= 0 || params.CropHeight <= 0 || params.OutputWidth <= 0 || params.OutputHeight <= 0)
        return {};
    const PixelRect whole{0, 0, decodedWidth, decodedHeight};
    const bool sideways = degrees == 90 || degrees == 270;
    const int turnedWidth = sideways ? decodedHeight : decodedWidth;
    const int turnedHeight = sideways ? decodedWidth : decodedHeight;
    const TransformMapping mapping(ShiftedOrigin(params.CropLeft, params.ShiftX),
                                   ShiftedOrigin(params.CropTop, params.ShiftY), params.CropWidth, params.CropHeight,
                                   params.Angle, params.Scale);
    if (!mapping.valid()) return {};
    // Along an output row the source point moves monotonically (each operation of the formula is
    // monotone in the column), and so it does down a column: its extremes over the sampled grid
    // lie at the grid's corners, the first and last crop columns and rows the resize samples.
    const int lastColumn = ResizeIndex(params.OutputWidth - 1, params.OutputWidth, params.CropWidth);
    const int lastRow = ResizeIndex(params.OutputHeight - 1, params.OutputHeight, params.CropHeight);
    double lowX = INFINITY, highX = -INFINITY, lowY = INFINITY, highY = -INFINITY;
    for (const int x : {0, lastColumn}) {
        for (const int y : {0, lastRow}) {
            const TransformMapping::Terms column = mapping.ColumnTerms(x);
            const TransformMapping::Terms row = mapping.RowTerms(y);
            const double fx = std::trunc(mapping.SourceX(column, row));
            const double fy = std::trunc(mapping.SourceY(column, row));
            if (std::isnan(fx) || std::isnan(fy)) return whole;
            lowX = std::min(lowX, fx);
            highX = std::max(highX, fx);
            lowY = std::min(lowY, fy);
            highY = std::max(highY, fy);
        }
    }
    lowX = std::max(lowX, 0.0);
    lowY = std::max(lowY, 0.0);
    highX = std::min(highX, turnedWidth - 1.0);
    highY = std::min(highY, turnedHeight - 1.0);
    if (!(lowX <= highX && lowY <= highY)) return {};
    const int x0 = static_cast<int>(lowX), x1 = static_cast<int>(highX);
    const int y0 = static_cast<int>(lowY), y1 = static_cast<int>(highY);
    const int lastX = decodedWidth - 1, lastY = decodedHeight - 1;
    switch (degrees) {
        case 90:  // decoded (sy, lastY - sx)
            return {y0, lastY - x1, y1 - y0 + 1, x1 - x0 + 1};
        case 180:
            return {lastX - x1, lastY - y1, x1 - x0 + 1, y1 - y0 + 1};
        case 270:  // decoded (lastX - sy, sx)
            return {lastX - y1, x0, y1 - y0 + 1, x1 - x0 + 1};
        default:
            return {x0, y0, x1 - x0 + 1, y1 - y0 + 1};
    }
}

void RenderFrameFused(const Picture& decoded, const FrameParams& params, Picture& output) {
    const PictureArea whole{PixelRect{0, 0, decoded.width(), decoded.height()}, decoded.width(), decoded.height()};
    RenderFrameFused(decoded, whole, params, output);
}

bool RenderFrameFused(const Picture& pixels, const PictureArea& where, const FrameParams& params, Picture& output) {
    if (!where.area.contains(FrameReach(params, where.fullWidth, where.fullHeight))) return false;
    output.allocate(params.OutputWidth, params.OutputHeight);
    if (output.empty()) return true;
    const int cropWidth = params.CropWidth;
    const int cropHeight = params.CropHeight;
    if (cropWidth <= 0 || cropHeight <= 0) {
        // The aligned picture is empty and a resize from nothing leaves zeros.
        std::memset(output.data(), 0, output.byteSize());
        AdjustTone(output, params.Brightness, params.Contrast, params.Gamma);
        return true;
    }

    // The quarter-turned picture's size, and how its pixels sit in the decoded one.
    const int degrees = params.RotationDegrees;
    const bool validTurn = ValidTurn(degrees);
    const bool sideways = degrees == 90 || degrees == 270;
    const int turnedWidth = !validTurn ? 0 : sideways ? where.fullHeight : where.fullWidth;
    const int turnedHeight = !validTurn ? 0 : sideways ? where.fullWidth : where.fullHeight;
    const int lastX = where.fullWidth - 1;
    const int lastY = where.fullHeight - 1;

    const TransformMapping mapping(ShiftedOrigin(params.CropLeft, params.ShiftX),
                                   ShiftedOrigin(params.CropTop, params.ShiftY), cropWidth, cropHeight, params.Angle,
                                   params.Scale);
    const int outWidth = output.width();
    const int outHeight = output.height();
    // The formula's per-column and per-row terms at the crop positions the resize samples.
    std::vector<TransformMapping::Terms> columnTerms(static_cast<std::size_t>(outWidth));
    for (int x = 0; x < outWidth; ++x) columnTerms[x] = mapping.ColumnTerms(ResizeIndex(x, outWidth, cropWidth));
    std::vector<TransformMapping::Terms> rowTerms(static_cast<std::size_t>(outHeight));
    for (int y = 0; y < outHeight; ++y) rowTerms[y] = mapping.RowTerms(ResizeIndex(y, outHeight, cropHeight));
    const std::uint8_t background[3] = {ColorBlue(params.BackgroundColor), ColorGreen(params.BackgroundColor),
                                        ColorRed(params.BackgroundColor)};
    // Where turned pixel (sx, sy) lies in pixels: base + sx * stepX + sy * stepY bytes.
    const std::int64_t stride = static_cast<std::int64_t>(pixels.stride());
    std::int64_t stepX = 3, stepY = stride;
    std::int64_t base = -std::int64_t{where.area.top} * stride - 3 * std::int64_t{where.area.left};
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
    const std::uint8_t* origin = pixels.data();
    // An empty turned source shows background only (the range test below needs a size of 1 or more).
    const bool valid = mapping.valid() && turnedWidth > 0 && turnedHeight > 0;
    const double limitX = turnedWidth, limitY = turnedHeight;

    const int tileRows = (outHeight + kTile - 1) / kTile;
    ParallelRows(tileRows, static_cast<long long>(outWidth) * kTile * 4, [&](int tileBegin, int tileEnd) {
        for (int tileY = tileBegin; tileY < tileEnd; ++tileY) {
            const int y0 = tileY * kTile, y1 = std::min(outHeight, y0 + kTile);
            for (int x0 = 0; x0 < outWidth; x0 += kTile) {
                const int x1 = std::min(outWidth, x0 + kTile);
                for (int y = y0; y < y1; ++y) {
                    std::uint8_t* out = output.pixel(x0, y);
                    const TransformMapping::Terms row = rowTerms[y];
                    for (int x = x0; x < x1; ++x, out += 3) {
                        const double fx = mapping.SourceX(columnTerms[x], row);
                        const double fy = mapping.SourceY(columnTerms[x], row);
                        // trunc(f) lies in [0, size >= 1) exactly when -1 < f < size, and there the
                        // conversion truncates as trunc does; NaN fails every comparison.
                        if (!valid || !(fx > -1.0 && fx < limitX && fy > -1.0 && fy < limitY)) {
                            std::memcpy(out, background, 3);
                            continue;
                        }
                        const std::int64_t at = base + static_cast<std::int64_t>(static_cast<int>(fx)) * stepX +
                                                static_cast<std::int64_t>(static_cast<int>(fy)) * stepY;
                        std::memcpy(out, origin + at, 3);
                    }
                }
            }
        }
    });
    AdjustTone(output, params.Brightness, params.Contrast, params.Gamma);
    return true;
}

Picture RenderFrameFused(const Picture& decoded, const FrameParams& params) {
    Picture output;
    RenderFrameFused(decoded, params, output);
    return output;
}

}  // namespace turnlet
