// SPDX-License-Identifier: MIT
// The one table of kernel levels: the processor features each level's code may use.
#pragma once

#include <cstdint>

// The vector loops are x86-64 only, and a TURNLET_PORTABLE build leaves them out altogether.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(TURNLET_PORTABLE)
#define TURNLET_X86_KERNELS 1
#else
#define TURNLET_X86_KERNELS 0
#endif

// Each level's features as X(Feature, "name") separated by S, every level holding the one below's.
// The names are GCC's, which target(...) and __builtin_cpu_supports both take: a level's kernels
// are compiled for exactly this list (TURNLET_TARGET_*) and run only where the probe found all of
// it, so no instruction can reach a processor that lacks it. A list holds what GCC enables along
// with its entries too: SSE4.2 brings POPCNT. (AVX also brings XSAVE, which the compiler never
// emits by itself; the probe reports AVX and AVX-512 only where the system saves their registers.)
// clang-format off
#define TURNLET_SSSE3_FEATURES(X, S) \
    X(Sse2, "sse2") S X(Sse3, "sse3") S X(Ssse3, "ssse3")
#define TURNLET_AVX2_FEATURES(X, S) TURNLET_SSSE3_FEATURES(X, S) S \
    X(Sse41, "sse4.1") S X(Sse42, "sse4.2") S X(Popcnt, "popcnt") S X(Avx, "avx") S X(Avx2, "avx2")
#define TURNLET_AVX512_FEATURES(X, S) TURNLET_AVX2_FEATURES(X, S) S \
    X(Avx512F, "avx512f") S X(Avx512Bw, "avx512bw") S X(Avx512Vl, "avx512vl") S X(Avx512Vbmi, "avx512vbmi")

// The vector levels, lowest first, as L(Level, "name", FEATURES).
#define TURNLET_VECTOR_LEVELS(L) \
    L(Ssse3, "ssse3", TURNLET_SSSE3_FEATURES) \
    L(Avx2, "avx2", TURNLET_AVX2_FEATURES) \
    L(Avx512Vbmi, "avx512vbmi", TURNLET_AVX512_FEATURES)
// clang-format on
// The top level names every feature.
#define TURNLET_ALL_FEATURES TURNLET_AVX512_FEATURES

// What a level's functions are compiled for: its list joined by commas.
#define TURNLET_FEATURE_NAME(feature, name) name
#define TURNLET_TARGET(FEATURES) __attribute__((target(FEATURES(TURNLET_FEATURE_NAME, ","))))
#define TURNLET_TARGET_SSSE3 TURNLET_TARGET(TURNLET_SSSE3_FEATURES)
#define TURNLET_TARGET_AVX2 TURNLET_TARGET(TURNLET_AVX2_FEATURES)
#define TURNLET_TARGET_AVX512 TURNLET_TARGET(TURNLET_AVX512_FEATURES)

namespace turnlet {

#define TURNLET_LEVEL_ENUMERATOR(level, name, FEATURES) level,
#define TURNLET_LEVEL_VALUE(level, name, FEATURES) KernelLevel::level,
#define TURNLET_FEATURE_ENUMERATOR(feature, name) feature,
#define TURNLET_FEATURE_ONE(feature, name) +1
#define TURNLET_FEATURE_BIT(feature, name) | FeatureBit(CpuFeature::feature)
#define TURNLET_LEVEL_FEATURES(level, name, FEATURES) CpuFeatureSet{0 FEATURES(TURNLET_FEATURE_BIT, )},

// Instruction sets the kernels are written for, lowest first; each level includes those below it.
enum class KernelLevel { Portable, TURNLET_VECTOR_LEVELS(TURNLET_LEVEL_ENUMERATOR) };

inline constexpr KernelLevel kAllKernelLevels[] = {KernelLevel::Portable, TURNLET_VECTOR_LEVELS(TURNLET_LEVEL_VALUE)};
// The highest level: the default limit, which tests restore after capping it.
inline constexpr KernelLevel kTopKernelLevel = kAllKernelLevels[sizeof(kAllKernelLevels) / sizeof(KernelLevel) - 1];

enum class CpuFeature { TURNLET_ALL_FEATURES(TURNLET_FEATURE_ENUMERATOR, ) };
inline constexpr int kCpuFeatureCount = 0 TURNLET_ALL_FEATURES(TURNLET_FEATURE_ONE, );

// A set of CpuFeatures, bit i for feature i.
using CpuFeatureSet = std::uint32_t;

constexpr CpuFeatureSet FeatureBit(CpuFeature feature) {
    return CpuFeatureSet{1} << static_cast<int>(feature);
}

// Indexed by KernelLevel: the features each level needs.
inline constexpr CpuFeatureSet kLevelFeatures[] = {0, TURNLET_VECTOR_LEVELS(TURNLET_LEVEL_FEATURES)};

#undef TURNLET_LEVEL_ENUMERATOR
#undef TURNLET_LEVEL_VALUE
#undef TURNLET_FEATURE_ENUMERATOR
#undef TURNLET_FEATURE_ONE
#undef TURNLET_FEATURE_BIT
#undef TURNLET_LEVEL_FEATURES

// The highest level whose every feature is in `present`: the probe's rule, for any processor.
constexpr KernelLevel KernelLevelFor(CpuFeatureSet present) {
    KernelLevel level = KernelLevel::Portable;
    for (const KernelLevel next : kAllKernelLevels) {
        if ((kLevelFeatures[static_cast<int>(next)] & ~present) != 0) break;
        level = next;
    }
    return level;
}

static_assert(sizeof(kLevelFeatures) / sizeof(kLevelFeatures[0]) == sizeof(kAllKernelLevels) / sizeof(KernelLevel));
static_assert(kCpuFeatureCount <= 32, "a CpuFeatureSet holds every feature");
static_assert(
    [] {
        for (int i = 1; i < static_cast<int>(sizeof(kLevelFeatures) / sizeof(kLevelFeatures[0])); ++i)
            if ((kLevelFeatures[i - 1] & ~kLevelFeatures[i]) != 0) return false;
        return true;
    }(),
    "each level holds the features of the one below");

// "portable", "ssse3", "avx2", "avx512vbmi".
const char* KernelLevelName(KernelLevel level);

// GCC's name of a feature ("avx512vbmi").
const char* CpuFeatureName(CpuFeature feature);

// The features of the table this processor has (all asked once); none without vector code.
CpuFeatureSet CpuFeaturesPresent();

}  // namespace turnlet
