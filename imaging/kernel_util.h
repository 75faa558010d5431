// SPDX-License-Identifier: MIT
// Choice between the portable pixel loops and the vector ones; both give the same bytes.
#pragma once

#include <atomic>

namespace turnlet::detail {

// Set by tests to run the portable loops on a machine that would pick the vector ones.
inline std::atomic<bool> forcePortableKernels{false};

inline bool CpuHasSsse3() {
#if defined(__x86_64__) && defined(__GNUC__)
    static const bool has = __builtin_cpu_supports("ssse3");
    return has && !forcePortableKernels.load(std::memory_order_relaxed);
#else
    return false;
#endif
}

inline bool CpuHasAvx2() {
#if defined(__x86_64__) && defined(__GNUC__)
    static const bool has = __builtin_cpu_supports("avx2");
    return has && !forcePortableKernels.load(std::memory_order_relaxed);
#else
    return false;
#endif
}

inline bool CpuHasAvx512Vbmi() {
#if defined(__x86_64__) && defined(__GNUC__)
    static const bool has =
        __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi");
    return has && !forcePortableKernels.load(std::memory_order_relaxed);
#else
    return false;
#endif
}

}  // namespace turnlet::detail
