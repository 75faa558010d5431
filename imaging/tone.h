// SPDX-License-Identifier: MIT
// Brightness, contrast and gamma, applied to each channel alike.
#pragma once

#include <array>
#include <cstdint>

#include "picture.h"

namespace turnlet {

// One channel value 0..255 through brightness, contrast and gamma (each -100..100, 0 = no change).
// Values outside -100..100 are clamped into that range first.
std::uint8_t AdjustPixelTone(int value, double brightness, double contrast, double gamma);

// The 256 results of AdjustPixelTone for one set of tone values.
std::array<std::uint8_t, 256> ToneTable(double brightness, double contrast, double gamma);

// True when all three are exactly 0: the picture is then left untouched.
inline bool ToneIsNeutral(double brightness, double contrast, double gamma) {
    return brightness == 0 && contrast == 0 && gamma == 0;
}

// In place; identical to AdjustPixelTone on every byte.
void AdjustTone(Picture& picture, double brightness, double contrast, double gamma);

}  // namespace turnlet
