// SPDX-License-Identifier: MIT
// The smooth frame's sampling of its averages, sixteen pixels a step with AVX-512.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "imaging/kernel_util.h"
#include "imaging/kernels/levels.h"
#include "smooth_frame_kernels.h"

#if TURNLET_X86_KERNELS
#include <immintrin.h>

namespace turnlet::avx512 {

namespace {

// Sixteen pixels a step: the same operations, the sixteen 4-byte loads as one gather, and their
// first three bytes packed into 48. Steps it cannot take whole are left to the four-lane loop.
// Sideways: an output row walks down columns of averages, one line per pixel, so the sixteen
// pixels are fetched by one gather, and the same lanes some output rows on are asked for early.
template <bool Sideways>
TURNLET_TARGET_AVX512 void Sample(const RowSampler& sampler, int y, int x, int end, std::uint8_t* to) {
    const SmoothPlan& plan = sampler.plan;
    const TurnedView& view = sampler.view;
    const PixelRect& turned = sampler.turned;
    const TransformMapping& m = plan.mapping;
    const TransformMapping::Terms row = plan.rowTerms[y];
    const __m512d k = _mm512_set1_pd(m.zoom()), left = _mm512_set1_pd(m.left()), top = _mm512_set1_pd(m.top());
    const __m512d cx = _mm512_set1_pd(m.centreX()), cy = _mm512_set1_pd(m.centreY());
    const __m512d rowSin = _mm512_set1_pd(row.sin), rowCos = _mm512_set1_pd(row.cos);
    const __m512d half = _mm512_set1_pd(0.5);
    const __m512d fx = _mm512_set1_pd(plan.factorX), fy = _mm512_set1_pd(plan.factorY);
    const __m512d lowX = _mm512_set1_pd(turned.left), highX = _mm512_set1_pd(turned.left + turned.width);
    const __m512d lowY = _mm512_set1_pd(turned.top), highY = _mm512_set1_pd(turned.top + turned.height);
    const __m512i stepX = _mm512_set1_epi32(static_cast<int>(view.stepX));
    const __m512i expand = _mm512_load_si512(kPixelBytes.lane);
    const __m512i within = _mm512_load_si512(kPixelBytes.byte);
    const __m512i pack = _mm512_add_epi8(expand, within);  // byte j % 3 of lane j / 3
    const __m512i base = _mm512_set1_epi32(static_cast<int>(view.base));
    const __m512i stepY = _mm512_set1_epi32(static_cast<int>(view.stepY));
    const __m512i lastLoad = _mm512_set1_epi32(static_cast<int>(view.bytes) - 4);
    const __m512i prefetch = _mm512_set1_epi32(static_cast<int>(16 * view.stepY));
    const int width = static_cast<int>(plan.columnTerms.size());
    // The zero-masked forms with every lane on keep GCC 12 from warning about undefined fillers.
    const __mmask8 all = 0xFF;
    const __mmask16 all16 = 0xFFFF;
    // The spare bytes of a step's last pixels must land on later pixels of the row.
    for (; x + 16 <= end && x + 16 < width; x += 16, to += 48) {
        __m512d px[2], py[2];
        __mmask8 in[2];
#pragma GCC unroll 2
        for (int h = 0; h < 2; ++h) {
            const __m512d c = _mm512_loadu_pd(plan.columnCos.data() + x + 8 * h);
            const __m512d s = _mm512_loadu_pd(plan.columnSin.data() + x + 8 * h);
            px[h] = _mm512_add_pd(_mm512_add_pd(_mm512_mul_pd(_mm512_sub_pd(c, rowSin), k), left), cx);
            py[h] = _mm512_add_pd(_mm512_add_pd(_mm512_mul_pd(_mm512_add_pd(s, rowCos), k), top), cy);
            px[h] = _mm512_mul_pd(_mm512_add_pd(px[h], half), fx);
            py[h] = _mm512_mul_pd(_mm512_add_pd(py[h], half), fy);
            // Four independent tests, not one chain of masked ones.
            in[h] = (_mm512_cmp_pd_mask(px[h], lowX, _CMP_GE_OQ) & _mm512_cmp_pd_mask(px[h], highX, _CMP_LT_OQ)) &
                    (_mm512_cmp_pd_mask(py[h], lowY, _CMP_GE_OQ) & _mm512_cmp_pd_mask(py[h], highY, _CMP_LT_OQ));
        }
        if ((in[0] & in[1]) != all) {
            avx2::SampleRow(sampler, Sideways, y, x, x + 16, to);
            continue;
        }
        const __m256i rxLow = _mm512_maskz_cvttpd_epi32(all, px[0]), rxHigh = _mm512_maskz_cvttpd_epi32(all, px[1]);
        const __m256i ryLow = _mm512_maskz_cvttpd_epi32(all, py[0]), ryHigh = _mm512_maskz_cvttpd_epi32(all, py[1]);
        const __m512i rx = _mm512_maskz_inserti64x4(all, _mm512_castsi256_si512(rxLow), rxHigh, 1);
        const __m512i ry = _mm512_maskz_inserti64x4(all, _mm512_castsi256_si512(ryLow), ryHigh, 1);
        if constexpr (Sideways) {
            const __m512i offset =
                _mm512_add_epi32(base, _mm512_add_epi32(_mm512_mullo_epi32(rx, stepX), _mm512_mullo_epi32(ry, stepY)));
            if (_mm512_cmpgt_epi32_mask(offset, lastLoad) != 0) {
                avx2::SampleRow(sampler, Sideways, y, x, x + 16, to);
                continue;
            }
            const __m512i gathered = _mm512_mask_i32gather_epi32(_mm512_setzero_si512(), all16, offset, view.origin, 1);
            const __m512i pixels = _mm512_maskz_permutexvar_epi8(~__mmask64{0}, pack, gathered);
            if (x + 22 <= width) {
                _mm512_storeu_si512(to, pixels);
            } else {
                _mm512_mask_storeu_epi8(to, (std::uint64_t{1} << 48) - 1, pixels);
            }
            alignas(64) std::int32_t ahead[16];
            _mm512_store_si512(
                ahead,
                _mm512_maskz_min_epi32(
                    all16, _mm512_maskz_max_epi32(all16, _mm512_add_epi32(offset, prefetch), _mm512_setzero_si512()),
                    lastLoad));
#pragma GCC unroll 16
            for (int lane = 0; lane < 16; ++lane)
                _mm_prefetch(reinterpret_cast<const char*>(view.origin + ahead[lane]), _MM_HINT_T0);
            continue;
        }
        // Along an output row the reduced position moves monotonically, so the step's first and
        // last lanes bound it. Within 21 columns and 4 rows each row's pixels lie in one 64-byte
        // window (the lowest address of its pixels on), and byte permutes gather all 48 bytes.
        const int rxFirst = _mm256_cvtsi256_si32(rxLow), rxLast = _mm256_extract_epi32(rxHigh, 7);
        const int ryFirst = _mm256_cvtsi256_si32(ryLow), ryLast = _mm256_extract_epi32(ryHigh, 7);
        const int rowSpan = std::abs(ryLast - ryFirst);
        const std::int64_t columnStart =
            std::min(std::int64_t{rxFirst} * view.stepX, std::int64_t{rxLast} * view.stepX);
        const std::int64_t rowBytes = (ryLast < ryFirst ? -1 : 1) * view.stepY;
        const std::int64_t window0 = view.base + std::int64_t{ryFirst} * view.stepY + columnStart;
        const std::int64_t window3 = window0 + rowBytes * std::min(3, rowSpan);
        if (std::abs(rxLast - rxFirst) > 20 || rowSpan > 3 || std::min(window0, window3) < 0 ||
            std::max(window0, window3) + 64 > static_cast<std::int64_t>(view.bytes)) {
            avx2::SampleRow(sampler, Sideways, y, x, x + 16, to);
            continue;
        }
        const std::uint8_t* const w0 = view.origin + window0;
        const std::uint8_t* const w1 = w0 + rowBytes * std::min(1, rowSpan);
        const std::uint8_t* const w2 = w0 + rowBytes * std::min(2, rowSpan);
        const std::uint8_t* const w3 = view.origin + window3;
        // Index bits 6 and 7 name the window: the row's distance from the first lane's.
        __m512i rel = _mm512_sub_epi32(_mm512_mullo_epi32(rx, stepX), _mm512_set1_epi32(static_cast<int>(columnStart)));
        rel = _mm512_or_epi32(
            rel, _mm512_maskz_slli_epi32(
                     all16, _mm512_maskz_abs_epi32(all16, _mm512_sub_epi32(ry, _mm512_set1_epi32(ryFirst))), 6));
        const __m512i index = _mm512_add_epi8(_mm512_maskz_permutexvar_epi8(~__mmask64{0}, expand, rel), within);
        const __m512i near = _mm512_permutex2var_epi8(_mm512_loadu_si512(w0), index, _mm512_loadu_si512(w1));
        const __m512i far = _mm512_permutex2var_epi8(_mm512_loadu_si512(w2), index, _mm512_loadu_si512(w3));
        const __m512i pixels = _mm512_mask_blend_epi8(_mm512_movepi8_mask(index), near, far);
        if (x + 22 <= width) {
            _mm512_storeu_si512(to, pixels);
        } else {
            _mm512_mask_storeu_epi8(to, (std::uint64_t{1} << 48) - 1, pixels);
        }
    }
    avx2::SampleRow(sampler, Sideways, y, x, end, to);
}

}  // namespace

TURNLET_TARGET_AVX512 void SampleRow(const RowSampler& sampler, bool sideways, int y, int x, int end,
                                     std::uint8_t* to) {
    if (sideways) {
        Sample<true>(sampler, y, x, end, to);
    } else {
        Sample<false>(sampler, y, x, end, to);
    }
}

}  // namespace turnlet::avx512
#endif
