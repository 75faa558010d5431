// SPDX-License-Identifier: MIT
// The vector twins of the tone table's byte mapping (tone.cpp holds the portable loop and the choice).
#pragma once

#include <cstddef>
#include <cstdint>

namespace turnlet::avx512 {

// Maps bytes of p from the first on through the 256-entry table, 64 a step; returns how many it
// mapped, leaving fewer than 64 to the caller.
std::size_t MapBytes(std::uint8_t* p, std::size_t n, const std::uint8_t* table);

}  // namespace turnlet::avx512
