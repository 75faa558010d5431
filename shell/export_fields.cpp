// SPDX-License-Identifier: MIT
// The export dialog's field rules.
#include "shell/export_fields.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "base/number_text.h"

namespace turnlet {

std::int32_t ExportFramesField(std::string_view text) {
    return std::clamp(IntegerOr(text, 100), 1, 1000);
}

std::int32_t QualityField(std::string_view text) {
    return std::clamp(IntegerOr(text, 90), 1, 100);
}

std::int32_t FrameSizeField(std::string_view text) {
    return std::clamp(IntegerOr(text, 200), 50, 2000);
}

std::optional<std::int32_t> ProportionalSize(std::int32_t value, std::int32_t numerator, std::int32_t denominator) {
    if (denominator == 0) return std::nullopt;
    const std::int64_t result = static_cast<std::int64_t>(value) * numerator / denominator;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(result, std::numeric_limits<std::int32_t>::min(),
                                                              std::numeric_limits<std::int32_t>::max()));
}

std::string FramesRepeatNote(std::string_view framesText, int turnFrames, std::string_view languageCode) {
    const std::optional<std::int32_t> n = ParseWholeInteger(framesText);
    if (!n || turnFrames < 1 || *n <= turnFrames) return {};
    return Tr(Msg::FramesRepeat, LanguageOf(languageCode)) + std::to_string(turnFrames) + ")";
}

std::string ExportOutcomeText(const ExportOutcome& outcome, Language language) {
    const std::string written = std::to_string(outcome.written);
    const std::string total = std::to_string(outcome.total);
    std::string text;
    switch (outcome.end) {
        case ExportOutcome::End::Finished:
            text = Tr(Msg::ExportFinished, language);
            break;
        case ExportOutcome::End::Stopped:
            text = Tr(Msg::ExportStopped, language, {written, total});
            break;
        case ExportOutcome::End::Failed: {
            const Status& failure = outcome.failure;
            const std::string reason = failure.code() == Status::Code::WrongFileType
                                           ? failure.file() + ": " + Tr(Msg::WrongFileType, language)
                                           : failure.message();
            text = Tr(Msg::ExportFailed, language, {written, total, reason});
            break;
        }
    }
    if (outcome.page == ExportOutcome::Page::Shortened)
        text += " " + Tr(Msg::ExportPageShortened, language, {written});
    else if (outcome.page == ExportOutcome::Page::Removed)
        text += std::string(" ") + Tr(Msg::ExportPageRemoved, language);
    if (!outcome.problems.empty()) {
        // A long list would not fit a message box: the first ones say enough.
        constexpr std::size_t kListed = 10;
        std::string list;
        for (std::size_t i = 0; i < outcome.problems.size() && i < kListed; ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "%04d", outcome.problems[i].frame);
            list += Tr(Msg::ExportProblemLine, language, {name, outcome.problems[i].source}) + "\n";
        }
        if (outcome.problems.size() > kListed) list += "…\n";
        if (outcome.end == ExportOutcome::End::Finished) text = Tr(Msg::ExportFinishedWithProblems, language);
        text += "\n" + Tr(Msg::ExportBlankFrames, language, {std::to_string(outcome.problems.size()), total, list});
    }
    if (!outcome.pageFailure.ok()) text += "\n" + Tr(Msg::ExportPageFailed, language, {outcome.pageFailure.message()});
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

}  // namespace turnlet
