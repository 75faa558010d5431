// SPDX-License-Identifier: MIT
// The processor probe and the level cap shared by all pixel kernels.
#include "kernel_util.h"

#include <atomic>
#include <iterator>

namespace turnlet {

namespace {

std::atomic<KernelLevel> levelLimit{kTopKernelLevel};

std::atomic<KernelLevel> lastLevels[std::size(kAllKernels)] = {};

}  // namespace

const char* KernelLevelName(KernelLevel level) {
#define TURNLET_LEVEL_NAME(level, name, FEATURES) name,
    static constexpr const char* kNames[] = {"portable", TURNLET_VECTOR_LEVELS(TURNLET_LEVEL_NAME)};
#undef TURNLET_LEVEL_NAME
    const auto i = static_cast<std::size_t>(level);
    return i < std::size(kNames) ? kNames[i] : "unknown";
}

const char* CpuFeatureName(CpuFeature feature) {
#define TURNLET_FEATURE_NAME_ITEM(feature, name) name,
    static constexpr const char* kNames[] = {TURNLET_ALL_FEATURES(TURNLET_FEATURE_NAME_ITEM, )};
#undef TURNLET_FEATURE_NAME_ITEM
    const auto i = static_cast<std::size_t>(feature);
    return i < std::size(kNames) ? kNames[i] : "unknown";
}

CpuFeatureSet CpuFeaturesPresent() {
#if TURNLET_X86_KERNELS
    static const CpuFeatureSet present = [] {
        __builtin_cpu_init();
        // libgcc reports AVX and AVX-512 features only where the system saves their registers.
#define TURNLET_PROBE_FEATURE(feature, name) | (__builtin_cpu_supports(name) ? FeatureBit(CpuFeature::feature) : 0)
        return CpuFeatureSet{0 TURNLET_ALL_FEATURES(TURNLET_PROBE_FEATURE, )};
#undef TURNLET_PROBE_FEATURE
    }();
    return present;
#else
    return 0;
#endif
}

KernelLevel CpuKernelLevel() {
    static const KernelLevel level = KernelLevelFor(CpuFeaturesPresent());
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
