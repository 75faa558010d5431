// SPDX-License-Identifier: MIT
// The area averages of part of a picture, the bytes ResizePictureSmooth gives them: rows summed down
// in cache-sized strips, then each output's samples weighed and the exact mean taken.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "imaging/kernel_util.h"
#include "base/parallel.h"
#include "smooth_frame.h"

#if TURNLET_X86_KERNELS
#include <immintrin.h>
#endif

namespace turnlet {

namespace {

// The weights of outputs [begin, end) of an axis, each output's in order from its first sample.
struct Gather {
    std::vector<int> first;              // per output: its first sample, from the first output's
    std::vector<int> offset;             // per output: where its weights start; one more ends the last
    std::vector<std::uint64_t> weights;  // per sample of each output
    int samples = 0;                     // from the first output's first to the last one's last
    // The weights again as doubles, stride per output (the most any output has) with zeros after
    // its own: a loop of one length runs without mispredicted exits. Empty past kMaxPadded samples.
    std::vector<double> padded;
    int stride = 0;
    // Every output has stride samples, all of this weight (a whole shrink ratio): the sums are
    // added plain and weighed once. 0 otherwise.
    std::uint64_t uniform = 0;
    // Uniform, and each output's samples follow the one before's (first[o] == o * stride).
    bool tiled = false;
    // The padded weights of outputs 2i and 2i + 1 side by side: for each sample k, k's weight of
    // the first four times, then of the second four times (one load for a pair of outputs).
    std::vector<double> paired;
};

constexpr int kMaxPadded = 8;

Gather MakeGather(const SmoothAxis& axis, int begin, int end) {
    Gather g;
    for (int o = begin; o < end; ++o) {
        g.first.push_back(axis.begin[o] - axis.begin[begin]);
        g.offset.push_back(static_cast<int>(g.weights.size()));
        for (int j = axis.begin[o]; j < axis.end[o]; ++j)
            g.weights.push_back(axis.target[j] == o ? axis.weight[j] : axis.nextWeight[j]);
    }
    g.offset.push_back(static_cast<int>(g.weights.size()));
    g.samples = axis.end[end - 1] - axis.begin[begin];
    int longest = 0;
    for (int o = 0; o < end - begin; ++o) longest = std::max(longest, g.offset[o + 1] - g.offset[o]);
    if (longest <= kMaxPadded) {
        g.stride = longest;
        g.uniform = g.weights.empty() ? 0 : g.weights.front();
        for (int o = 0; o < end - begin; ++o)
            if (g.offset[o + 1] - g.offset[o] != longest) g.uniform = 0;
        for (const std::uint64_t w : g.weights)
            if (w != g.uniform) g.uniform = 0;
        g.tiled = g.uniform != 0;
        for (int o = 0; o < end - begin; ++o)
            if (g.first[o] != o * longest) g.tiled = false;
        g.padded.assign(static_cast<std::size_t>(end - begin) * longest, 0);
        for (int o = 0; o < end - begin; ++o)
            for (int k = g.offset[o]; k < g.offset[o + 1]; ++k)
                g.padded[o * longest + (k - g.offset[o])] = static_cast<double>(g.weights[k]);
        const int outputs = end - begin;
        g.paired.assign(static_cast<std::size_t>((outputs + 1) / 2) * longest * 8, 0);
        for (int o = 0; o < outputs; ++o)
            for (int k = 0; k < longest; ++k)
                for (int lane = 0; lane < 4; ++lane)
                    g.paired[(static_cast<std::size_t>(o / 2) * longest + k) * 8 + 4 * (o % 2) + lane] =
                        g.padded[o * longest + k];
    }
    return g;
}

// sum / total truncated, for sum <= 255 * total: the product with the reciprocal is off by at most
// one, which the integer check mends.
inline std::uint8_t MeanOf(std::uint64_t sum, std::uint64_t total, double inverse) {
    std::uint64_t q = static_cast<std::uint64_t>(static_cast<double>(sum) * inverse);
    if (q * total > sum) {
        --q;
    } else if ((q + 1) * total <= sum) {
        ++q;
    }
    return static_cast<std::uint8_t>(q);
}

#if TURNLET_X86_KERNELS
// Weights 2p and 2p + 1 of a pass's n rows as one 32-bit value, the first low: the multiplier of a
// pair of rows' bytes. A row past n weighs 0.
int PairedWeights(const std::uint32_t* weights, int n, int p) {
    const std::uint32_t a = 2 * p < n ? weights[2 * p] : 0, b = 2 * p + 1 < n ? weights[2 * p + 1] : 0;
    return static_cast<int>(a | b << 16);
}

// sums[k] (+)= the rows' bytes k weighed (weights below 2^15) from k = start, sixteen values a step: the bytes of
// two rows interleaved into 16-bit pairs, multiplied and added in one step, up to four rows per
// pass over the sums. Returns the first k left undone.
__attribute__((target("avx2"))) std::size_t AddRowsAvx2(std::uint32_t* sums, const std::uint8_t* const* rows,
                                                        const std::uint32_t* weights, int n, std::size_t start,
                                                        std::size_t count, bool assign, std::ptrdiff_t ahead) {
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

// The same with AVX-512: two rows' bytes spread into 32-bit lanes as a 16-bit pair (one byte
// permute), then multiplied by the pair of weights and added in one step (VNNI).
__attribute__((target("avx512f,avx512bw,avx512vbmi,avx512vnni"))) std::size_t AddRowsAvx512(
    std::uint32_t* sums, const std::uint8_t* const* rows, const std::uint32_t* weights, int n, std::size_t count,
    bool assign, std::ptrdiff_t ahead) {
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
            sum = _mm512_dpwssd_epi32(sum, pair, w[p]);
        }
        _mm512_storeu_si512(sums + k, sum);
    }
    return k;
}

// The three truncated means into the output: each pixel's spare fourth byte is overwritten by the
// next one (wide); the row's last takes three.
__attribute__((target("avx2"))) inline void StoreMeans(__m256d q, __m128i pack, bool wide, std::uint8_t* to) {
    const __m128i bgr = _mm_shuffle_epi8(_mm256_cvttpd_epi32(q), pack);
    if (wide) {
        _mm_storeu_si32(to, bgr);
    } else {
        _mm_storeu_si16(to, bgr);
        to[2] = static_cast<std::uint8_t>(_mm_extract_epi8(bgr, 2));
    }
}

// plain: a uniform gather's plain sums stay below 2^31.
// The padded outputs of one row, Stride samples each, unrolled, in doubles: the sums (below 2^31)
// convert exactly, and products and sums of integers below 2^52 are exact. Plain: the gather is
// uniform and the samples are added as integers, then weighed once.
template <int Stride, bool Plain>
__attribute__((target("avx2"))) void FinishFixedAvx2(const std::uint32_t* sums, const Gather& gather, int from,
                                                     int width, double inverse, std::uint8_t* to) {
    const __m256d inv = _mm256_set1_pd(inverse), half = _mm256_set1_pd(0.5);
    const __m256d uniform = _mm256_set1_pd(static_cast<double>(gather.uniform));
    const __m128i pack = _mm_setr_epi8(0, 4, 8, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const double* w = gather.padded.data() + std::size_t{Stride} * static_cast<std::size_t>(from);
    const int* first = gather.first.data();
    auto load = [](const std::uint32_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };
    to += std::size_t{3} * static_cast<std::size_t>(from);
    for (int g = from; g < width; ++g, to += 3, w += Stride) {
        const std::uint32_t* at = sums + std::size_t{3} * static_cast<std::size_t>(first[g]);
        __m256d d;
        if constexpr (Plain) {
            __m128i sum = load(at);
            for (int k = 1; k < Stride; ++k) sum = _mm_add_epi32(sum, load(at + 3 * k));
            d = _mm256_mul_pd(_mm256_cvtepi32_pd(sum), uniform);
        } else {
            d = _mm256_mul_pd(_mm256_cvtepi32_pd(load(at)), _mm256_broadcast_sd(w));
            for (int k = 1; k < Stride; ++k)
                d = _mm256_add_pd(d, _mm256_mul_pd(_mm256_cvtepi32_pd(load(at + 3 * k)), _mm256_broadcast_sd(w + k)));
        }
        StoreMeans(_mm256_mul_pd(_mm256_add_pd(d, half), inv), pack, g + 1 < width, to);
    }
}

// The same two outputs a step, each in four lanes of eight; the last ones go the four-lane way.
template <int Stride, bool Plain>
__attribute__((target("avx512f,avx512vl"))) void FinishFixedAvx512(const std::uint32_t* sums, const Gather& gather,
                                                                   int width, double inverse, std::uint8_t* to) {
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
    FinishFixedAvx2<Stride, Plain>(sums, gather, g, width, inverse, to - std::size_t{3} * static_cast<std::size_t>(g));
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
// (an exact product of integers) and taken as FinishFixedAvx2 takes it; the first count outputs'
// bytes go to to. With room, sixteen bytes are stored, the spare four landing on later outputs of
// the row, written afterwards (a masked store of a narrowing conversion would be one slow instruction).
__attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi"))) inline void StoreFourMeans(__m512i sum, __m512d weight,
                                                                                           __m512d inverse, int count,
                                                                                           bool room,
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
__attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi"))) void FinishTiledAvx512(const std::uint32_t* sums,
                                                                                       const Gather& gather, int width,
                                                                                       double inverse,
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
    FinishFixedAvx2<Stride, true>(sums, gather, g, width, inverse, to - std::size_t{3} * static_cast<std::size_t>(g));
}

template <int Stride, bool Plain>
void FinishFixedAt(bool wide, const std::uint32_t* sums, const Gather& gather, int width, double inverse,
                   std::uint8_t* to) {
    if constexpr (Plain && Stride <= 5) {
        if (wide && gather.tiled) return FinishTiledAvx512<Stride>(sums, gather, width, inverse, to);
    }
    if (wide) return FinishFixedAvx512<Stride, Plain>(sums, gather, width, inverse, to);
    FinishFixedAvx2<Stride, Plain>(sums, gather, 0, width, inverse, to);
}

template <bool Plain>
void FinishFixed(bool wide, const std::uint32_t* sums, const Gather& gather, int width, double inverse,
                 std::uint8_t* to) {
    switch (gather.stride) {
        case 1:
            return FinishFixedAt<1, Plain>(wide, sums, gather, width, inverse, to);
        case 2:
            return FinishFixedAt<2, Plain>(wide, sums, gather, width, inverse, to);
        case 3:
            return FinishFixedAt<3, Plain>(wide, sums, gather, width, inverse, to);
        case 4:
            return FinishFixedAt<4, Plain>(wide, sums, gather, width, inverse, to);
        case 5:
            return FinishFixedAt<5, Plain>(wide, sums, gather, width, inverse, to);
        case 6:
            return FinishFixedAt<6, Plain>(wide, sums, gather, width, inverse, to);
        case 7:
            return FinishFixedAt<7, Plain>(wide, sums, gather, width, inverse, to);
        default:
            return FinishFixedAt<kMaxPadded, Plain>(wide, sums, gather, width, inverse, to);
    }
}

// The averages of one reduced row, three channels in one vector: each output's weighted sums in
// 64 bits (or doubles), then the exact mean. sums has one spare value past the last.
// small: every sum is below 2^31.
__attribute__((target("avx2"))) void FinishRowAvx2(const std::uint32_t* sums, bool small, const Gather& gather,
                                                   int width, double inverse, bool plain, bool wide, std::uint8_t* to) {
    const __m256d inv = _mm256_set1_pd(inverse), half = _mm256_set1_pd(0.5);
    // Integers below 2^52 become doubles exactly through the exponent of 2^52.
    const __m256i exponent = _mm256_set1_epi64x(0x4330000000000000);
    const __m256d twoTo52 = _mm256_set1_pd(4503599627370496.0);
    const __m128i pack = _mm_setr_epi8(0, 4, 8, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    if (plain) return FinishFixed<true>(wide, sums, gather, width, inverse, to);
    if (small && !gather.padded.empty()) return FinishFixed<false>(wide, sums, gather, width, inverse, to);
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
#endif

// sums[k] (+)= the n rows' bytes k weighed, for k < count.
// ahead: bytes from each row to the one the next output will read in its place, to ask for early
// (0: none).
void AddRows(std::uint32_t* sums, const std::uint8_t* const* rows, const std::uint32_t* weights, int n,
             std::size_t count, bool assign, KernelLevel pairs, std::ptrdiff_t ahead) {
    std::size_t k = 0;
#if TURNLET_X86_KERNELS
    if (pairs == KernelLevel::Avx512Vbmi) k = AddRowsAvx512(sums, rows, weights, n, count, assign, ahead);
    if (pairs >= KernelLevel::Avx2) k = AddRowsAvx2(sums, rows, weights, n, k, count, assign, ahead);
#endif
    for (; k < count; ++k) {
        std::uint32_t sum = assign ? 0 : sums[k];
        for (int r = 0; r < n; ++r) sum += weights[r] * rows[r][k];
        sums[k] = sum;
    }
}

void FinishRow(const std::uint32_t* sums, bool small, const Gather& gather, int width, std::uint64_t total,
               double inverse, KernelLevel level, bool plain, std::uint8_t* to) {
#if TURNLET_X86_KERNELS
    if (level >= KernelLevel::Avx2) {
        FinishRowAvx2(sums, small, gather, width, inverse, plain, level == KernelLevel::Avx512Vbmi, to);
        return;
    }
#endif
    for (int g = 0; g < width; ++g, to += 3) {
        const std::uint32_t* from = sums + std::size_t{3} * static_cast<std::size_t>(gather.first[g]);
        std::uint64_t b = 0, gr = 0, r = 0;
        for (int k = gather.offset[g]; k < gather.offset[g + 1]; ++k, from += 3) {
            const std::uint64_t w = gather.weights[k];
            b += w * from[0];
            gr += w * from[1];
            r += w * from[2];
        }
        to[0] = MeanOf(b, total, inverse);
        to[1] = MeanOf(gr, total, inverse);
        to[2] = MeanOf(r, total, inverse);
    }
}

#if TURNLET_X86_KERNELS
// Whole ratios both ways with every sample of one weight (binning): each output's mean is that of a
// plain block of across x down pixels. The found block, or across 0 when the outputs are not so.
struct Binning {
    int across = 0;
    int down = 0;
    std::uint64_t weight = 0;  // of one pixel: the two directions' weights multiplied
};

// Samples per output of an axis whose outputs [begin, begin + count) each take the same number of
// samples, all of one weight and none shared; 0 otherwise.
int WholeStride(const SmoothAxis& axis, int begin, int count, std::uint32_t& weight) {
    if (!axis.shrinks || count <= 0) return 0;
    const int stride = axis.end[begin] - axis.begin[begin];
    weight = axis.weight[axis.begin[begin]];
    for (int o = begin; o < begin + count; ++o) {
        if (axis.end[o] - axis.begin[o] != stride) return 0;
        for (int j = axis.begin[o]; j < axis.end[o]; ++j)
            if (axis.target[j] != o || axis.weight[j] != weight || axis.nextWeight[j] != 0) return 0;
    }
    return stride;
}

// Blocks of up to 5 x 8 pixels: four outputs' bytes fit one 64-byte load, and a block's sum of bytes
// fits 16 bits.
constexpr int kMaxBinAcross = 5;
constexpr int kMaxBinDown = 8;

Binning FindBinning(const SmoothAxis& ax, const SmoothAxis& ay, const PixelRect& outputs) {
    std::uint32_t wx = 0, wy = 0;
    const int across = WholeStride(ax, outputs.left, outputs.width, wx);
    const int down = WholeStride(ay, outputs.top, outputs.height, wy);
    if (across < 2 || across > kMaxBinAcross || down < 2 || down > kMaxBinDown) return {};
    return {across, down, std::uint64_t{wx} * wy};
}

// One output row of a binning, four outputs a step. The down rows' bytes are added as 16-bit
// values, even and odd bytes apart (a mask and a shift: no permute), then each output's block is
// picked out of them by one 16-bit permute per sample column. The sum, times the pixel weight, is
// the very sum the weighed path reaches (integers below 2^53 are exact in doubles), and its mean is
// taken as FinishFixedAvx2 takes it. rows[i] points at the first output's first byte in row i.
template <int Across>
__attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi"))) void BinRowAvx512(const std::uint8_t* const* rows,
                                                                                  int down, int outputs, double weight,
                                                                                  double inverse, std::ptrdiff_t ahead,
                                                                                  std::uint8_t* to) {
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

void BinRow(int across, const std::uint8_t* const* rows, int down, int outputs, double weight, double inverse,
            std::ptrdiff_t ahead, std::uint8_t* to) {
    switch (across) {
        case 2:
            return BinRowAvx512<2>(rows, down, outputs, weight, inverse, ahead, to);
        case 3:
            return BinRowAvx512<3>(rows, down, outputs, weight, inverse, ahead, to);
        case 4:
            return BinRowAvx512<4>(rows, down, outputs, weight, inverse, ahead, to);
        default:
            return BinRowAvx512<5>(rows, down, outputs, weight, inverse, ahead, to);
    }
}
#endif

}  // namespace

PixelRect SourceOfReduced(const PixelRect& reduced, const SmoothAxis& ax, const SmoothAxis& ay) {
    if (reduced.empty()) return {};
    const int left = ax.source[ax.begin[reduced.left]];
    const int right = ax.source[ax.end[reduced.left + reduced.width - 1] - 1];
    const int top = ay.source[ay.begin[reduced.top]];
    const int bottom = ay.source[ay.end[reduced.top + reduced.height - 1] - 1];
    return {left, top, right - left + 1, bottom - top + 1};
}

void ReduceArea(const Picture& pixels, const PictureArea& where, const SmoothAxis& ax, const SmoothAxis& ay,
                const PixelRect& outputs, Picture& out) {
    out.allocate(outputs.width, outputs.height);
    if (out.empty()) return;
    const int first = ax.begin[outputs.left];
    const std::uint64_t total = ax.total * ay.total;
    const double inverse = 1.0 / static_cast<double>(total);
    const std::uint8_t* origin =
        pixels.data() + std::size_t{3} * static_cast<std::size_t>(ax.source[first] - where.area.left);
    constexpr KernelLevel kPaths[] = {KernelLevel::Portable, KernelLevel::Avx2, KernelLevel::Avx512Vbmi};
    const KernelLevel level = detail::ChooseKernelLevel(Kernel::SmoothFrame, kPaths);
#if TURNLET_X86_KERNELS
    if (level == KernelLevel::Avx512Vbmi) {
        if (const Binning bin = FindBinning(ax, ay, outputs); bin.across != 0) {
            const auto stride = static_cast<std::ptrdiff_t>(pixels.stride());
            ParallelRows(outputs.height, 3LL * bin.across * bin.down * outputs.width, [&](int rowBegin, int rowEnd) {
                for (int r = rowBegin; r < rowEnd; ++r) {
                    const int y = outputs.top + r;
                    const std::uint8_t* rows[kMaxBinDown];
                    for (int i = 0; i < bin.down; ++i)
                        rows[i] = origin + (ay.source[ay.begin[y] + i] - where.area.top) * stride;
                    // The next output row's rows lie its block below.
                    const std::ptrdiff_t ahead = r + 1 < outputs.height ? bin.down * stride : 0;
                    BinRow(bin.across, rows, bin.down, outputs.width, static_cast<double>(bin.weight), inverse, ahead,
                           out.row(r));
                }
            });
            return;
        }
    }
#endif
    // Rows go in strips of outputs whose sums stay in the first-level cache; a sample shared by
    // two neighbouring outputs is summed in both their strips.
    constexpr int kStripSamples = 1024;
    std::vector<int> stripStart;
    std::vector<Gather> strips;
    for (int o = outputs.left; o < outputs.left + outputs.width;) {
        int end = o + 1;
        while (end < outputs.left + outputs.width && ax.end[end] - ax.begin[o] <= kStripSamples) ++end;
        stripStart.push_back(o - outputs.left);
        strips.push_back(MakeGather(ax, o, end));
        o = end;
    }
    // A row's weight is at most the reduced side, which the 16-bit pairs must hold.
    const KernelLevel pairs = !ay.shrinks || ay.begin.size() < 0x8000 ? level : KernelLevel::Portable;
    // A sum down a column is at most 255 times the column weights' total.
    const bool small = 255.0 * static_cast<double>(ay.total) < 0x1p31;
    const long long perRow =
        3LL * (ax.end[outputs.left + outputs.width - 1] - first) * (ay.end[outputs.top] - ay.begin[outputs.top]);
    ParallelRows(outputs.height, perRow, [&](int rowBegin, int rowEnd) {
        // Spare values: the vector finish reads four where it needs three, and padded outputs read
        // past their samples with weight 0.
        constexpr std::size_t kSpare = 3 * kMaxPadded + 1;
        std::vector<std::uint32_t> sums(std::size_t{3} * kStripSamples + kSpare);
        for (int r = rowBegin; r < rowEnd; ++r) {
            const int y = outputs.top + r;
            // The next output row's rows lie this far below this one's.
            const std::ptrdiff_t ahead =
                r + 1 < outputs.height
                    ? static_cast<std::ptrdiff_t>(ay.source[ay.begin[y + 1]] - ay.source[ay.begin[y]]) *
                          static_cast<std::ptrdiff_t>(pixels.stride())
                    : 0;
            for (std::size_t strip = 0; strip < strips.size(); ++strip) {
                const Gather& gather = strips[strip];
                const int o = outputs.left + stripStart[strip];
                const std::size_t values = std::size_t{3} * static_cast<std::size_t>(gather.samples);
                const std::size_t from = std::size_t{3} * static_cast<std::size_t>(ax.begin[o] - first);
                if (sums.size() < values + kSpare) sums.resize(values + kSpare);
                // Up to four rows a pass over the sums.
                for (int s = ay.begin[y]; s < ay.end[y]; s += 4) {
                    const std::uint8_t* rows[4];
                    std::uint32_t weights[4];
                    const int n = std::min(4, ay.end[y] - s);
                    for (int i = 0; i < n; ++i) {
                        rows[i] = origin +
                                  static_cast<std::size_t>(ay.source[s + i] - where.area.top) * pixels.stride() + from;
                        weights[i] = ay.target[s + i] == y ? ay.weight[s + i] : ay.nextWeight[s + i];
                    }
                    AddRows(sums.data(), rows, weights, n, values, s == ay.begin[y], pairs, ahead);
                }
                const int width = static_cast<int>(gather.first.size());
                const bool plain =
                    gather.uniform != 0 && 255.0 * static_cast<double>(ay.total) * gather.stride < 0x1p31;
                FinishRow(sums.data(), small, gather, width, total, inverse, level, plain,
                          out.pixel(stripStart[strip], r));
            }
        }
    });
}

}  // namespace turnlet
