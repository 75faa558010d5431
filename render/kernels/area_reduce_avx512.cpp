// SPDX-License-Identifier: MIT
// The area sums and means with AVX-512: rows paired by byte permutes (VBMI), means two and four
// outputs a step, and whole-ratio blocks added as 16-bit values.
#include <algorithm>
#include <cstring>

#include "area_reduce_kernels.h"
#include "imaging/kernels/levels.h"

#if TURNLET_X86_KERNELS
#include <immintrin.h>

namespace turnlet::avx512 {

namespace {

// A padded gather's means as avx2::FinishFixed takes them, two outputs a step, each in four lanes of
// eight; the last ones go the four-lane way. Out of line, as avx2::FinishFixed's are.
template <int Stride, bool Plain>
[[gnu::noinline]] TURNLET_TARGET_AVX512 void FinishFixedAt(const std::uint32_t* sums, const Gather& gather, int width,
                                                           double inverse, std::uint8_t* to) {
    const __m512d inv = _mm512_set1_pd(inverse), half = _mm512_set1_pd(0.5);
    const __m512d uniform = _mm512_set1_pd(static_cast<double>(gather.uniform));
    // Bytes 0, 4 and 8 of each half's means to bytes 0-2 and 3-5.
    const __m128i packLow = _mm_setr_epi8(0, 4, 8, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i packHigh = _mm_setr_epi8(-1, -1, -1, 0, 4, 8, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const int* first = gather.first.data();
    const __mmask8 all = 0xFF;  // the zero-masked forms keep GCC 12 from warning about undefined fillers
    int g = 0;
    // Eight bytes a store: the spare two land on output g + 2, written afterwards.
    for (; g + 2 < width; g += 2, to += 6) {
        const std::uint32_t* a = sums + std::size_t{3} * static_cast<std::size_t>(first[g]);
        const std::uint32_t* b = sums + std::size_t{3} * static_cast<std::size_t>(first[g + 1]);
        // Samples k of both outputs, in the two halves.
#define TURNLET_PAIR(k)                                                                                             \
    _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + 3 * (k)))), \
                            _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + 3 * (k))), 1)
        __m512d d;
        if constexpr (Plain) {
            __m256i sum = TURNLET_PAIR(0);
#pragma GCC unroll 8
            for (int k = 1; k < Stride; ++k) sum = _mm256_add_epi32(sum, TURNLET_PAIR(k));
            d = _mm512_mul_pd(_mm512_maskz_cvtepi32_pd(all, sum), uniform);
        } else {
            const double* pw = gather.paired.data() + std::size_t{8} * Stride * static_cast<std::size_t>(g / 2);
            d = _mm512_mul_pd(_mm512_maskz_cvtepi32_pd(all, TURNLET_PAIR(0)), _mm512_loadu_pd(pw));
#pragma GCC unroll 8
            for (int k = 1; k < Stride; ++k)
                d = _mm512_add_pd(
                    d, _mm512_mul_pd(_mm512_maskz_cvtepi32_pd(all, TURNLET_PAIR(k)), _mm512_loadu_pd(pw + 8 * k)));
        }
#undef TURNLET_PAIR
        const __m256i means = _mm512_maskz_cvttpd_epi32(all, _mm512_mul_pd(_mm512_add_pd(d, half), inv));
        const __m128i bytes = _mm_or_si128(_mm_shuffle_epi8(_mm256_castsi256_si128(means), packLow),
                                           _mm_shuffle_epi8(_mm256_extracti128_si256(means, 1), packHigh));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(to), bytes);
    }
    avx2::FinishFixed(sums, gather, Plain, g, width, inverse, to - std::size_t{3} * static_cast<std::size_t>(g));
}

// Output byte j of four outputs' means: the low byte of 32-bit lane j.
struct MeanBytes {
    alignas(64) std::uint8_t index[64];
};
constexpr MeanBytes kMeanBytes = [] {
    MeanBytes t{};
    for (int j = 0; j < 12; ++j) t.index[j] = static_cast<std::uint8_t>(4 * j);
    return t;
}();

// The means of four outputs whose sums lie in 32-bit lanes 3o + c (c < 3), each sum times weight
// (an exact product of integers) and taken as avx2::FinishFixed takes it; the first count outputs'
// bytes go to to. With room, sixteen bytes are stored, the spare four landing on later outputs of
// the row, written afterwards (a masked store of a narrowing conversion would be one slow instruction).
TURNLET_TARGET_AVX512 inline void StoreFourMeans(__m512i sum, __m512d weight, __m512d inverse, int count, bool room,
                                                 std::uint8_t* to) {
    const __m512d half = _mm512_set1_pd(0.5);
    const __mmask8 all = 0xFF;  // the zero-masked forms keep GCC 12 from warning about undefined fillers
    const __m512d low =
        _mm512_mul_pd(_mm512_maskz_cvtepi32_pd(all, _mm512_maskz_extracti64x4_epi64(0xF, sum, 0)), weight);
    const __m512d high =
        _mm512_mul_pd(_mm512_maskz_cvtepi32_pd(all, _mm512_maskz_extracti64x4_epi64(0xF, sum, 1)), weight);
    const __m256i meansLow = _mm512_maskz_cvttpd_epi32(all, _mm512_mul_pd(_mm512_add_pd(low, half), inverse));
    const __m256i meansHigh = _mm512_maskz_cvttpd_epi32(all, _mm512_mul_pd(_mm512_add_pd(high, half), inverse));
    const __m128i bytes = _mm512_maskz_extracti32x4_epi32(
        0xF,
        _mm512_maskz_permutexvar_epi8(~__mmask64{0}, _mm512_load_si512(kMeanBytes.index),
                                      _mm512_maskz_inserti64x4(all, _mm512_castsi256_si512(meansLow), meansHigh, 1)),
        0);
    if (room) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to), bytes);
    } else {
        alignas(16) std::uint8_t last[16];
        _mm_store_si128(reinterpret_cast<__m128i*>(last), bytes);
        std::memcpy(to, last, std::size_t{3} * static_cast<std::size_t>(count));
    }
}

// A tiled gather's plain means, four outputs (twelve values) a step: output o's value c is the sum
// of values 3 * (Stride * o + t) + c of the sums over t, picked by permutes from the values of the
// four outputs (at most 64, four vectors) and added as integers, then weighed as the others are.
template <int Stride>
TURNLET_TARGET_AVX512 void FinishTiled(const std::uint32_t* sums, const Gather& gather, int width, double inverse,
                                       std::uint8_t* to) {
    static_assert(Stride >= 1 && Stride <= 5);
    const __m512d inv = _mm512_set1_pd(inverse);
    const __m512d uniform = _mm512_set1_pd(static_cast<double>(gather.uniform));
    constexpr int kVectors = (12 * Stride + 15) / 16;
    __m512i index[Stride];
    __mmask16 far[Stride];
#pragma GCC unroll 5
    for (int t = 0; t < Stride; ++t) {
        alignas(64) std::int32_t at[16];
        far[t] = 0;
        for (int lane = 0; lane < 16; ++lane) {
            const int value = lane < 12 ? 3 * (Stride * (lane / 3) + t) + lane % 3 : 0;
            at[lane] = value % 32;
            if (value >= 32) far[t] = static_cast<__mmask16>(far[t] | 1u << lane);
        }
        index[t] = _mm512_load_si512(at);
    }
    int g = 0;
    // The loads reach at most 15 values past the four outputs' own: into the next output's.
    for (; g + 4 < width; g += 4, to += 12) {
        const std::uint32_t* from = sums + std::size_t{3} * Stride * static_cast<std::size_t>(g);
        __m512i v[4];
#pragma GCC unroll 4
        for (int i = 0; i < 4; ++i) v[i] = i < kVectors ? _mm512_loadu_si512(from + 16 * i) : _mm512_setzero_si512();
        __m512i sum = _mm512_setzero_si512();
#pragma GCC unroll 5
        for (int t = 0; t < Stride; ++t) {
            __m512i value = _mm512_permutex2var_epi32(v[0], index[t], v[1]);
            // Values 32 on come from the third and fourth vectors, at the same index.
            if (kVectors > 2)
                value = _mm512_mask_mov_epi32(value, far[t], _mm512_permutex2var_epi32(v[2], index[t], v[3]));
            sum = _mm512_add_epi32(sum, value);
        }
        StoreFourMeans(sum, uniform, inv, 4, g + 6 <= width, to);
    }
    avx2::FinishFixed(sums, gather, true, g, width, inverse, to - std::size_t{3} * static_cast<std::size_t>(g));
}

template <int Stride>
TURNLET_TARGET_AVX512 bool FinishStride(const std::uint32_t* sums, const Gather& gather, int width, double inverse,
                                        bool plain, std::uint8_t* to) {
    if constexpr (Stride <= 5) {
        if (plain && gather.tiled) {
            FinishTiled<Stride>(sums, gather, width, inverse, to);
            return true;
        }
    }
    if (plain) {
        FinishFixedAt<Stride, true>(sums, gather, width, inverse, to);
    } else {
        FinishFixedAt<Stride, false>(sums, gather, width, inverse, to);
    }
    return true;
}

// One output row of a binning, four outputs a step. The down rows' bytes are added as 16-bit
// values, even and odd bytes apart (a mask and a shift: no permute), then each output's block is
// picked out of them by one 16-bit permute per sample column. The sum, times the pixel weight, is
// the very sum the weighed path reaches (integers below 2^53 are exact in doubles), and its mean is
// taken as avx2::FinishFixed takes it. rows[i] points at the first output's first byte in row i.
template <int Across>
TURNLET_TARGET_AVX512 void BinRowAt(const std::uint8_t* const* rows, int down, int outputs, double weight,
                                    double inverse, std::ptrdiff_t ahead, std::uint8_t* to) {
    // Sample column t: 16-bit lane 3o + c takes byte 3 * (Across * o + t) + c, an even byte from the
    // even sums (index byte / 2), an odd one from the odd sums (32 + byte / 2).
    __m512i index[Across];
    for (int t = 0; t < Across; ++t) {
        alignas(64) std::uint16_t at[32] = {};
        for (int o = 0; o < 4; ++o) {
            for (int c = 0; c < 3; ++c) {
                const int byte = 3 * (Across * o + t) + c;
                at[3 * o + c] = static_cast<std::uint16_t>(byte / 2 + (byte % 2 ? 32 : 0));
            }
        }
        index[t] = _mm512_load_si512(at);
    }
    const __m512i lowBytes = _mm512_set1_epi16(0x00FF);
    const __m512d inv = _mm512_set1_pd(inverse), pixel = _mm512_set1_pd(weight);
    const std::size_t rowBytes = std::size_t{3} * Across * static_cast<std::size_t>(outputs);
    for (int group = 0; 4 * group < outputs; ++group, to += 12) {
        const int here = std::min(4, outputs - 4 * group);
        const std::size_t at = std::size_t{12} * Across * static_cast<std::size_t>(group);
        // Loads near the end of the row take only the row's bytes.
        const std::size_t remaining = rowBytes - at;
        const __mmask64 bytes = remaining >= 64 ? ~__mmask64{0} : (~__mmask64{0}) >> (64 - remaining);
        __m512i even = _mm512_setzero_si512(), odd = _mm512_setzero_si512();
        for (int i = 0; i < down; ++i) {
            const std::uint8_t* from = rows[i] + at;
            const __m512i v = remaining >= 64 ? _mm512_loadu_si512(from) : _mm512_maskz_loadu_epi8(bytes, from);
            even = _mm512_add_epi16(even, _mm512_and_si512(v, lowBytes));
            odd = _mm512_add_epi16(odd, _mm512_srli_epi16(v, 8));
            // Prefetches never fault, so the address may lie past the picture.
            if (ahead != 0)
                _mm_prefetch(reinterpret_cast<const char*>(reinterpret_cast<std::uintptr_t>(from) + ahead),
                             _MM_HINT_T0);
        }
        __m512i sum = _mm512_permutex2var_epi16(even, index[0], odd);
#pragma GCC unroll 5
        for (int t = 1; t < Across; ++t) sum = _mm512_add_epi16(sum, _mm512_permutex2var_epi16(even, index[t], odd));
        const __m512i wide = _mm512_maskz_cvtepu16_epi32(0xFFFF, _mm512_maskz_extracti64x4_epi64(0xF, sum, 0));
        StoreFourMeans(wide, pixel, inv, here, 4 * group + 6 <= outputs, to);
    }
}

}  // namespace

// Two rows' bytes spread into 32-bit lanes as a 16-bit pair (one byte permute), then multiplied by
// the pair of weights and added as 32-bit values. (VNNI's one-step multiply-add gives the same sums
// but chains each pass's additions through its longer latency: slower here, even in the cache.)
TURNLET_TARGET_AVX512 std::size_t AddRows(std::uint32_t* sums, const std::uint8_t* const* rows,
                                          const std::uint32_t* weights, int n, std::size_t count, bool assign,
                                          std::ptrdiff_t ahead) {
    __m512i w[2];
    for (int p = 0; p < 2; ++p) w[p] = _mm512_set1_epi32(PairedWeights(weights, n, p));
    // Lane j takes byte j of the first row low and byte j of the second (index + 64) high.
    alignas(64) std::uint8_t spread[64];
    for (int j = 0; j < 16; ++j) {
        spread[4 * j] = static_cast<std::uint8_t>(j);
        spread[4 * j + 1] = 0;
        spread[4 * j + 2] = static_cast<std::uint8_t>(64 + j);
        spread[4 * j + 3] = 0;
    }
    const __m512i index = _mm512_load_si512(spread);
    const __mmask64 bytes = 0x5555555555555555;  // the low byte of each 16-bit half
    const int pairs = (n + 1) / 2;
    std::size_t k = 0;
    for (; k + 16 <= count; k += 16) {
        __m512i sum = assign ? _mm512_setzero_si512() : _mm512_loadu_si512(sums + k);
        if (ahead != 0 && (k & 63) == 0) {
            for (int i = 0; i < n; ++i)
                _mm_prefetch(reinterpret_cast<const char*>(reinterpret_cast<std::uintptr_t>(rows[i] + k) + ahead),
                             _MM_HINT_T0);
        }
        for (int p = 0; p < pairs; ++p) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[2 * p] + k));
            const __m128i b = 2 * p + 1 < n ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[2 * p + 1] + k))
                                            : _mm_setzero_si128();
            const __m512i pair =
                _mm512_maskz_permutex2var_epi8(bytes, _mm512_zextsi128_si512(a), index, _mm512_zextsi128_si512(b));
            sum = _mm512_add_epi32(sum, _mm512_madd_epi16(pair, w[p]));
        }
        _mm512_storeu_si512(sums + k, sum);
    }
    return k;
}

TURNLET_TARGET_AVX512 bool FinishRow(const std::uint32_t* sums, bool small, const Gather& gather, int width,
                                     double inverse, bool plain, std::uint8_t* to) {
    if (!plain && !(small && !gather.padded.empty())) return false;
    switch (gather.stride) {
        case 1:
            return FinishStride<1>(sums, gather, width, inverse, plain, to);
        case 2:
            return FinishStride<2>(sums, gather, width, inverse, plain, to);
        case 3:
            return FinishStride<3>(sums, gather, width, inverse, plain, to);
        case 4:
            return FinishStride<4>(sums, gather, width, inverse, plain, to);
        case 5:
            return FinishStride<5>(sums, gather, width, inverse, plain, to);
        case 6:
            return FinishStride<6>(sums, gather, width, inverse, plain, to);
        case 7:
            return FinishStride<7>(sums, gather, width, inverse, plain, to);
        default:
            return FinishStride<kMaxPadded>(sums, gather, width, inverse, plain, to);
    }
}

TURNLET_TARGET_AVX512 void BinRow(int across, const std::uint8_t* const* rows, int down, int outputs, double weight,
                                  double inverse, std::ptrdiff_t ahead, std::uint8_t* to) {
    switch (across) {
        case 2:
            return BinRowAt<2>(rows, down, outputs, weight, inverse, ahead, to);
        case 3:
            return BinRowAt<3>(rows, down, outputs, weight, inverse, ahead, to);
        case 4:
            return BinRowAt<4>(rows, down, outputs, weight, inverse, ahead, to);
        default:
            return BinRowAt<5>(rows, down, outputs, weight, inverse, ahead, to);
    }
}

}  // namespace turnlet::avx512
#endif
