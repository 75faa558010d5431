// SPDX-License-Identifier: MIT
// The status bar's texts and the area rectangle.
#include "shell/status_texts.h"

#include "base/messages.h"
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
    const char* source = TextFor(ShownText::StatusSource, facts.languageCode);
    const char* area = TextFor(ShownText::StatusArea, facts.languageCode);
    const char* all = TextFor(ShownText::StatusAllImages, facts.languageCode);
    const char* selected = TextFor(ShownText::StatusSelectedImages, facts.languageCode);
    if (!source || !area || !all || !selected) return summary;
    summary.change = StatusSummary::Change::Summary;
    const std::string w = FormatInteger(facts.pictureWidth);
    const std::string h = FormatInteger(facts.pictureHeight);
    summary.panels[0] = SizeText(source, w, h);
    summary.panels[1] = !facts.crop.width.empty() && !facts.crop.height.empty()
                            ? SizeText(area, facts.crop.width, facts.crop.height)
                            : SizeText(area, w, h);
    summary.panels[2] = all + FormatInteger(static_cast<long long>(facts.sourceCount));
    summary.panels[3] = selected + FormatInteger(static_cast<long long>(facts.lastFrame) - facts.firstFrame + 1);
    return summary;
}

AreaRect AreaParams(const CropTexts& crop, int pictureWidth, int pictureHeight) {
    AreaRect area;
    area.left = crop.left.empty() ? 0 : IntegerOr(crop.left, 0);
    area.top = crop.top.empty() ? 0 : IntegerOr(crop.top, 0);
    area.width = crop.width.empty() ? pictureWidth : IntegerOr(crop.width, 200);
    area.height = crop.height.empty() ? pictureHeight : IntegerOr(crop.height, 200);
    return area;
}

}  // namespace turnlet
