// SPDX-License-Identifier: MIT
// The viewer page: the template beside the program, filled in for one export and written as index.html.
#pragma once

#include <string>

#include "base/status.h"

namespace turnlet {

struct ViewerPageFacts {
    int frames = 0;           // N
    int typeIndex = 0;        // 0 JPEG, 1 PNG (BMP writes no page)
    std::string widthText;    // the dialog's width field, as typed
    std::string heightText;   // the dialog's height field, as typed
    int areaWidth = 0;        // used when the width field is empty
    int areaHeight = 0;       // used when the height field is empty
    bool extraSizes = false;  // the half- and double-size frame sets are written too
};

// The four placeholders replaced in order: [ITEMS], [TYPE], [WIDTH], [HEIGHT]. With extra sizes the
// viewer's empty list of extra sets, kViewerSetsEmpty, then names both (kViewerSetsBoth).
std::string FillViewerTemplate(const std::string& templateText, const ViewerPageFacts& facts);

// Reads templatePath, fills it and writes directory + "/index.html", replacing an existing page.
// Errors name the template or the page.
Status WriteViewerPage(const std::string& templatePath, const std::string& directory, const ViewerPageFacts& facts);

inline constexpr const char* kViewerTemplateName = "Turnlet.html";
inline constexpr const char* kViewerPageName = "index.html";
inline constexpr const char* kViewerSetsEmpty = "data-sets=\"\"";
inline constexpr const char* kViewerSetsBoth = "data-sets=\"half double\"";

}  // namespace turnlet
