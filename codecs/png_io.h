// SPDX-License-Identifier: MIT
// PNG files through libpng: any PNG decoded to 24-bit blue-green-red, written as 8-bit RGB.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "output_file.h"
#include "imaging/picture.h"
#include "base/status.h"

namespace turnlet {

// Decodes a whole PNG file held in memory into out. Transparency is flattened onto white:
// out = (c * a + 255 * (255 - a) + 127) / 255, i.e. the exact blend rounded to nearest.
// A chunk that claims more bytes than the file has left fails before anything is allocated for it,
// and text, palette-suggestion, profile and other metadata chunks are skipped unread, so a file of a
// few bytes cannot make the decoder allocate or inflate gigabytes. On failure out's content is unspecified.
Status DecodePng(std::span<const std::uint8_t> bytes, const std::string& file, Picture& out);

// Writes picture as an 8-bit RGB PNG to an opened file (which the caller closes).
Status WritePng(const Picture& picture, OutputFile& out);

}  // namespace turnlet
