// SPDX-License-Identifier: MIT
// JPEG decoding at a reduced scale (1/2, 1/4, 1/8) in the decoder's own transform: far faster than a
// full decode followed by a reduction, for work that needs only a small copy of each photograph.
#pragma once

#include <cstdint>
#include <span>
#include <string>

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

}  // namespace turnlet
