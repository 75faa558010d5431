// SPDX-License-Identifier: MIT
// Whole-file reading with a size limit, and replacing a file so that it is either old or new, never half.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "imaging/status.h"

namespace turnlet {

inline constexpr std::size_t kDefaultMaxReadBytes = 64u << 20;

// Reads a regular file whole into content (left untouched on failure). Files larger than maxBytes,
// folders and other non-regular files are refused with an error naming the file.
Status ReadWholeFile(const std::string& fileName, std::string& content, std::size_t maxBytes = kDefaultMaxReadBytes);

// Writes content to a temporary file in the target's folder, syncs it and renames it over the
// target. On any failure the temporary file is removed, the old target is left byte-identical and
// the error names fileName. A symbolic link is followed (its target is replaced, the link kept);
// an existing file's permission bits are kept, a new file gets 0644.
Status WriteFileAtomically(const std::string& fileName, std::string_view content);

}  // namespace turnlet
