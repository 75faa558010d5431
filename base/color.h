// SPDX-License-Identifier: MIT
// A colour value as the project file stores it: 0x00BBGGRR.
#pragma once

#include <cstdint>

namespace turnlet {

// Red in bits 0-7, green 8-15, blue 16-23.
using Color = std::uint32_t;

inline std::uint8_t ColorBlue(Color c) {
    return static_cast<std::uint8_t>((c >> 16) & 0xFF);
}
inline std::uint8_t ColorGreen(Color c) {
    return static_cast<std::uint8_t>((c >> 8) & 0xFF);
}
inline std::uint8_t ColorRed(Color c) {
    return static_cast<std::uint8_t>(c & 0xFF);
}

}  // namespace turnlet
