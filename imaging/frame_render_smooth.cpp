// SPDX-License-Identifier: MIT
// The fused smooth frame: crop pixels taken line by line through the transform and averaged.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "kernel_util.h"
#include "parallel.h"
#include "resize.h"
#include "turned_view.h"

#if TURNLET_X86_KERNELS
#include <immintrin.h>
#endif

namespace turnlet {

namespace {

using Terms = TransformMapping::Terms;

// The terms of one direction's samples, apart for vector loads.
struct AxisTerms {
    std::vector<double> cos;
    std::vector<double> sin;
};

// Each output of one direction with its samples (consecutive) and their weights, for outputs
// [begin, end) of the axis.
struct Gather {
    std::vector<int> first;              // per output: its first sample
    std::vector<int> offset;             // per output: where its weights start; one more entry ends the last
    std::vector<std::uint32_t> weights;  // per sample of each output, in order
};

Gather MakeGather(const SmoothAxis& axis, int begin, int end) {
    Gather g;
    for (int o = begin; o < end; ++o) {
        g.first.push_back(axis.begin[o]);
        g.offset.push_back(static_cast<int>(g.weights.size()));
        for (int j = axis.begin[o]; j < axis.end[o]; ++j)
            g.weights.push_back(axis.target[j] == o ? axis.weight[j] : axis.nextWeight[j]);
    }
    g.offset.push_back(static_cast<int>(g.weights.size()));
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

// Samples one line of crop pixels (a crop row, or a crop column) into 3 bytes each: the line's own
// terms are fixed, the positions' terms vary.
struct LineSampler {
    const TurnedView& view;
    const TransformMapping& mapping;
    const std::uint8_t* background;
    bool lineIsRow;
    KernelLevel level;
    // Bytes from a sample to the one a few lines further on at the same position: a line crosses
    // many decoded rows in short stretches, which the processor does not fetch ahead by itself.
    std::int64_t prefetchShift = 0;
    // Whether the samples of a line move to higher addresses within a decoded row.
    bool forward = true;

    void sampleOne(Terms fixed, Terms varying, std::uint8_t* out) const {
        const std::uint8_t* px =
            lineIsRow ? view.Sample(mapping, varying, fixed) : view.Sample(mapping, fixed, varying);
        std::memcpy(out, px ? px : background, 3);
    }

    // out needs room for 16 bytes past the last sample's three.
    void operator()(Terms fixed, const double* cosines, const double* sines, int n, std::uint8_t* out) const {
        int i = 0;
#if TURNLET_X86_KERNELS
        if (view.valid && level >= KernelLevel::Avx512Vbmi) i = sampleVbmi(fixed, cosines, sines, n, out);
        if (view.valid && level >= KernelLevel::Avx2)
            i += sampleAvx2(fixed, cosines + i, sines + i, n - i, out + std::size_t{3} * i);
#endif
        for (; i < n; ++i) sampleOne(fixed, {cosines[i], sines[i]}, out + std::size_t{3} * i);
    }

#if TURNLET_X86_KERNELS
    // Four samples a step, with the operations of TransformMapping::SourceX and SourceY in their
    // order; a step with a lane outside the source, or one whose 4-byte load could pass the end of
    // the pixels, is taken lane by lane. Returns the first position left undone.
    __attribute__((target("avx2"))) int sampleAvx2(Terms fixed, const double* cosines, const double* sines, int n,
                                                   std::uint8_t* out) const {
        if (view.bytes < 4) return 0;
        const __m256d k = _mm256_set1_pd(mapping.zoom()), left = _mm256_set1_pd(mapping.left());
        const __m256d top = _mm256_set1_pd(mapping.top()), cx = _mm256_set1_pd(mapping.centreX());
        const __m256d cy = _mm256_set1_pd(mapping.centreY()), fixedCos = _mm256_set1_pd(fixed.cos);
        const __m256d fixedSin = _mm256_set1_pd(fixed.sin), minusOne = _mm256_set1_pd(-1.0);
        const __m256d limitX = _mm256_set1_pd(view.limitX), limitY = _mm256_set1_pd(view.limitY);
        // Offsets are taken modulo 2^32: an inside pixel's lies below 2^31, so the wrapped sum is it.
        auto wrapped = [](std::int64_t v) { return static_cast<int>(static_cast<std::uint32_t>(v)); };
        const __m128i base = _mm_set1_epi32(wrapped(view.base)), stepX = _mm_set1_epi32(wrapped(view.stepX));
        const __m128i stepY = _mm_set1_epi32(wrapped(view.stepY));
        const __m128i lastLoad = _mm_set1_epi32(static_cast<int>(view.bytes - 4));
        int i = 0;
        for (; i + 4 <= n; i += 4) {
            const __m256d c = _mm256_loadu_pd(cosines + i), s = _mm256_loadu_pd(sines + i);
            // SourceX = (column.cos - row.sin) * k + left + cx; SourceY = (column.sin + row.cos) * k + top + cy.
            __m256d fx = lineIsRow ? _mm256_sub_pd(c, fixedSin) : _mm256_sub_pd(fixedCos, s);
            __m256d fy = lineIsRow ? _mm256_add_pd(s, fixedCos) : _mm256_add_pd(fixedSin, c);
            fx = _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(fx, k), left), cx);
            fy = _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(fy, k), top), cy);
            const __m256d inside = _mm256_and_pd(
                _mm256_and_pd(_mm256_cmp_pd(fx, minusOne, _CMP_GT_OQ), _mm256_cmp_pd(fx, limitX, _CMP_LT_OQ)),
                _mm256_and_pd(_mm256_cmp_pd(fy, minusOne, _CMP_GT_OQ), _mm256_cmp_pd(fy, limitY, _CMP_LT_OQ)));
            std::uint8_t* to = out + std::size_t{3} * i;
            if (_mm256_movemask_pd(inside) != 0xF) {
                for (int lane = 0; lane < 4; ++lane)
                    sampleOne(fixed, {cosines[i + lane], sines[i + lane]}, to + 3 * lane);
                continue;
            }
            const __m128i offset = _mm_add_epi32(base, _mm_add_epi32(_mm_mullo_epi32(_mm256_cvttpd_epi32(fx), stepX),
                                                                     _mm_mullo_epi32(_mm256_cvttpd_epi32(fy), stepY)));
            if (_mm_movemask_epi8(_mm_cmpgt_epi32(offset, lastLoad)) != 0) {
                for (int lane = 0; lane < 4; ++lane)
                    sampleOne(fixed, {cosines[i + lane], sines[i + lane]}, to + 3 * lane);
                continue;
            }
            // Four 4-byte moves: each spare byte is overwritten by the next pixel, the last one's lands
            // in the room past the line. (A gather instruction is far slower on some processors.)
            alignas(16) std::int32_t at[4];
            _mm_store_si128(reinterpret_cast<__m128i*>(at), offset);
            std::memcpy(to, view.origin + at[0], 4);
            std::memcpy(to + 3, view.origin + at[1], 4);
            std::memcpy(to + 6, view.origin + at[2], 4);
            std::memcpy(to + 9, view.origin + at[3], 4);
            const std::int64_t ahead = at[0] + prefetchShift;
            if (ahead >= 0 && ahead < static_cast<std::int64_t>(view.bytes))
                _mm_prefetch(reinterpret_cast<const char*>(view.origin + ahead), _MM_HINT_T0);
        }
        return i;
    }

    // Sixteen samples a step. Along a line the samples walk a decoded row, mostly by one pixel or
    // none, and now and then step to the next row: the step's pixels then lie in the 64 bytes from
    // its first sample's and the 64 bytes up to its last one's (mirrored where the line runs
    // backwards through memory), and byte permutes take all 48 bytes from those two windows. Other
    // steps go lane by lane. Returns the first position left undone.
    __attribute__((target("avx512f,avx512bw,avx512vbmi"))) int sampleVbmi(Terms fixed, const double* cosines,
                                                                          const double* sines, int n,
                                                                          std::uint8_t* out) const {
        const __m512d k = _mm512_set1_pd(mapping.zoom()), left = _mm512_set1_pd(mapping.left());
        const __m512d top = _mm512_set1_pd(mapping.top()), cx = _mm512_set1_pd(mapping.centreX());
        const __m512d cy = _mm512_set1_pd(mapping.centreY()), fixedCos = _mm512_set1_pd(fixed.cos);
        const __m512d fixedSin = _mm512_set1_pd(fixed.sin), minusOne = _mm512_set1_pd(-1.0);
        const __m512d limitX = _mm512_set1_pd(view.limitX), limitY = _mm512_set1_pd(view.limitY);
        auto wrapped = [](std::int64_t v) { return static_cast<int>(static_cast<std::uint32_t>(v)); };
        const __m512i base = _mm512_set1_epi32(wrapped(view.base)), stepX = _mm512_set1_epi32(wrapped(view.stepX));
        const __m512i stepY = _mm512_set1_epi32(wrapped(view.stepY));
        const __m512i reach = _mm512_set1_epi32(61);  // a pixel's first byte at most 61 into its window
        const std::int64_t bytes = static_cast<std::int64_t>(view.bytes);
        alignas(64) std::uint8_t laneOf[64], byteOf[64];
        for (int j = 0; j < 64; ++j) {
            laneOf[j] = static_cast<std::uint8_t>(j < 48 ? j / 3 : 0);
            byteOf[j] = static_cast<std::uint8_t>(j < 48 ? j % 3 : 0);
        }
        const __m512i lanes = _mm512_load_si512(laneOf), within = _mm512_load_si512(byteOf);
        const __mmask16 all16 = 0xFFFF;
        // The masked forms with every lane on: the unmasked ones start from an undefined register,
        // which the compiler warns of.
        const __mmask8 all8 = 0xFF;
        int i = 0;
        for (; i + 16 <= n; i += 16) {
            std::uint8_t* to = out + std::size_t{3} * i;
            __m256i columns[2], rows[2];
            __mmask8 inside = 0xFF;
            for (int h = 0; h < 2; ++h) {
                const __m512d c = _mm512_loadu_pd(cosines + i + 8 * h), s = _mm512_loadu_pd(sines + i + 8 * h);
                __m512d fx = lineIsRow ? _mm512_sub_pd(c, fixedSin) : _mm512_sub_pd(fixedCos, s);
                __m512d fy = lineIsRow ? _mm512_add_pd(s, fixedCos) : _mm512_add_pd(fixedSin, c);
                fx = _mm512_add_pd(_mm512_add_pd(_mm512_mul_pd(fx, k), left), cx);
                fy = _mm512_add_pd(_mm512_add_pd(_mm512_mul_pd(fy, k), top), cy);
                inside &= _mm512_cmp_pd_mask(fx, minusOne, _CMP_GT_OQ) & _mm512_cmp_pd_mask(fx, limitX, _CMP_LT_OQ) &
                          _mm512_cmp_pd_mask(fy, minusOne, _CMP_GT_OQ) & _mm512_cmp_pd_mask(fy, limitY, _CMP_LT_OQ);
                columns[h] = _mm512_maskz_cvttpd_epi32(all8, fx);
                rows[h] = _mm512_maskz_cvttpd_epi32(all8, fy);
            }
            if (inside != 0xFF) {
                for (int lane = 0; lane < 16; ++lane)
                    sampleOne(fixed, {cosines[i + lane], sines[i + lane]}, to + 3 * lane);
                continue;
            }
            const __m512i sx = _mm512_maskz_inserti64x4(all8, _mm512_castsi256_si512(columns[0]), columns[1], 1);
            const __m512i sy = _mm512_maskz_inserti64x4(all8, _mm512_castsi256_si512(rows[0]), rows[1], 1);
            const __m512i offset =
                _mm512_add_epi32(base, _mm512_add_epi32(_mm512_mullo_epi32(sx, stepX), _mm512_mullo_epi32(sy, stepY)));
            const std::int64_t first = _mm_cvtsi128_si32(_mm512_maskz_extracti32x4_epi32(0xF, offset, 0));
            const std::int64_t last = _mm_extract_epi32(_mm512_maskz_extracti32x4_epi32(0xF, offset, 3), 3);
            const std::int64_t windowA = forward ? first : first - 61;
            const std::int64_t windowB = forward ? last - 61 : last;
            const __m512i relA = _mm512_sub_epi32(offset, _mm512_set1_epi32(static_cast<int>(windowA)));
            const __m512i relB = _mm512_sub_epi32(offset, _mm512_set1_epi32(static_cast<int>(windowB)));
            const __mmask16 inA = _mm512_cmp_epu32_mask(relA, reach, _MM_CMPINT_LE);
            const __mmask16 inB = _mm512_cmp_epu32_mask(relB, reach, _MM_CMPINT_LE);
            if ((inA | inB) != all16 || windowA < 0 || windowB < 0 || windowA + 64 > bytes || windowB + 64 > bytes) {
                // More than two windows (a tilted line crossing decoded rows twice): every lane is
                // inside, so its offset is its pixel's (below 2^31, as the wrapped sum gives it).
                alignas(64) std::int32_t at[16];
                _mm512_store_si512(at, offset);
                for (int lane = 0; lane < 16; ++lane) std::memcpy(to + 3 * lane, view.origin + at[lane], 3);
                continue;
            }
            // Index bit 6 takes window B.
            const __m512i rel = _mm512_mask_blend_epi32(inA, _mm512_add_epi32(relB, _mm512_set1_epi32(64)), relA);
            const __m512i index = _mm512_add_epi8(
                _mm512_maskz_permutexvar_epi8(~__mmask64(0), lanes,
                                              _mm512_zextsi128_si512(_mm512_maskz_cvtepi32_epi8(all16, rel))),
                within);
            const __m512i pixels = _mm512_permutex2var_epi8(_mm512_loadu_si512(view.origin + windowA), index,
                                                            _mm512_loadu_si512(view.origin + windowB));
            _mm512_storeu_si512(to, pixels);
            const std::int64_t ahead = first + prefetchShift;
            if (ahead >= 0 && ahead < bytes)
                _mm_prefetch(reinterpret_cast<const char*>(view.origin + ahead), _MM_HINT_T0);
        }
        return i;
    }
#endif
};

#if TURNLET_X86_KERNELS
// sums[k] += weight * bytes[k], eight at a time; returns the first k left undone.
__attribute__((target("avx2"))) std::size_t AddWeightedAvx2(std::uint32_t* sums, const std::uint8_t* bytes,
                                                            std::size_t count, std::uint32_t weight) {
    const __m256i w = _mm256_set1_epi32(static_cast<int>(weight));
    std::size_t k = 0;
    for (; k + 8 <= count; k += 8) {
        const __m256i v = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(bytes + k)));
        auto* to = reinterpret_cast<__m256i*>(sums + k);
        _mm256_storeu_si256(to, _mm256_add_epi32(_mm256_loadu_si256(to), _mm256_mullo_epi32(v, w)));
    }
    return k;
}
#endif

// sums[k] += weight * bytes[k] for k < count.
void AddWeighted(std::uint32_t* sums, const std::uint8_t* bytes, std::size_t count, std::uint32_t weight, bool vector) {
    std::size_t k = 0;
#if TURNLET_X86_KERNELS
    if (vector) k = AddWeightedAvx2(sums, bytes, count, weight);
#endif
    for (; k < count; ++k) sums[k] += weight * bytes[k];
}

// The frame as lines of crop pixels, each sampled once and added, weighed by its own direction,
// into the running sums of the one or two outputs it reaches in that direction; an output whose
// lines are all in is then averaged along the lines' positions, weighed by the other direction.
// A line's weighted sums per position stay below 255 times the lines' total weight, which is at
// most the crop's side (kMaxSmoothCropSide), so they fit 32 bits.
struct LinePlan {
    const SmoothAxis* lines;       // the direction the lines follow one another in
    const AxisTerms* lineTerms;    // per line sample
    int lineOutBegin, lineOutEnd;  // outputs of that direction to make
    const SmoothAxis* positions;   // the direction along a line
    const AxisTerms* positionTerms;
    int positionOutBegin, positionOutEnd;
    bool lineIsRow;  // lines are crop rows (positions crop columns), else crop columns
};

#if TURNLET_X86_KERNELS
// The averages along the positions for line output o, three channels in one vector: the sums of
// each output's samples, weighed, in 64 bits; then the exact mean. Returns the first position
// output left undone (none).
__attribute__((target("avx2"))) int FinishAvx2(const std::uint32_t* sums, int pBegin, const Gather& gather,
                                               const LinePlan& plan, int o, std::uint64_t total, double inverse,
                                               Picture& output) {
    const __m256d inv = _mm256_set1_pd(inverse), whole = _mm256_set1_pd(static_cast<double>(total));
    const __m256d one = _mm256_set1_pd(1.0);
    // Integers below 2^52 become doubles exactly through the exponent of 2^52.
    const __m256i exponent = _mm256_set1_epi64x(0x4330000000000000);
    const __m256d twoTo52 = _mm256_set1_pd(4503599627370496.0);
    const __m128i pack = _mm_setr_epi8(0, 4, 8, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    // Along an output row the pixels follow one another, so each takes a 4-byte store whose spare
    // byte the next one overwrites; down a column, and for a row's last pixel, 2 bytes and 1.
    std::uint8_t* to = plan.lineIsRow ? output.pixel(plan.positionOutBegin, o) : output.pixel(o, plan.positionOutBegin);
    const std::size_t step = plan.lineIsRow ? 3 : output.stride();
    const int lastWide = plan.lineIsRow ? plan.positionOutEnd - 1 : plan.positionOutBegin;
    for (int po = plan.positionOutBegin; po < plan.positionOutEnd; ++po, to += step) {
        const int g = po - plan.positionOutBegin;
        const std::uint32_t* from = sums + std::size_t{3} * static_cast<std::size_t>(gather.first[g] - pBegin);
        __m256i sum = _mm256_setzero_si256();
        for (int k = gather.offset[g]; k < gather.offset[g + 1]; ++k, from += 3) {
            const __m256i v = _mm256_cvtepu32_epi64(_mm_loadu_si128(reinterpret_cast<const __m128i*>(from)));
            sum = _mm256_add_epi64(sum, _mm256_mul_epu32(v, _mm256_set1_epi64x(gather.weights[k])));
        }
        // The sums stay below 255 * total <= 2^36, so every product and sum below is exact.
        const __m256d d = _mm256_sub_pd(_mm256_castsi256_pd(_mm256_or_si256(sum, exponent)), twoTo52);
        __m256d q = _mm256_round_pd(_mm256_mul_pd(d, inv), _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
        const __m256d product = _mm256_mul_pd(q, whole);
        q = _mm256_sub_pd(q, _mm256_and_pd(_mm256_cmp_pd(product, d, _CMP_GT_OQ), one));
        q = _mm256_add_pd(q, _mm256_and_pd(_mm256_cmp_pd(_mm256_add_pd(product, whole), d, _CMP_LE_OQ), one));
        const __m128i bgr = _mm_shuffle_epi8(_mm256_cvttpd_epi32(q), pack);
        if (po < lastWide) {
            _mm_storeu_si32(to, bgr);
        } else {
            _mm_storeu_si16(to, bgr);
            to[2] = static_cast<std::uint8_t>(_mm_extract_epi8(bgr, 2));
        }
    }
    return plan.positionOutEnd;
}
#endif

void RenderLines(const LinePlan& plan, const LineSampler& sample, bool vector, std::uint64_t total, double inverse,
                 Picture& output) {
    const SmoothAxis& lines = *plan.lines;
    const SmoothAxis& positions = *plan.positions;
    const int pBegin = positions.begin[plan.positionOutBegin];
    const int pEnd = positions.end[plan.positionOutEnd - 1];
    const int count = pEnd - pBegin;
    const std::size_t values = std::size_t{3} * static_cast<std::size_t>(count);
    const Gather gather = MakeGather(positions, plan.positionOutBegin, plan.positionOutEnd);
    std::vector<std::uint8_t> samples(values + 16);
    // Running sums of two consecutive outputs of the lines' direction: output o uses slot o % 2.
    // One spare value, as the vector finish reads four where it needs three.
    std::vector<std::uint32_t> sums[2] = {std::vector<std::uint32_t>(values + 1, 0),
                                          std::vector<std::uint32_t>(values + 1, 0)};
    const double* cosines = plan.positionTerms->cos.data() + pBegin;
    const double* sines = plan.positionTerms->sin.data() + pBegin;

    auto finish = [&](int o) {
        std::vector<std::uint32_t>& done = sums[o & 1];
        int po = plan.positionOutBegin;
#if TURNLET_X86_KERNELS
        if (vector) po = FinishAvx2(done.data(), pBegin, gather, plan, o, total, inverse, output);
#endif
        for (; po < plan.positionOutEnd; ++po) {
            const int g = po - plan.positionOutBegin;
            const std::uint32_t* from =
                done.data() + std::size_t{3} * static_cast<std::size_t>(gather.first[g] - pBegin);
            std::uint64_t b = 0, gr = 0, r = 0;
            for (int k = gather.offset[g]; k < gather.offset[g + 1]; ++k, from += 3) {
                const std::uint64_t w = gather.weights[k];
                b += w * from[0];
                gr += w * from[1];
                r += w * from[2];
            }
            std::uint8_t* to = plan.lineIsRow ? output.pixel(po, o) : output.pixel(o, po);
            to[0] = MeanOf(b, total, inverse);
            to[1] = MeanOf(gr, total, inverse);
            to[2] = MeanOf(r, total, inverse);
        }
        std::fill(done.begin(), done.end(), 0);
    };

    int next = plan.lineOutBegin;  // the first output not yet finished
    for (int l = lines.begin[plan.lineOutBegin]; l < lines.end[plan.lineOutEnd - 1]; ++l) {
        const int t = lines.target[l];
        // Targets never decrease and a line reaches its target and the output after it, so every
        // output before t has all its lines.
        while (next < t) finish(next++);
        sample({plan.lineTerms->cos[l], plan.lineTerms->sin[l]}, cosines, sines, count, samples.data());
        if (t >= plan.lineOutBegin) AddWeighted(sums[t & 1].data(), samples.data(), values, lines.weight[l], vector);
        if (lines.nextWeight[l] != 0 && t + 1 < plan.lineOutEnd)
            AddWeighted(sums[(t + 1) & 1].data(), samples.data(), values, lines.nextWeight[l], vector);
    }
    while (next < plan.lineOutEnd) finish(next++);
}

AxisTerms TermsOf(const SmoothAxis& axis, const TransformMapping& mapping, bool columns) {
    AxisTerms terms;
    terms.cos.resize(axis.source.size());
    terms.sin.resize(axis.source.size());
    for (std::size_t j = 0; j < axis.source.size(); ++j) {
        const Terms t = columns ? mapping.ColumnTerms(axis.source[j]) : mapping.RowTerms(axis.source[j]);
        terms.cos[j] = t.cos;
        terms.sin[j] = t.sin;
    }
    return terms;
}

}  // namespace

void RenderSmoothFused(const TurnedView& view, const TransformMapping& mapping, const std::uint8_t* background,
                       int cropWidth, int cropHeight, Picture& output) {
    const int outWidth = output.width();
    const int outHeight = output.height();
    const SmoothAxis ax = MakeSmoothAxis(outWidth, cropWidth);
    const SmoothAxis ay = MakeSmoothAxis(outHeight, cropHeight);
    const AxisTerms columnTerms = TermsOf(ax, mapping, true);
    const AxisTerms rowTerms = TermsOf(ay, mapping, false);
    const std::uint64_t total = ax.total * ay.total;
    const double inverse = 1.0 / static_cast<double>(total);
    // Lines follow the decoded rows as closely as the turn allows, so each line reads one stretch
    // of a decoded row: crop rows unless the decoded row changes faster along them than down a column.
    const double a = view.sideways ? mapping.cosine() : mapping.sine();
    const double b = view.sideways ? -mapping.sine() : mapping.cosine();
    const bool lineIsRow = std::abs(b) >= std::abs(a);
    constexpr KernelLevel kPaths[] = {KernelLevel::Portable, KernelLevel::Avx2, KernelLevel::Avx512Vbmi};
    const KernelLevel level = detail::ChooseKernelLevel(Kernel::SmoothFrame, kPaths);
    const bool vector = level >= KernelLevel::Avx2;
    LineSampler sample{view, mapping, background, lineIsRow, level};
    {
        // A line further on: the source moves by the zoom along the other direction per line.
        constexpr double kLinesAhead = 8;
        const double k = mapping.zoom() * kLinesAhead;
        const double dx = lineIsRow ? -mapping.sine() * k : mapping.cosine() * k;
        const double dy = lineIsRow ? mapping.cosine() * k : mapping.sine() * k;
        if (std::abs(dx) < 1e6 && std::abs(dy) < 1e6)
            sample.prefetchShift = std::llround(dx) * view.stepX + std::llround(dy) * view.stepY;
        // Along a line the source moves by the zoom along the line's own direction; within a
        // decoded row only the part along the turned axis that runs through the row counts.
        const double alongX = lineIsRow ? mapping.cosine() : -mapping.sine();
        const double alongY = lineIsRow ? mapping.sine() : mapping.cosine();
        const bool pixelsAlongX = view.stepX == 3 || view.stepX == -3;
        sample.forward =
            (pixelsAlongX ? alongX * static_cast<double>(view.stepX) : alongY * static_cast<double>(view.stepY)) >= 0;
    }
    const long long perRow =
        static_cast<long long>(ax.source.size()) * (static_cast<long long>(ay.source.size()) / outHeight + 1);

    // Threads take output rows: with crop rows as lines they take the lines, otherwise each takes
    // its stretch of every crop column.
    ParallelRows(outHeight, perRow, [&](int rowBegin, int rowEnd) {
        const LinePlan plan = lineIsRow
                                  ? LinePlan{&ay, &rowTerms, rowBegin, rowEnd, &ax, &columnTerms, 0, outWidth, true}
                                  : LinePlan{&ax, &columnTerms, 0, outWidth, &ay, &rowTerms, rowBegin, rowEnd, false};
        RenderLines(plan, sample, vector, total, inverse, output);
    });
}

}  // namespace turnlet
