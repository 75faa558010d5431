// SPDX-License-Identifier: MIT
// Choice between the portable pixel loops and the vector ones; both give the same bytes.
#pragma once

#include <atomic>

namespace turnlet::detail {

// Set by tests to run the portable loops on a machine that would pick the vector ones.
inline std::atomic<bool> forcePortableKernels{false};

// A CPU feature probed once, unless the tests ask for the portable loops.
#if defined(__x86_64__) && defined(__GNUC__)
#define TURNLET_CPU_HAS(...)             \
    static const bool has = __VA_ARGS__; \
    return has && !forcePortableKernels.load(std::memory_order_relaxed)
#else
#define TURNLET_CPU_HAS(...) return false
#endif

inline bool CpuHasSsse3() {
    TURNLET_CPU_HAS(__builtin_cpu_supports("ssse3"));
}
inline bool CpuHasAvx2() {
    TURNLET_CPU_HAS(__builtin_cpu_supports("avx2"));
}
inline bool CpuHasAvx512Vbmi() {
    TURNLET_CPU_HAS(__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                    __builtin_cpu_supports("avx512vbmi"));
}

#undef TURNLET_CPU_HAS

}  // namespace turnlet::detail
