// SPDX-License-Identifier: MIT
// The viewer page: the template beside the program, filled in for one export and written as index.html.
#pragma once

#include <string>

#include "base/status.h"

namespace turnlet {

struct ViewerPageFacts {
    int frames = 0;          // N
    int typeIndex = 0;       // 0 JPEG, 1 PNG (BMP writes no page)
    std::string widthText;   // the dialog's width field, as typed
    std::string heightText;  // the dialog's height field, as typed
    int areaWidth = 0;       // used when the width field is empty
    int areaHeight = 0;      // used when the height field is empty
};

// The four placeholders replaced in order: [ITEMS], [TYPE], [WIDTH], [HEIGHT].
std::string FillViewerTemplate(const std::string& templateText, const ViewerPageFacts& facts);

// Reads templatePath, fills it and writes directory + "/index.html", replacing an existing page.
// Errors name the template or the page.
Status WriteViewerPage(const std::string& templatePath, const std::string& directory, const ViewerPageFacts& facts);

inline constexpr const char* kViewerTemplateName = "Turnlet.html";
inline constexpr const char* kViewerPageName = "index.html";

}  // namespace turnlet
