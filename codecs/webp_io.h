// SPDX-License-Identifier: MIT
// WebP files through libwebp: any WebP decoded to 24-bit blue-green-red, lossy WebP written at a quality.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/status.h"
#include "imaging/picture.h"

namespace turnlet {

// Decodes a whole WebP file held in memory into out: lossy or lossless, with transparency
// flattened onto white as PNG's is; of an animation, its first frame as shown. On failure out's
// content is unspecified.
Status DecodeWebp(std::span<const std::uint8_t> bytes, const std::string& file, Picture& out);

// libwebp's quality (0 .. 100) for the export's quality 1 .. 100 (clamped): straight lines through
// 1 -> 1.04, 90 -> 94 and 100 -> 100. At 94 (method 2) WebP frames are as sharp as JPEG's at 90
// (SSIM of the luma against the lossless frame) in about two thirds of the bytes (bench/codec_table).
float WebpQuality(int quality);

// How WebP frames are encoded beyond the quality (the defaults are the export's).
struct WebpEncoding {
    float quality = -1;  // libwebp's own quality, or below 0: WebpQuality of the export's
    // libwebp's effort, 0 fastest .. 6: from 3 on it takes twice the time for about a quarter fewer bytes.
    int method = 2;
    bool sharpYuv = false;  // crisper colour edges at twice the time
};

// Encodes picture as a lossy WebP at the export's quality 1 .. 100 into out (replacing its content).
Status EncodeWebp(const Picture& picture, int quality, const std::string& file, std::vector<std::uint8_t>& out,
                  const WebpEncoding& encoding = {});

}  // namespace turnlet
