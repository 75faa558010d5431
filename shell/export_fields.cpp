// SPDX-License-Identifier: MIT
// The export dialog's field rules.
#include "shell/export_fields.h"

#include <algorithm>
#include <limits>

#include "base/messages.h"
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
    const char* text = TextFor(ShownText::FramesRepeat, languageCode);
    if (!text) return {};
    return text + std::to_string(turnFrames) + ")";
}

}  // namespace turnlet
