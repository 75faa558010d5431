// SPDX-License-Identifier: MIT
// One frame from its decoded source: quarter turn, crop-shift-rotate-zoom, resize and tone, step by step or fused.
#pragma once

#include <cstdint>
#include <string>

#include "base/color.h"
#include "base/status.h"
#include "picture.h"

namespace turnlet {

// Everything one frame needs besides its source picture, shared by the export and the tuned view.
// An output size equal to the crop size gives the frame before any resize (the tuned view).
struct FrameParams {
    // Clockwise quarter turn applied to the source first: 0, 90, 180 or 270 (anything else turns
    // the source into an empty picture, as RotateQuarter into a fresh picture does).
    int RotationDegrees = 0;
    // Crop rectangle in the turned source; its size is the size of the aligned picture.
    std::int32_t CropLeft = 0;
    std::int32_t CropTop = 0;
    std::int32_t CropWidth = 0;
    std::int32_t CropHeight = 0;
    // The negated DX and DY of the frame.
    std::int32_t ShiftX = 0;
    std::int32_t ShiftY = 0;
    // The negated Angle and Scale of the frame.
    double Angle = 0;
    double Scale = 0;
    double Brightness = 0;
    double Contrast = 0;
    double Gamma = 0;
    Color BackgroundColor = 0x00FFFFFF;
    std::int32_t OutputWidth = 0;
    std::int32_t OutputHeight = 0;
    // The final resize averages the area each output pixel covers where it shrinks the frame
    // (ResizePictureSmooth) instead of taking the nearest pixel; enlarging stays nearest-neighbour.
    // See SmoothResizes for the crops it applies to.
    bool Smooth = false;
};

// Longest crop side the smooth resize takes: a crop line's weighted sums then fit 32 bits.
inline constexpr std::int32_t kMaxSmoothCropSide = 16'843'009;  // 2^32 / 255, rounded down

// Whether the frame's final resize is the smooth one: Smooth asked for, the output smaller than the
// crop in some direction (otherwise both resizes give the same bytes), and a crop that a picture can
// hold with no side above kMaxSmoothCropSide (far beyond any photograph; such a crop is resized
// nearest-neighbour).
bool SmoothResizes(const FrameParams& params);

// The documented chain: quarter turn, transform to the crop size, resize to the output size (smooth or
// nearest-neighbour), tone.
// output takes the output size (its buffer is reused when large enough); it must not be decoded.
void RenderFrameStepByStep(const Picture& decoded, const FrameParams& params, Picture& output);
Picture RenderFrameStepByStep(const Picture& decoded, const FrameParams& params);

// Same bytes as RenderFrameStepByStep, in one sampling pass: each output pixel maps through the
// resize, the transform and the quarter turn to one source pixel (or the background), or with
// Smooth to the crop pixels of its area, each through the transform and the quarter turn, so the
// turned and aligned full-size pictures are never built. To render from a source that is already
// turned, pass RotationDegrees 0.
void RenderFrameFused(const Picture& decoded, const FrameParams& params, Picture& output);
Picture RenderFrameFused(const Picture& decoded, const FrameParams& params);

// The same from part of the decoded source: pixels holds where.area of a where.fullWidth x
// where.fullHeight decoded picture. Renders and returns true when that area holds every pixel the
// frame reads (FrameReach); otherwise returns false and leaves output alone.
bool RenderFrameFused(const Picture& pixels, const PictureArea& where, const FrameParams& params, Picture& output);

// The pixels of a decodedWidth x decodedHeight decoded (not yet turned) source that the frame reads:
// the smallest rectangle holding every one of them; empty when the frame shows background only.
PixelRect FrameReach(const FrameParams& params, int decodedWidth, int decodedHeight);

// A frame whose crop or output size no picture can hold, or whose output size is empty, gives an
// error naming file (the frame's output or source) before anything is allocated.
Status CheckFrameSizes(const FrameParams& params, const std::string& file);

// Left edge of the transform: crop origin plus shift, saturated to 32 bits.
std::int32_t ShiftedOrigin(std::int32_t crop, std::int32_t shift);

}  // namespace turnlet
