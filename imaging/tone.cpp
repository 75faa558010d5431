// SPDX-License-Identifier: MIT
// Brightness, contrast and gamma per channel value, applied to pictures through a 256-entry table.
#include "tone.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/parallel.h"
#include "kernel_util.h"
#include "kernels/tone_kernels.h"

namespace turnlet {

namespace {

// NaN counts as 0 (no change); the rest is held to -100..100 so that no factor turns negative and
// no gamma exponent divides by zero.
double ClampTone(double value) {
    if (std::isnan(value)) return 0;
    return std::clamp(value, -100.0, 100.0);
}

std::uint8_t AdjustClamped(int value, double b, double c, double g) {
    if (ToneIsNeutral(b, c, g)) return static_cast<std::uint8_t>(value);
    // value / 255 rather than value * (1.0 / 255): one rounding instead of two.
    double x = value / 255.0;
    if (b < 0) {
        x = x * (100 + b) * 0.01;
    } else {
        x = x * (30 + b) / 30;
    }
    if (c < 0) {
        x = (x - 0.5) * (100 + c) * 0.01 + 0.5;
    } else {
        x = (x - 0.5) * (30 + c) / 30 + 0.5;
    }
    if (x < 0) x = 0;
    if (g < 0) {
        x = std::pow(x, 120 / (120 + g));
    } else {
        x = std::pow(x, 20 / (20 + g));
    }
    if (x > 1) return 255;
    return static_cast<std::uint8_t>(static_cast<int>(x * 255));
}

}  // namespace

std::uint8_t AdjustPixelTone(int value, double brightness, double contrast, double gamma) {
    return AdjustClamped(std::clamp(value, 0, 255), ClampTone(brightness), ClampTone(contrast), ClampTone(gamma));
}

std::array<std::uint8_t, 256> ToneTable(double brightness, double contrast, double gamma) {
    std::array<std::uint8_t, 256> table{};
    for (int v = 0; v < 256; ++v) table[v] = AdjustPixelTone(v, brightness, contrast, gamma);
    return table;
}

namespace {

void MapBytesPortable(std::uint8_t* p, std::size_t n, const std::array<std::uint8_t, 256>& table) {
    for (std::size_t i = 0; i < n; ++i) p[i] = table[p[i]];
}

}  // namespace

void AdjustTone(Picture& picture, double brightness, double contrast, double gamma) {
    const double b = ClampTone(brightness), c = ClampTone(contrast), g = ClampTone(gamma);
    if (ToneIsNeutral(b, c, g) || picture.empty()) return;
    const std::array<std::uint8_t, 256> table = ToneTable(b, c, g);
    const std::size_t stride = picture.stride();
    constexpr KernelLevel kPaths[] = {KernelLevel::Portable, KernelLevel::Avx512Vbmi};
    [[maybe_unused]] const bool vector = detail::ChooseKernelLevel(Kernel::Tone, kPaths) == KernelLevel::Avx512Vbmi;
    ParallelRows(picture.height(), picture.width(), [&](int rowBegin, int rowEnd) {
        std::uint8_t* p = picture.row(rowBegin);
        const std::size_t n = stride * static_cast<std::size_t>(rowEnd - rowBegin);
#if TURNLET_X86_KERNELS
        if (vector) {
            const std::size_t done = avx512::MapBytes(p, n, table.data());
            MapBytesPortable(p + done, n - done, table);
            return;
        }
#endif
        MapBytesPortable(p, n, table);
    });
}

}  // namespace turnlet
