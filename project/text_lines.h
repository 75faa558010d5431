// SPDX-License-Identifier: MIT
// Line splitting and joining for the project and settings files (CR LF written, CR LF or LF read).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace turnlet {

// Lines of a text: split at LF, one trailing CR of each line removed, a leading UTF-8 byte order
// mark skipped; the empty piece after a final line break is no line. The views point into text.
std::vector<std::string_view> SplitTextLines(std::string_view text);

// Every line followed by CR LF, the last one too.
std::string JoinTextLines(const std::vector<std::string>& lines);

// True when the text holds CR or LF, which a line-based file cannot store inside a value.
bool HasLineBreak(std::string_view text);

}  // namespace turnlet
