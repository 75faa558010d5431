// SPDX-License-Identifier: MIT
// Text helpers every layer uses: extensions, replacing, fields, and the lines of our text files.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace turnlet {

// From the last "." to the end, dot included; the search does not stop at a folder separator.
// No "." at all gives the empty text.
std::string ExtractExt(std::string_view path);

// Every occurrence of search, left to right, non-overlapping; inserted text is never searched again.
// An empty search returns source unchanged.
std::string ReplaceAll(std::string_view source, std::string_view search, std::string_view replacement);

// Field n (0-based) of text cut at every occurrence of separator; empty when there are fewer fields.
// An empty separator cuts nothing: the whole text is field 0.
std::string SplitField(std::string_view text, std::string_view separator, int n);

// Lines of a text: split at LF, one trailing CR of each line removed, a leading UTF-8 byte order
// mark skipped; the empty piece after a final line break is no line. The views point into text.
std::vector<std::string_view> SplitTextLines(std::string_view text);

// Every line followed by CR LF, the last one too.
std::string JoinTextLines(const std::vector<std::string>& lines);

// True when the text holds CR or LF, which a line-based file cannot store inside a value.
bool HasLineBreak(std::string_view text);

}  // namespace turnlet
