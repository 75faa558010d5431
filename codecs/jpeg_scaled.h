// SPDX-License-Identifier: MIT
// JPEG decoding at a reduced scale (1/2, 1/4, 1/8) in the decoder's own transform: far faster than a
// full decode followed by a reduction, for work that needs only a small copy of each photograph.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/status.h"
#include "imaging/picture.h"

namespace turnlet {

// The picture's full width and height from the header alone.
Status ReadJpegSize(std::span<const std::uint8_t> bytes, const std::string& file, int& width, int& height);

// Decodes bytes at 1/denominator of the full size (denominator 1, 2, 4 or 8; others give an
// error). The result has ceil(width / denominator) x ceil(height / denominator) pixels, each close
// to the mean of the denominator x denominator block it stands for. Damaged data gives an error
// naming file; out's content is then unspecified.
Status DecodeJpegScaled(std::span<const std::uint8_t> bytes, const std::string& file, int denominator, Picture& out);

// The luma (Rec. 601 weights, as libjpeg converts to grey) of the full-size pixels of wanted,
// clipped to the picture, one byte a pixel, rows of got.width bytes. Only the luma blocks of the
// region's columns are transformed and decoding stops after its last row, so a band of a large
// photograph costs little more than reading its compressed data that far. A region that misses the
// picture gives an empty got and out. Damaged data gives an error naming file.
Status DecodeJpegLuma(std::span<const std::uint8_t> bytes, const std::string& file, const PixelRect& wanted,
                      std::vector<std::uint8_t>& out, PixelRect& got);

}  // namespace turnlet
