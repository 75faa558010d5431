// SPDX-License-Identifier: MIT
// One frame from its decoded source: quarter turn, crop-shift-rotate-zoom, resize and tone, step by step or fused.
#pragma once

#include <cstdint>
#include <string>

#include "base/color.h"
#include "base/status.h"
#include "imaging/picture.h"

namespace turnlet {

// One picture's crop, shift, angle, scale and tone: the shifts, angle and scale are the frame's
// values negated, as the transform takes them.
struct TuneParams {
    // Crop rectangle in the turned source; its size is the size of the aligned picture.
    std::int32_t CropLeft = 0;
    std::int32_t CropTop = 0;
    std::int32_t CropWidth = 0;
    std::int32_t CropHeight = 0;
    // The negated DX and DY of the frame.
    std::int32_t ShiftX = 0;
    std::int32_t ShiftY = 0;
    Color Background = 0x00FFFFFF;
    // The negated Angle and Scale of the frame.
    double Angle = 0;
    double Scale = 0;
    double Brightness = 0;
    double Contrast = 0;
    double Gamma = 0;
    friend bool operator==(const TuneParams&, const TuneParams&) = default;
};

// Everything one frame needs besides its source picture, shared by the export and the tuned view.
// An output size equal to the crop size gives the frame before any resize (the tuned view).
struct FrameParams : TuneParams {
    // Clockwise quarter turn applied to the source first: 0, 90, 180 or 270 (anything else turns
    // the source into an empty picture, as RotateQuarter into a fresh picture does).
    int RotationDegrees = 0;
    std::int32_t OutputWidth = 0;
    std::int32_t OutputHeight = 0;
    // Each output pixel averages the source area it covers where the frame shrinks the source,
    // instead of taking the nearest pixel: the turned source is averaged down to about one pixel per
    // output pixel (ResizePictureSmooth) and each output pixel's centre takes its average through
    // the transform. See SmoothResizes for the frames it applies to and smooth_frame.h for the rule.
    bool Smooth = false;
};

// Longest source side the smooth frame averages along: the weighted sums down a source column then
// fit 32 bits. A longer side (far beyond any photograph) is sampled without averaging.
inline constexpr std::int32_t kMaxSmoothSide = 16'843'009;  // 2^32 / 255, rounded down

// Whether the frame is smooth: Smooth asked for, and each output pixel covering more than one source
// pixel in some direction (the crop-to-output ratio times the zoom). Otherwise (enlarging, or the
// tuned view at the crop size with no zoom out) the frame is the nearest-neighbour one, byte for byte.
bool SmoothResizes(const FrameParams& params);

// The documented chain: quarter turn, transform to the crop size, resize to the output size,
// tone; a smooth frame: quarter turn, the area average to the reduced size,
// each output pixel's centre through the transform, tone.
// output takes the output size (its buffer is reused when large enough); it must not be decoded.
void RenderFrameStepByStep(const Picture& decoded, const FrameParams& params, Picture& output);
Picture RenderFrameStepByStep(const Picture& decoded, const FrameParams& params);

// Same bytes as RenderFrameStepByStep, in one sampling pass: each output pixel maps through the
// resize, the transform and the quarter turn to one source pixel (or the background), or for a
// smooth frame to one average of the part of the source the frame reaches, so the turned and
// aligned full-size pictures are never built. To render from a source that is already
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
