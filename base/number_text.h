// SPDX-License-Identifier: MIT
// Number texts of the tables and files: writers and readers with "." as decimal separator in any locale.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace turnlet {

// printf "%g": six significant digits, trailing zeros dropped, exponent below 1e-4 and from 1e6.
std::string FormatG(double value);
// printf "%6.2f": the text a shift drag writes.
std::string FormatFixed62(double value);
// Keyframes table form: shortest text of at most 15 significant digits that reads back as the
// same 15-digit value; fixed-point for magnitudes 1e-5 <= |v| < 1e15, exponent otherwise; an
// integral value has no point ("12", "-180").
std::string FormatKeyframeNumber(double value);

// Skips leading white space, takes the longest prefix of the form [sign] digits [. digits]
// [e [sign] digits]; 0 when there is none. No hex, inf or nan. Overflow gives +-huge (finite).
double ParseLeadingReal(std::string_view text);

// A table cell read as an integer: its leading real (ParseLeadingReal) truncated toward zero and
// saturated to the 32-bit range. "12.75" -> 12, "-3.9" -> -3, "-5.55112e-17" -> 0, "1e+06" -> 1000000.
std::int32_t CellAsInteger(std::string_view text);

// "As an integer": the whole text is a decimal whole number with an optional sign (leading zeros
// allowed, nothing else around it) that fits 32 bits; otherwise nothing.
std::optional<std::int32_t> ParseWholeInteger(std::string_view text);
inline std::int32_t IntegerOr(std::string_view text, std::int32_t fallback) {
    return ParseWholeInteger(text).value_or(fallback);
}

// "%i".
std::string FormatInteger(long long value);

}  // namespace turnlet
