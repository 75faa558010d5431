// SPDX-License-Identifier: MIT
// Text helpers every layer uses.
#include "base/text.h"

namespace turnlet {

std::string ExtractExt(std::string_view path) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos) return {};
    return std::string(path.substr(dot));
}

std::string ReplaceAll(std::string_view source, std::string_view search, std::string_view replacement) {
    if (search.empty()) return std::string(source);
    std::string result;
    result.reserve(source.size());
    std::size_t from = 0;
    for (std::size_t at = source.find(search); at != std::string_view::npos; at = source.find(search, from)) {
        result.append(source.substr(from, at - from));
        result.append(replacement);
        from = at + search.size();
    }
    result.append(source.substr(from));
    return result;
}

std::string SplitField(std::string_view text, std::string_view separator, int n) {
    if (n < 0) return {};
    if (separator.empty()) return n == 0 ? std::string(text) : std::string();
    std::size_t start = 0;
    for (int field = 0; field < n; ++field) {
        std::size_t found = text.find(separator, start);
        if (found == std::string_view::npos) return {};
        start = found + separator.size();
    }
    std::size_t end = text.find(separator, start);
    if (end == std::string_view::npos) end = text.size();
    return std::string(text.substr(start, end - start));
}

std::vector<std::string_view> SplitTextLines(std::string_view text) {
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (line.ends_with('\r')) line.remove_suffix(1);
        lines.push_back(line);
        start = next;
    }
    return lines;
}

std::string JoinTextLines(const std::vector<std::string>& lines) {
    std::size_t size = 0;
    for (const auto& line : lines) size += line.size() + 2;
    std::string text;
    text.reserve(size);
    for (const auto& line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

bool HasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

}  // namespace turnlet
