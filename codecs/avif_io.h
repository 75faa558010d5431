// SPDX-License-Identifier: MIT
// AVIF files through libavif: any AVIF decoded to 24-bit blue-green-red, written at a quality.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "base/status.h"
#include "imaging/picture.h"

namespace turnlet {

// Decodes a whole AVIF file held in memory into out: any depth and chroma layout, transparency
// flattened onto white as PNG's is; of a sequence, its first picture. On failure out's content is
// unspecified.
Status DecodeAvif(std::span<const std::uint8_t> bytes, const std::string& file, Picture& out);

// The AV1 quantizer (0 best .. 63 worst) for the export's quality 1 .. 100 (clamped): straight
// lines through 100 -> 0, 90 -> kAvifQuantizerAt90 and 1 -> 63, rounded. At 8 (libaom, speed 9)
// AVIF frames are as sharp as JPEG's at 90 (SSIM of the luma against the lossless frame) in about
// half the bytes (bench/codec_table).
int AvifQuantizer(int quality);
inline constexpr int kAvifQuantizerAt90 = 8;

// How AVIF frames are encoded: which AV1 encoder, at which of libavif's speeds (0 slowest .. 10).
struct AvifEncoding {
    enum class Encoder { Aom, Svt, Rav1e };
    // libaom at its fastest still-picture speed (10 is the same): 7 to 10 times JPEG's encode
    // time, a quarter of it setting up for the picture. SVT-AV1 takes 20 to 30 times that processor
    // time per picture (it sets up for video) and rav1e at its fastest 6 to 12 times, both for more bytes at the same
    // quantizer. Of libaom's own options (partitions, tools, tuning, row-mt) only the trellis below saves time at this
    // speed, and its real-time mode is slower for a single picture.
    Encoder encoder = Encoder::Aom;
    int speed = 9;
    // libaom's trellis search over each block's coefficients: about a sixth of the encode for 5% fewer bytes at
    // the same sharpness. Off, an AVIF export takes under three times the JPEG export's time on the clock.
    bool trellis = false;
    int threads = 1;          // the picture writer runs one encode per core
    int quantizer = -1;       // the AV1 quantizer itself, or below 0: AvifQuantizer of the export's quality
    bool fullChroma = false;  // 4:4:4 instead of 4:2:0
    // The encoder's own settings by name ("sb-size", "tune" ...), for measuring them; one it does
    // not know fails the encode.
    std::vector<std::pair<std::string, std::string>> options;
};
// Whether libavif was built with encoder.
bool AvifEncoderAvailable(AvifEncoding::Encoder encoder);

// Encodes picture as a 4:2:0 AVIF at the export's quality 1 .. 100 into out (replacing its content).
Status EncodeAvif(const Picture& picture, int quality, const std::string& file, std::vector<std::uint8_t>& out,
                  const AvifEncoding& encoding = {});

}  // namespace turnlet
