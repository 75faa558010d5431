// SPDX-License-Identifier: MIT
// Windows bitmap files: our own reader (1 to 32 bits per pixel) and 24-bit writer.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "output_file.h"
#include "imaging/picture.h"
#include "base/status.h"

namespace turnlet {

// Decodes a whole BMP file held in memory into out (which takes the file's size). file names the
// file in error messages. On failure out's content is unspecified: callers decode into a scratch picture.
Status DecodeBmp(std::span<const std::uint8_t> bytes, const std::string& file, Picture& out);

// Writes picture as a 24-bit bottom-up BMP to an opened file (which the caller closes).
Status WriteBmp(const Picture& picture, OutputFile& out);

}  // namespace turnlet
