// SPDX-License-Identifier: MIT
// Choice between the portable pixel loops and the vector ones; every level gives the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kernels/levels.h"

namespace turnlet {

// The highest level this processor runs and this build holds: KernelLevelFor(CpuFeaturesPresent()).
KernelLevel CpuKernelLevel();

// Caps the level every kernel may use from now on, so tests and benchmarks can run each path on
// a machine that would pick a higher one. The default is no cap.
void SetKernelLevelLimit(KernelLevel limit);
KernelLevel KernelLevelLimit();

// The lower of CpuKernelLevel() and the limit: what kernels choose from.
KernelLevel ActiveKernelLevel();

// Kernels with more than one path.
enum class Kernel { QuarterTurn, Transform, Tone, SmoothFrame, NearestFrame };
inline constexpr Kernel kAllKernels[] = {Kernel::QuarterTurn, Kernel::Transform, Kernel::Tone, Kernel::SmoothFrame,
                                         Kernel::NearestFrame};

// The path the latest call of a kernel took (Portable before any call). Lets a test say which path
// it checked instead of trusting that the one it asked for ran.
KernelLevel LastKernelLevel(Kernel kernel);

#if TURNLET_X86_KERNELS
// Output byte j of sixteen packed pixels is byte j % 3 of pixel j / 3, whose 32-bit lane starts at
// 4 * (j / 3): the tables of the byte permutes that pack 4-byte pixels into 3.
struct PixelBytes {
    alignas(64) std::uint8_t lane[64];
    alignas(64) std::uint8_t byte[64];
};
inline constexpr PixelBytes kPixelBytes = [] {
    PixelBytes t{};
    for (int j = 0; j < 48; ++j) {
        t.lane[j] = static_cast<std::uint8_t>(4 * (j / 3));
        t.byte[j] = static_cast<std::uint8_t>(j % 3);
    }
    return t;
}();
#endif

namespace detail {

void NoteKernelLevel(Kernel kernel, KernelLevel level);

// The highest of a kernel's paths (ascending, Portable first) that the active level allows, noted
// as the kernel's last level.
template <std::size_t N>
KernelLevel ChooseKernelLevel(Kernel kernel, const KernelLevel (&paths)[N]) {
    const KernelLevel active = ActiveKernelLevel();
    KernelLevel chosen = KernelLevel::Portable;
    for (KernelLevel path : paths)
        if (path <= active) chosen = path;
    NoteKernelLevel(kernel, chosen);
    return chosen;
}

}  // namespace detail

}  // namespace turnlet
