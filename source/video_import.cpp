// SPDX-License-Identifier: MIT
// The FFmpeg run of the video import.
#include "source/video_import.h"

#include <algorithm>
#include <cctype>

namespace turnlet {

std::string PictureExtension(int typeIndex) {
    switch (typeIndex) {
        case 1:
            return "png";
        case 2:
            return "bmp";
        default:
            return "jpg";
    }
}

std::string PicturePattern(const std::string& folder, int typeIndex) {
    return folder + "/%05d." + PictureExtension(typeIndex);
}

std::vector<std::string> FfmpegArguments(const std::string& video, const std::string& folder, int typeIndex,
                                         bool replace) {
    std::vector<std::string> arguments;
    if (replace) arguments.push_back("-y");
    arguments.insert(arguments.end(), {"-i", video, PicturePattern(folder, typeIndex)});
    return arguments;
}

bool IsExtractedPictureName(std::string_view name, int typeIndex) {
    const std::string suffix = "." + PictureExtension(typeIndex);
    if (name.size() < 5 + suffix.size() || !name.ends_with(suffix)) return false;
    const std::string_view digits = name.substr(0, name.size() - suffix.size());
    return std::all_of(digits.begin(), digits.end(),
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

std::string LastLines(std::string_view text, int lines) {
    std::vector<std::string_view> kept;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.remove_suffix(1);
        if (!line.empty()) kept.push_back(line);
        start = end + 1;
    }
    std::string result;
    const std::size_t first = kept.size() > static_cast<std::size_t>(lines) ? kept.size() - lines : 0;
    for (std::size_t i = first; i < kept.size(); ++i) {
        if (!result.empty()) result += '\n';
        result += kept[i];
    }
    return result;
}

}  // namespace turnlet
