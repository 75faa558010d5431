// SPDX-License-Identifier: MIT
// Locale-independent number texts: std::to_chars / std::from_chars only, never the C locale.
#include "base/number_text.h"

#include <charconv>
#include <cfloat>
#include <cmath>
#include <limits>
#include <system_error>

namespace turnlet {
namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Room for any double in fixed notation (up to 309 integer digits) plus sign and fraction.
constexpr std::size_t kBufferSize = 400;

std::string ToChars(double value, std::chars_format format, int precision) {
    char buffer[kBufferSize];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, format, precision);
    if (result.ec != std::errc()) return "0";
    return std::string(buffer, result.ptr);
}

// Decides the value of a decimal text that from_chars could not represent: +-huge for overflow,
// +-0 for underflow. `intDigits` and `fracDigits` are the mantissa's parts without sign.
double OutOfRangeValue(std::string_view intDigits, std::string_view fracDigits, long long exponent, bool negative) {
    long long magnitude;  // decimal exponent of the leading non-zero digit
    std::size_t lead = intDigits.find_first_not_of('0');
    if (lead != std::string_view::npos) {
        magnitude = static_cast<long long>(intDigits.size() - lead) - 1 + exponent;
    } else {
        std::size_t fracLead = fracDigits.find_first_not_of('0');
        if (fracLead == std::string_view::npos) return negative ? -0.0 : 0.0;
        magnitude = -static_cast<long long>(fracLead) - 1 + exponent;
    }
    double result = magnitude > 0 ? DBL_MAX : 0.0;
    return negative ? -result : result;
}

}  // namespace

std::string FormatG(double value) {
    return ToChars(value, std::chars_format::general, 6);
}

std::string FormatFixed62(double value) {
    std::string text = ToChars(value, std::chars_format::fixed, 2);
    if (text.size() < 6) text.insert(0, 6 - text.size(), ' ');
    return text;
}

std::string FormatKeyframeNumber(double value) {
    if (std::isnan(value) || value == 0) return "0";
    if (std::isinf(value)) value = value > 0 ? DBL_MAX : -DBL_MAX;

    // Rounded to 15 significant digits, "d.dddddddddddddde[+-]xx"; the shortest form of that
    // value is its digits with the trailing zeros dropped.
    std::string scientific = ToChars(value, std::chars_format::scientific, 14);
    bool negative = scientific[0] == '-';
    std::size_t pos = negative ? 1 : 0;
    std::size_t ePos = scientific.find('e');
    std::string digits;
    for (std::size_t i = pos; i < ePos; ++i)
        if (IsDigit(scientific[i])) digits += scientific[i];
    int exponent = 0;
    std::from_chars(scientific.data() + ePos + 1 + (scientific[ePos + 1] == '+' ? 1 : 0),
                    scientific.data() + scientific.size(), exponent);
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

    std::string text = negative ? "-" : "";
    if (exponent >= -5 && exponent < 15) {
        if (exponent >= 0) {
            std::size_t intCount = static_cast<std::size_t>(exponent) + 1;
            if (digits.size() <= intCount) {
                text += digits;
                text.append(intCount - digits.size(), '0');
            } else {
                text += digits.substr(0, intCount);
                text += '.';
                text += digits.substr(intCount);
            }
        } else {
            text += "0.";
            text.append(static_cast<std::size_t>(-exponent - 1), '0');
            text += digits;
        }
    } else {
        text += digits[0];
        if (digits.size() > 1) {
            text += '.';
            text += digits.substr(1);
        }
        text += 'E';
        text += std::to_string(exponent);
    }
    return text;
}

double ParseLeadingReal(std::string_view text) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && IsSpace(text[i])) ++i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const std::size_t mantissaStart = i;
    while (i < n && IsDigit(text[i])) ++i;
    std::string_view intDigits = text.substr(mantissaStart, i - mantissaStart);
    std::string_view fracDigits;
    if (i < n && text[i] == '.') {
        std::size_t j = i + 1;
        while (j < n && IsDigit(text[j])) ++j;
        fracDigits = text.substr(i + 1, j - i - 1);
        if (!intDigits.empty() || !fracDigits.empty()) i = j;
    }
    if (intDigits.empty() && fracDigits.empty()) return 0.0;

    long long exponent = 0;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        bool negativeExponent = false;
        if (j < n && (text[j] == '+' || text[j] == '-')) {
            negativeExponent = text[j] == '-';
            ++j;
        }
        if (j < n && IsDigit(text[j])) {
            while (j < n && IsDigit(text[j])) {
                // Saturates: any exponent this large already means overflow or underflow.
                if (exponent < 1'000'000'000) exponent = exponent * 10 + (text[j] - '0');
                ++j;
            }
            if (negativeExponent) exponent = -exponent;
            i = j;
        }
    }

    double value = 0.0;
    auto result = std::from_chars(text.data() + mantissaStart, text.data() + i, value, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) return OutOfRangeValue(intDigits, fracDigits, exponent, negative);
    if (result.ec != std::errc() || !std::isfinite(value)) return 0.0;
    return negative ? -value : value;
}

std::int32_t CellAsInteger(std::string_view text) {
    double value = std::trunc(ParseLeadingReal(text));
    if (value >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    if (value <= static_cast<double>(std::numeric_limits<std::int32_t>::min()))
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

std::optional<std::int32_t> ParseWholeInteger(std::string_view text) {
    std::size_t start = 0;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) start = 1;
    if (start >= text.size()) return std::nullopt;
    for (std::size_t i = start; i < text.size(); ++i)
        if (!IsDigit(text[i])) return std::nullopt;
    // from_chars takes '-' but not '+'; the digits alone were checked above.
    const char* begin = text.data() + (text[0] == '+' ? 1 : 0);
    std::int32_t value = 0;
    auto result = std::from_chars(begin, text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return std::nullopt;
    return value;
}

std::string FormatInteger(long long value) {
    char buffer[32];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

}  // namespace turnlet
