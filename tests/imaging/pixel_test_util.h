// SPDX-License-Identifier: MIT
// Picture builders and pixel access shared by the imaging kernel tests.
#pragma once

#include <array>
#include <cstdint>
#include <random>

#include "imaging/picture.h"

namespace turnlet::testing {

using Bgr = std::array<std::uint8_t, 3>;

inline Bgr PixelAt(const Picture& p, int x, int y) {
    const std::uint8_t* q = p.pixel(x, y);
    return {q[0], q[1], q[2]};
}

// Every pixel tells where it came from: blue = x, green = y, red mixes the high bits.
inline Picture Pattern(int w, int h) {
    Picture p(w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            std::uint8_t* q = p.pixel(x, y);
            q[0] = static_cast<std::uint8_t>(x);
            q[1] = static_cast<std::uint8_t>(y);
            q[2] = static_cast<std::uint8_t>(((x >> 8) * 16 + (y >> 8)) ^ 0xA5);
        }
    }
    return p;
}

inline Picture RandomPicture(int w, int h, std::mt19937& rng) {
    Picture p(w, h);
    std::uniform_int_distribution<int> byte(0, 255);
    for (std::size_t i = 0; i < p.byteSize(); ++i) p.data()[i] = static_cast<std::uint8_t>(byte(rng));
    return p;
}

inline Picture Filled(int w, int h, std::uint8_t value) {
    Picture p(w, h);
    for (std::size_t i = 0; i < p.byteSize(); ++i) p.data()[i] = value;
    return p;
}

}  // namespace turnlet::testing
