// SPDX-License-Identifier: MIT
// The area sums and means with AVX2.
#include "area_reduce_kernels.h"
#include "imaging/kernels/levels.h"

#if TURNLET_X86_KERNELS
#include <immintrin.h>

namespace turnlet::avx2 {

namespace {

// The three truncated means into the output: each pixel's spare fourth byte is overwritten by the
// next one (wide); the row's last takes three.
TURNLET_TARGET_AVX2 inline void StoreMeans(__m256d q, __m128i pack, bool wide, std::uint8_t* to) {
    const __m128i bgr = _mm_shuffle_epi8(_mm256_cvttpd_epi32(q), pack);
    if (wide) {
        _mm_storeu_si32(to, bgr);
    } else {
        _mm_storeu_si16(to, bgr);
        to[2] = static_cast<std::uint8_t>(_mm_extract_epi8(bgr, 2));
    }
}

TURNLET_TARGET_AVX2 inline __m128i Load4(const std::uint32_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// The padded outputs of one row, Stride samples each, unrolled, in doubles: the sums (below 2^31)
// convert exactly, and products and sums of integers below 2^52 are exact. Plain: the gather is
// uniform and the samples are added as integers, then weighed once. Kept out of line: inlined into
// the choice of stride, its loop compiles to two more instructions an output.
template <int Stride, bool Plain>
[[gnu::noinline]] TURNLET_TARGET_AVX2 void FinishFixedAt(const std::uint32_t* sums, const Gather& gather, int from,
                                                         int width, double inverse, std::uint8_t* to) {
    const __m256d inv = _mm256_set1_pd(inverse), half = _mm256_set1_pd(0.5);
    const __m256d uniform = _mm256_set1_pd(static_cast<double>(gather.uniform));
    const __m128i pack = _mm_setr_epi8(0, 4, 8, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const double* w = gather.padded.data() + std::size_t{Stride} * static_cast<std::size_t>(from);
    const int* first = gather.first.data();
    to += std::size_t{3} * static_cast<std::size_t>(from);
    for (int g = from; g < width; ++g, to += 3, w += Stride) {
        const std::uint32_t* at = sums + std::size_t{3} * static_cast<std::size_t>(first[g]);
        __m256d d;
        if constexpr (Plain) {
            __m128i sum = Load4(at);
            for (int k = 1; k < Stride; ++k) sum = _mm_add_epi32(sum, Load4(at + 3 * k));
            d = _mm256_mul_pd(_mm256_cvtepi32_pd(sum), uniform);
        } else {
            d = _mm256_mul_pd(_mm256_cvtepi32_pd(Load4(at)), _mm256_broadcast_sd(w));
            for (int k = 1; k < Stride; ++k)
                d = _mm256_add_pd(d, _mm256_mul_pd(_mm256_cvtepi32_pd(Load4(at + 3 * k)), _mm256_broadcast_sd(w + k)));
        }
        StoreMeans(_mm256_mul_pd(_mm256_add_pd(d, half), inv), pack, g + 1 < width, to);
    }
}

template <int Stride>
TURNLET_TARGET_AVX2 void FinishStride(const std::uint32_t* sums, const Gather& gather, bool plain, int from, int width,
                                      double inverse, std::uint8_t* to) {
    if (plain) {
        FinishFixedAt<Stride, true>(sums, gather, from, width, inverse, to);
    } else {
        FinishFixedAt<Stride, false>(sums, gather, from, width, inverse, to);
    }
}

}  // namespace

// The bytes of two rows interleaved into 16-bit pairs, multiplied and added in one step.
TURNLET_TARGET_AVX2 std::size_t AddRows(std::uint32_t* sums, const std::uint8_t* const* rows,
                                        const std::uint32_t* weights, int n, std::size_t start, std::size_t count,
                                        bool assign, std::ptrdiff_t ahead) {
    __m256i w[2];
    for (int p = 0; p < 2; ++p) w[p] = _mm256_set1_epi32(PairedWeights(weights, n, p));
    const int pairs = (n + 1) / 2;
    std::size_t k = start;
    for (; k + 16 <= count; k += 16) {
        auto* at = reinterpret_cast<__m256i*>(sums + k);
        __m256i lo = assign ? _mm256_setzero_si256() : _mm256_loadu_si256(at);
        __m256i hi = assign ? _mm256_setzero_si256() : _mm256_loadu_si256(at + 1);
        if (ahead != 0 && (k & 63) == 0) {
            // Prefetches never fault, so the address may lie past the picture.
            for (int i = 0; i < n; ++i)
                _mm_prefetch(reinterpret_cast<const char*>(reinterpret_cast<std::uintptr_t>(rows[i] + k) + ahead),
                             _MM_HINT_T0);
        }
        for (int p = 0; p < pairs; ++p) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[2 * p] + k));
            const __m128i b = 2 * p + 1 < n ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[2 * p + 1] + k))
                                            : _mm_setzero_si128();
            lo = _mm256_add_epi32(lo, _mm256_madd_epi16(_mm256_cvtepu8_epi16(_mm_unpacklo_epi8(a, b)), w[p]));
            hi = _mm256_add_epi32(hi, _mm256_madd_epi16(_mm256_cvtepu8_epi16(_mm_unpackhi_epi8(a, b)), w[p]));
        }
        _mm256_storeu_si256(at, lo);
        _mm256_storeu_si256(at + 1, hi);
    }
    return k;
}

TURNLET_TARGET_AVX2 void FinishFixed(const std::uint32_t* sums, const Gather& gather, bool plain, int from, int width,
                                     double inverse, std::uint8_t* to) {
    switch (gather.stride) {
        case 1:
            return FinishStride<1>(sums, gather, plain, from, width, inverse, to);
        case 2:
            return FinishStride<2>(sums, gather, plain, from, width, inverse, to);
        case 3:
            return FinishStride<3>(sums, gather, plain, from, width, inverse, to);
        case 4:
            return FinishStride<4>(sums, gather, plain, from, width, inverse, to);
        case 5:
            return FinishStride<5>(sums, gather, plain, from, width, inverse, to);
        case 6:
            return FinishStride<6>(sums, gather, plain, from, width, inverse, to);
        case 7:
            return FinishStride<7>(sums, gather, plain, from, width, inverse, to);
        default:
            return FinishStride<kMaxPadded>(sums, gather, plain, from, width, inverse, to);
    }
}

// Three channels in one vector: each output's weighted sums in 64 bits (or doubles), then the exact
// mean. sums has one spare value past the last.
TURNLET_TARGET_AVX2 void FinishRow(const std::uint32_t* sums, bool small, const Gather& gather, int width,
                                   double inverse, bool plain, std::uint8_t* to) {
    const __m256d inv = _mm256_set1_pd(inverse), half = _mm256_set1_pd(0.5);
    // Integers below 2^52 become doubles exactly through the exponent of 2^52.
    const __m256i exponent = _mm256_set1_epi64x(0x4330000000000000);
    const __m256d twoTo52 = _mm256_set1_pd(4503599627370496.0);
    const __m128i pack = _mm_setr_epi8(0, 4, 8, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    if (plain || (small && !gather.padded.empty())) return FinishFixed(sums, gather, plain, 0, width, inverse, to);
    for (int g = 0; g < width; ++g, to += 3) {
        const std::uint32_t* from = sums + std::size_t{3} * static_cast<std::size_t>(gather.first[g]);
        __m256i sum = _mm256_setzero_si256();
        for (int k = gather.offset[g]; k < gather.offset[g + 1]; ++k, from += 3) {
            const __m256i v = _mm256_cvtepu32_epi64(_mm_loadu_si128(reinterpret_cast<const __m128i*>(from)));
            sum = _mm256_add_epi64(sum,
                                   _mm256_mul_epu32(v, _mm256_set1_epi64x(static_cast<long long>(gather.weights[k]))));
        }
        // The sums stay below 255 * total < 2^46, so they convert exactly. sum / total lies a whole
        // multiple of 1 / total above its integer part; with 0.5 added to the sum it stays at least
        // 0.5 / total (over 2^-29) from any integer, far beyond the product's rounding (below
        // 2^-44), so the truncation is the exact quotient's.
        const __m256d d = _mm256_sub_pd(_mm256_castsi256_pd(_mm256_or_si256(sum, exponent)), twoTo52);
        const __m256d q = _mm256_mul_pd(_mm256_add_pd(d, half), inv);
        StoreMeans(q, pack, g + 1 < width, to);
    }
}

}  // namespace turnlet::avx2
#endif
