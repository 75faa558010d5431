// SPDX-License-Identifier: MIT
// The viewer page: the template beside the program, filled in for one export and written as index.html.
#pragma once

#include <string>

#include "base/program_files.h"
#include "base/status.h"

namespace turnlet {

struct ViewerPageFacts {
    int frames = 0;     // N
    int typeIndex = 0;  // 0 JPEG, 1 PNG (BMP writes no page)
    int width = 0;      // the frames' size in pixels
    int height = 0;
    bool extraSizes = false;  // the half- and double-size frame sets are written too
};

// The four placeholders replaced in order: [ITEMS], [TYPE], [WIDTH], [HEIGHT]. With extra sizes the
// viewer's empty list of extra sets, kViewerSetsEmpty, then names both (kViewerSetsBoth).
std::string FillViewerTemplate(const std::string& templateText, const ViewerPageFacts& facts);

// Reads templatePath, fills it and writes directory + "/index.html", replacing an existing page.
// Errors name the template or the page.
Status WriteViewerPage(const std::string& templatePath, const std::string& directory, const ViewerPageFacts& facts);

// Removes directory + "/index.html"; a page that is not there is no error.
Status RemoveViewerPage(const std::string& directory);

inline constexpr const char* kViewerTemplateName = kViewerTemplateFile;
inline constexpr const char* kViewerPageName = "index.html";
inline constexpr const char* kViewerSetsEmpty = "data-sets=\"\"";
inline constexpr const char* kViewerSetsBoth = "data-sets=\"half double\"";

}  // namespace turnlet
