// SPDX-License-Identifier: MIT
// The smooth frame's sampling of its averages, four pixels a step with AVX2.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "imaging/kernel_util.h"
#include "imaging/kernels/levels.h"
#include "smooth_frame_kernels.h"

#if TURNLET_X86_KERNELS
#include <immintrin.h>

namespace turnlet::avx2 {

namespace {

// Four pixels a step, with the operations of SmoothPlan::Reduced in their order; a step with a
// lane on the background, or whose 4-byte loads or stores could pass an end, goes lane by lane.
template <bool Prefetch>
TURNLET_TARGET_AVX2 void Sample(const RowSampler& sampler, int y, int x, int end, std::uint8_t* to) {
    const SmoothPlan& plan = sampler.plan;
    const TurnedView& view = sampler.view;
    const PixelRect& turned = sampler.turned;
    const TransformMapping& m = plan.mapping;
    const TransformMapping::Terms row = plan.rowTerms[y];
    const __m256d k = _mm256_set1_pd(m.zoom()), left = _mm256_set1_pd(m.left()), top = _mm256_set1_pd(m.top());
    const __m256d cx = _mm256_set1_pd(m.centreX()), cy = _mm256_set1_pd(m.centreY());
    const __m256d rowSin = _mm256_set1_pd(row.sin), rowCos = _mm256_set1_pd(row.cos);
    const __m256d half = _mm256_set1_pd(0.5);
    const __m256d fx = _mm256_set1_pd(plan.factorX), fy = _mm256_set1_pd(plan.factorY);
    const __m256d lowX = _mm256_set1_pd(turned.left), highX = _mm256_set1_pd(turned.left + turned.width);
    const __m256d lowY = _mm256_set1_pd(turned.top), highY = _mm256_set1_pd(turned.top + turned.height);
    const __m128i base = _mm_set1_epi32(static_cast<int>(view.base));
    const __m128i stepX = _mm_set1_epi32(static_cast<int>(view.stepX));
    const __m128i stepY = _mm_set1_epi32(static_cast<int>(view.stepY));
    const __m128i lastLoad = _mm_set1_epi32(static_cast<int>(view.bytes) - 4);
    const __m128i prefetch = _mm_set1_epi32(static_cast<int>(16 * view.stepY));
    const int width = static_cast<int>(plan.columnTerms.size());
    // The last pixel's spare byte would land past the row: it goes the scalar way. Within the
    // row it lands on the next pixel, which this thread writes later.
    for (; x + 4 <= end && x + 4 < width; x += 4, to += 12) {
        const __m256d c = _mm256_loadu_pd(plan.columnCos.data() + x);
        const __m256d s = _mm256_loadu_pd(plan.columnSin.data() + x);
        __m256d px = _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(_mm256_sub_pd(c, rowSin), k), left), cx);
        __m256d py = _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(_mm256_add_pd(s, rowCos), k), top), cy);
        px = _mm256_mul_pd(_mm256_add_pd(px, half), fx);
        py = _mm256_mul_pd(_mm256_add_pd(py, half), fy);
        // Inside the reach (which lies within the picture): a position is in a pixel of the
        // reach exactly when it lies in [low, high), low >= 0.
        const __m256d inside =
            _mm256_and_pd(_mm256_and_pd(_mm256_cmp_pd(px, lowX, _CMP_GE_OQ), _mm256_cmp_pd(px, highX, _CMP_LT_OQ)),
                          _mm256_and_pd(_mm256_cmp_pd(py, lowY, _CMP_GE_OQ), _mm256_cmp_pd(py, highY, _CMP_LT_OQ)));
        if (_mm256_movemask_pd(inside) != 0xF) {
            sampler.scalarStep(y, x, to);
            continue;
        }
        const __m128i offset = _mm_add_epi32(base, _mm_add_epi32(_mm_mullo_epi32(_mm256_cvttpd_epi32(px), stepX),
                                                                 _mm_mullo_epi32(_mm256_cvttpd_epi32(py), stepY)));
        if (_mm_movemask_epi8(_mm_cmpgt_epi32(offset, lastLoad)) != 0) {
            sampler.scalarStep(y, x, to);
            continue;
        }
        alignas(16) std::int32_t at[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(at), offset);
        std::memcpy(to, view.origin + at[0], 4);
        std::memcpy(to + 3, view.origin + at[1], 4);
        std::memcpy(to + 6, view.origin + at[2], 4);
        std::memcpy(to + 9, view.origin + at[3], 4);
        if constexpr (Prefetch) {
            // The same lanes some output rows further down: with a sideways source they walk
            // lines of averages that the processor does not fetch ahead by itself.
            alignas(16) std::int32_t ahead[4];
            _mm_store_si128(
                reinterpret_cast<__m128i*>(ahead),
                _mm_min_epi32(_mm_max_epi32(_mm_add_epi32(offset, prefetch), _mm_setzero_si128()), lastLoad));
            _mm_prefetch(reinterpret_cast<const char*>(view.origin + ahead[0]), _MM_HINT_T0);
            _mm_prefetch(reinterpret_cast<const char*>(view.origin + ahead[1]), _MM_HINT_T0);
            _mm_prefetch(reinterpret_cast<const char*>(view.origin + ahead[2]), _MM_HINT_T0);
            _mm_prefetch(reinterpret_cast<const char*>(view.origin + ahead[3]), _MM_HINT_T0);
        }
    }
    sampler.scalar(y, x, end, to);
}

}  // namespace

TURNLET_TARGET_AVX2 void SampleRow(const RowSampler& sampler, bool sideways, int y, int x, int end, std::uint8_t* to) {
    if (sideways) {
        Sample<true>(sampler, y, x, end, to);
    } else {
        Sample<false>(sampler, y, x, end, to);
    }
}

}  // namespace turnlet::avx2
#endif
