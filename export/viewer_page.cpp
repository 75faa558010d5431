// SPDX-License-Identifier: MIT
// The viewer page: the template beside the program, filled in for one export and written as index.html.
#include "export/viewer_page.h"

#include <filesystem>
#include <system_error>

#include "base/files.h"
#include "base/text.h"

namespace turnlet {

std::string FillViewerTemplate(const std::string& templateText, const ViewerPageFacts& facts) {
    std::string text = ReplaceAll(templateText, "[ITEMS]", std::to_string(facts.frames));
    text = ReplaceAll(text, "[TYPE]", facts.typeIndex == 1 ? "png" : "jpg");
    text = ReplaceAll(text, "[WIDTH]", std::to_string(facts.width));
    text = ReplaceAll(text, "[HEIGHT]", std::to_string(facts.height));
    if (facts.extraSizes) text = ReplaceAll(text, kViewerSetsEmpty, kViewerSetsBoth);
    return text;
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
