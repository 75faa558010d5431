// SPDX-License-Identifier: MIT
// The status bar's texts and the area rectangle, derived from the project and the preview's size.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "project/project.h"

namespace turnlet {

inline constexpr int kStatusPanels = 6;
// Panel widths from left to right; the last panel takes the rest of the bar.
inline constexpr std::array<int, kStatusPanels> kStatusPanelWidths = {150, 150, 150, 150, 100, 50};
inline constexpr int kPointerPanel = 4;
inline constexpr int kPathPanel = 5;

struct StatusFacts {
    bool imagesLoaded = false;
    std::string_view languageCode;
    int pictureWidth = 0, pictureHeight = 0;  // the preview picture (full-size rotated source)
    std::optional<CropArea> crop;
    std::size_t sourceCount = 0;
    int firstFrame = 0, lastFrame = 0;
};

struct StatusSummary {
    enum class Change {
        ClearAll,  // no images: every panel empty
        Summary,   // panels 0 to 3 rewritten
    };
    Change change = Change::ClearAll;
    std::array<std::string, 4> panels;
};

// Source size, area size (the crop's, else the source size), number of sources, number of frames
// between first and last.
StatusSummary StatusTexts(const StatusFacts& facts);

}  // namespace turnlet
