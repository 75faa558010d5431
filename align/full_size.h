// SPDX-License-Identifier: MIT
// The last refinement of a turn's alignment, at the photographs' full size over one window of them.
#pragma once

#include <string>
#include <vector>

#include "align/turn_stages.h"

namespace turnlet::alignment {

// The pixel of the unturned source (width x height) that the turned picture shows at (x, y), the
// source turned clockwise by rotationDegrees (0, 90, 180, 270) as RotateQuarter turns it.
void SourcePixelOf(int x, int y, int sourceWidth, int sourceHeight, int rotationDegrees, int& sx, int& sy);
// The source rectangle holding the pixels of the turned rectangle area.
PixelRect SourceArea(const PixelRect& area, int sourceWidth, int sourceHeight, int rotationDegrees);

// The luma of area (turned full-size pixels, inside the picture) of the photograph at path, as grey
// values: JPEG files decode that part alone, other types whole.
Status LoadFullSizeGrey(const std::string& path, const Geometry& g, int rotationDegrees, const PixelRect& area,
                        FrameRunner::Buffers& buffers, GreyImage& out);

// Where the full-size comparison looks (turned full-size pixels): the part of the crop holding most
// of what the still scene of the reference (working picture, mask may be null) has to align by,
// with room round it for the frames' shifts, and at most maxPixels large.
PixelRect FineWindow(const GreyImage& reference, const std::vector<std::uint8_t>* still, const Geometry& g,
                     long long maxPixels);

// Every aligned frame's values refined at full size, from where the working size put them, over
// FineWindow: a refinement that fails or strays further than a working pixel leaves the values as
// they were. Nothing happens where the working size is the full size. False when interrupted.
bool RefineFullSize(TurnWork& work, const StillScene& scene, std::vector<FrameAlignment>& out);

}  // namespace turnlet::alignment
