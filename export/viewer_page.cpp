// SPDX-License-Identifier: MIT
// The viewer page: the template beside the program, filled in for one export and written as index.html.
#include "export/viewer_page.h"

#include "base/text.h"
#include "codecs/image_files.h"
#include "base/files.h"

namespace turnlet {

std::string FillViewerTemplate(const std::string& templateText, const ViewerPageFacts& facts) {
    const std::string width = facts.widthText.empty() ? std::to_string(facts.areaWidth) : facts.widthText;
    const std::string height = facts.heightText.empty() ? std::to_string(facts.areaHeight) : facts.heightText;
    std::string text = ReplaceAll(templateText, "[ITEMS]", std::to_string(facts.frames));
    text = ReplaceAll(text, "[TYPE]", facts.typeIndex == 1 ? "png" : "jpg");
    text = ReplaceAll(text, "[WIDTH]", width);
    text = ReplaceAll(text, "[HEIGHT]", height);
    if (facts.extraSizes) text = ReplaceAll(text, kViewerSetsEmpty, kViewerSetsBoth);
    return text;
}

Status WriteViewerPage(const std::string& templatePath, const std::string& directory, const ViewerPageFacts& facts) {
    std::string templateText;
    Status status = ReadWholeFile(templatePath, templateText);
    if (!status.ok()) return status;
    return WriteFileAtomically(directory + "/" + kViewerPageName, FillViewerTemplate(templateText, facts));
}

}  // namespace turnlet
