// SPDX-License-Identifier: MIT
// The size checks a decoder makes from a file's header before it asks for any pixel memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/status.h"
#include "imaging/picture.h"

namespace turnlet {

// A large picture from a file thousands of times smaller is a decompression bomb. A photograph's
// WebP or AVIF at the lowest quality still takes well over a bit a pixel where it has detail, so
// only a nearly blank picture comes near this ratio.
inline constexpr std::int64_t kBombPictureBytes = std::int64_t{64} << 20;
inline constexpr std::int64_t kBombRatio = 4096;

// Ok when a width x height picture (as a header states it) may be decoded from a file of
// fileBytes bytes; else an error naming file and format.
inline Status CheckDecodedSize(std::int64_t width, std::int64_t height, std::size_t fileBytes, const std::string& file,
                               const char* format) {
    if (width <= 0 || height <= 0)
        return Status::Error(file, std::string("damaged ") + format + " file: the picture has no size");
    if (width > kMaxPicturePixels || height > kMaxPicturePixels || width * height > kMaxPicturePixels) {
        return Status::Error(file, "picture of " + std::to_string(width) + " x " + std::to_string(height) +
                                       " pixels is larger than the limit of " +
                                       std::to_string(kMaxPicturePixels / 1'000'000) + " megapixels");
    }
    const std::int64_t pictureBytes = width * height * 3;
    if (pictureBytes >= kBombPictureBytes && pictureBytes / kBombRatio > static_cast<std::int64_t>(fileBytes)) {
        return Status::Error(file, "picture of " + std::to_string(width) + " x " + std::to_string(height) +
                                       " pixels in a file of only " + std::to_string(fileBytes) +
                                       " bytes: refused as a decompression bomb");
    }
    return Status::Ok();
}

// Flattens one row of blue-green-red-alpha pixels onto white, as PNG decoding does:
// out = (c * a + 255 * (255 - a) + 127) / 255.
inline void FlattenOntoWhite(const std::uint8_t* bgra, std::uint8_t* bgr, int width) {
    for (int x = 0; x < width; ++x, bgra += 4, bgr += 3) {
        const unsigned a = bgra[3];
        const unsigned white = 255 * (255 - a) + 127;
        bgr[0] = static_cast<std::uint8_t>((bgra[0] * a + white) / 255);
        bgr[1] = static_cast<std::uint8_t>((bgra[1] * a + white) / 255);
        bgr[2] = static_cast<std::uint8_t>((bgra[2] * a + white) / 255);
    }
}

}  // namespace turnlet
