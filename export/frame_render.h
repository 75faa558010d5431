// SPDX-License-Identifier: MIT
// Rendering one export frame from its decoded source: the chain of picture operations, and a fused form.
#pragma once

#include "export/export_engine.h"

namespace turnlet {

// The documented chain: quarter turn, transform to the crop size, resize to the output size, tone.
Picture RenderFrameStepByStep(const Picture& decoded, const ExportParams& params);

// Same bytes as RenderFrameStepByStep, in one sampling pass: each output pixel maps through the
// resize, the transform and the quarter turn to one source pixel (or the background), so the
// turned and aligned full-size pictures are never built.
Picture RenderFrameFused(const Picture& decoded, const ExportParams& params);

// A frame whose crop or output size no picture can hold, or whose output size is empty, gives an
// error naming the output file before anything is allocated.
Status CheckFrameSizes(const ExportParams& params);

// Left edge of the transform: crop origin plus shift, saturated to 32 bits.
std::int32_t ShiftedOrigin(std::int32_t crop, std::int32_t shift);

}  // namespace turnlet
