// SPDX-License-Identifier: MIT
// The processor probe and the level cap shared by all pixel kernels.
#include "kernel_util.h"

#include <atomic>

namespace turnlet {

namespace {

KernelLevel ProbeCpu() {
#if TURNLET_X86_KERNELS
    __builtin_cpu_init();
    if (!__builtin_cpu_supports("sse2") || !__builtin_cpu_supports("ssse3")) return KernelLevel::Portable;
    if (!__builtin_cpu_supports("avx2")) return KernelLevel::Ssse3;
    if (!__builtin_cpu_supports("avx512f") || !__builtin_cpu_supports("avx512bw") ||
        !__builtin_cpu_supports("avx512vbmi")) {
        return KernelLevel::Avx2;
    }
    return KernelLevel::Avx512Vbmi;
#else
    return KernelLevel::Portable;
#endif
}

std::atomic<KernelLevel> levelLimit{KernelLevel::Avx512Vbmi};

constexpr int kKernelCount = 5;
std::atomic<KernelLevel> lastLevels[kKernelCount] = {};

}  // namespace

const char* KernelLevelName(KernelLevel level) {
    switch (level) {
        case KernelLevel::Portable:
            return "portable";
        case KernelLevel::Ssse3:
            return "ssse3";
        case KernelLevel::Avx2:
            return "avx2";
        case KernelLevel::Avx512Vbmi:
            return "avx512vbmi";
    }
    return "unknown";
}

KernelLevel CpuKernelLevel() {
    static const KernelLevel level = ProbeCpu();
    return level;
}

void SetKernelLevelLimit(KernelLevel limit) {
    levelLimit.store(limit, std::memory_order_relaxed);
}

KernelLevel KernelLevelLimit() {
    return levelLimit.load(std::memory_order_relaxed);
}

KernelLevel ActiveKernelLevel() {
    const KernelLevel limit = KernelLevelLimit();
    const KernelLevel cpu = CpuKernelLevel();
    return limit < cpu ? limit : cpu;
}

KernelLevel LastKernelLevel(Kernel kernel) {
    return lastLevels[static_cast<int>(kernel)].load(std::memory_order_relaxed);
}

namespace detail {

void NoteKernelLevel(Kernel kernel, KernelLevel level) {
    lastLevels[static_cast<int>(kernel)].store(level, std::memory_order_relaxed);
}

}  // namespace detail

}  // namespace turnlet
