// SPDX-License-Identifier: MIT
// libFuzzer entry for the text helpers: field splitting and the number texts of tables and files.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <algorithm>
#include <string>
#include <string_view>

#include "base/number_text.h"
#include "base/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace turnlet;
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    // SplitField: the fields joined by the separator give the text back, and there is none beyond.
    if (size >= 2) {
        const std::size_t cut = std::min<std::size_t>(data[0] % 4, size - 1);
        const std::string_view separator = text.substr(1, cut);
        const std::string_view body = text.substr(1 + cut);
        int separators = 0;
        if (!separator.empty()) {
            for (std::size_t at = body.find(separator); at != std::string_view::npos && separators <= 200;
                 at = body.find(separator, at + separator.size()))
                ++separators;
        }
        if (separators <= 200) {
            std::string joined = SplitField(body, separator, 0);
            for (int n = 1; n <= separators; ++n) joined += std::string(separator) + SplitField(body, separator, n);
            if (joined != body) std::abort();
            if (!SplitField(body, separator, separators + 1).empty()) std::abort();
        }
    }

    // Readers never fail, and what the writers make reads back as the value written.
    const double real = ParseLeadingReal(text);
    if (!std::isfinite(real)) std::abort();
    (void)CellAsInteger(text);
    if (const auto whole = ParseWholeInteger(text)) {
        if (ParseWholeInteger(FormatInteger(*whole)) != whole) std::abort();
    }
    const std::string keyframe = FormatKeyframeNumber(real);
    const double back = ParseLeadingReal(keyframe);
    if (real != 0 && std::fabs(back - real) > std::fabs(real) * 1e-14) std::abort();
    if (FormatKeyframeNumber(back) != keyframe) std::abort();
    const double g = ParseLeadingReal(FormatG(real));
    if (real != 0 && std::fabs(g - real) > std::fabs(real) * 1e-5) std::abort();
    return 0;
}
