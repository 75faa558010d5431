// SPDX-License-Identifier: MIT
// The export dialog's field rules: what a field holds after the user leaves it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "export/export_plan.h"
#include "shell/catalogue.h"

namespace turnlet {

// Number of frames: a whole number clamped to 1..1000; any other text gives 100.
std::int32_t ExportFramesField(std::string_view text);
// JPEG quality: a whole number clamped to 1..100; any other text gives 90.
std::int32_t QualityField(std::string_view text);
// Width or height: a whole number clamped to 50..2000; any other text gives 200.
std::int32_t FrameSizeField(std::string_view text);

// The other side of a proportional size: value * numerator / denominator, the product first, the
// division truncating, not clamped. Nothing when the area has no size in that direction (the
// other field then stays as it is). Saturates to 32 bits instead of wrapping.
std::optional<std::int32_t> ProportionalSize(std::int32_t value, std::int32_t numerator, std::int32_t denominator);

// The note beside the number of frames when the turn has fewer frames than the export writes, so
// that some frames are written more than once; empty when nothing repeats or the language has no
// such text.
std::string FramesRepeatNote(std::string_view framesText, int turnFrames, std::string_view languageCode);

// What the end of an export says: finished, or how many frames were written and why it ended
// early, which frames went out blank, and what became of the viewer page.
std::string ExportOutcomeText(const ExportOutcome& outcome, Language language);

}  // namespace turnlet
