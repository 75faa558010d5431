// SPDX-License-Identifier: MIT
// The viewer page: the template beside the program, filled in for one export and written as index.html.
#include "export/viewer_page.h"

#include <filesystem>
#include <system_error>

#include "base/files.h"
#include "base/text.h"
#include "export/export_plan.h"

namespace turnlet {

std::string FillViewerTemplate(const std::string& templateText, const ViewerPageFacts& facts) {
    std::string text = ReplaceAll(templateText, "[ITEMS]", std::to_string(facts.frames));
    // The frames' extension without its dot.
    text = ReplaceAll(text, "[TYPE]", ExportExtension(facts.typeIndex).substr(1));
    text = ReplaceAll(text, "[WIDTH]", std::to_string(facts.width));
    text = ReplaceAll(text, "[HEIGHT]", std::to_string(facts.height));
    std::string sets;
    if (facts.extraSizes) sets = "half double";
    if (facts.zoomWidth > 0) sets += std::string(sets.empty() ? "" : " ") + "zoom";
    if (sets.empty()) return text;
    std::string filled = "data-sets=\"" + sets + "\"";
    if (facts.zoomWidth > 0) {
        filled += " data-zoom-width=\"" + std::to_string(facts.zoomWidth) + "\" data-zoom-height=\"" +
                  std::to_string(facts.zoomHeight) + "\"";
    }
    return ReplaceAll(text, kViewerSetsEmpty, filled);
}

Status WriteViewerPage(const std::string& templatePath, const std::string& directory, const ViewerPageFacts& facts) {
    std::string templateText;
    Status status = ReadWholeFile(templatePath, templateText);
    if (!status.ok()) return status;
    return WriteFileAtomically(directory + "/" + kViewerPageName, FillViewerTemplate(templateText, facts));
}

Status RemoveViewerPage(const std::string& directory) {
    const std::string page = directory + "/" + kViewerPageName;
    std::error_code error;
    std::filesystem::remove(page, error);
    if (error) return Status::Error(page, error.message());
    return Status::Ok();
}

}  // namespace turnlet
