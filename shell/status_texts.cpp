// SPDX-License-Identifier: MIT
// The status bar's texts and the area rectangle.
#include "shell/status_texts.h"

#include "shell/catalogue.h"
#include "base/number_text.h"

namespace turnlet {
namespace {

std::string SizeText(const char* prefix, std::string_view width, std::string_view height) {
    std::string text = prefix;
    text.append(width);
    text += 'x';
    text.append(height);
    text += ')';
    return text;
}

}  // namespace

StatusSummary StatusTexts(const StatusFacts& facts) {
    StatusSummary summary;
    if (!facts.imagesLoaded) {
        summary.change = StatusSummary::Change::ClearAll;
        return summary;
    }
    const Language language = LanguageOf(facts.languageCode);
    const char* source = Tr(Msg::StatusSource, language);
    const char* area = Tr(Msg::StatusArea, language);
    const char* all = Tr(Msg::StatusAllImages, language);
    const char* selected = Tr(Msg::StatusSelectedImages, language);
    summary.change = StatusSummary::Change::Summary;
    const std::string w = FormatInteger(facts.pictureWidth);
    const std::string h = FormatInteger(facts.pictureHeight);
    summary.panels[0] = SizeText(source, w, h);
    summary.panels[1] = facts.crop ? SizeText(area, FormatInteger(facts.crop->width), FormatInteger(facts.crop->height))
                                   : SizeText(area, w, h);
    summary.panels[2] = all + FormatInteger(static_cast<long long>(facts.sourceCount));
    summary.panels[3] = selected + FormatInteger(static_cast<long long>(facts.lastFrame) - facts.firstFrame + 1);
    return summary;
}

}  // namespace turnlet
