// SPDX-License-Identifier: MIT
// The nearest-neighbour frame's runs, four pixels a step with AVX2.
#include <cstring>

#include "frame_render_kernels.h"
#include "imaging/kernels/levels.h"

#if TURNLET_X86_KERNELS
#include <immintrin.h>

namespace turnlet::avx2 {

namespace {

using Terms = TransformMapping::Terms;

TURNLET_TARGET_AVX2 inline int Wrapped(std::int64_t v) {
    return static_cast<int>(static_cast<std::uint32_t>(v));
}

// Pixels of one run four at a time, with the operations of TransformMapping::SourceX and SourceY in
// their order: the varying direction's terms apart (cosines, sines) from the run's first pixel on,
// the other direction's fixed. A step with a lane on the background, or whose 4-byte loads could
// pass the pixels' end, goes lane by lane. Along an output row (contiguous) each pixel takes a
// 4-byte store whose spare byte the next pixel of the run overwrites, so the run's last pixel is
// left to the caller. Returns the first pixel left undone.
template <bool VaryingIsColumn, bool Contiguous>
TURNLET_TARGET_AVX2 int Run(const TurnedView& view, const TransformMapping& mapping, const double* cosines,
                            const double* sines, Terms fixed, int n, const std::uint8_t* background, std::uint8_t* out,
                            std::int64_t outStep, std::int64_t ahead) {
    const __m256d k = _mm256_set1_pd(mapping.zoom()), left = _mm256_set1_pd(mapping.left());
    const __m256d top = _mm256_set1_pd(mapping.top()), cx = _mm256_set1_pd(mapping.centreX());
    const __m256d cy = _mm256_set1_pd(mapping.centreY()), fixedCos = _mm256_set1_pd(fixed.cos);
    const __m256d fixedSin = _mm256_set1_pd(fixed.sin), minusOne = _mm256_set1_pd(-1.0);
    const __m256d limitX = _mm256_set1_pd(view.limitX), limitY = _mm256_set1_pd(view.limitY);
    // Offsets are taken modulo 2^32: an inside pixel's lies below 2^31, so the wrapped sum is it.
    const __m128i base = _mm_set1_epi32(Wrapped(view.base)), stepX = _mm_set1_epi32(Wrapped(view.stepX));
    const __m128i stepY = _mm_set1_epi32(Wrapped(view.stepY));
    const __m128i lastLoad = _mm_set1_epi32(static_cast<int>(view.bytes - 4));
    int q = 0;
    for (; Contiguous ? q + 4 < n : q + 4 <= n; q += 4, out += 4 * outStep) {
        const __m256d c = _mm256_loadu_pd(cosines + q), s = _mm256_loadu_pd(sines + q);
        __m256d fx = VaryingIsColumn ? _mm256_sub_pd(c, fixedSin) : _mm256_sub_pd(fixedCos, s);
        __m256d fy = VaryingIsColumn ? _mm256_add_pd(s, fixedCos) : _mm256_add_pd(fixedSin, c);
        fx = _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(fx, k), left), cx);
        fy = _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(fy, k), top), cy);
        const __m256d inside = _mm256_and_pd(
            _mm256_and_pd(_mm256_cmp_pd(fx, minusOne, _CMP_GT_OQ), _mm256_cmp_pd(fx, limitX, _CMP_LT_OQ)),
            _mm256_and_pd(_mm256_cmp_pd(fy, minusOne, _CMP_GT_OQ), _mm256_cmp_pd(fy, limitY, _CMP_LT_OQ)));
        const __m128i offset = _mm_add_epi32(base, _mm_add_epi32(_mm_mullo_epi32(_mm256_cvttpd_epi32(fx), stepX),
                                                                 _mm_mullo_epi32(_mm256_cvttpd_epi32(fy), stepY)));
        if (_mm256_movemask_pd(inside) != 0xF || _mm_movemask_epi8(_mm_cmpgt_epi32(offset, lastLoad)) != 0) {
            for (int lane = 0; lane < 4; ++lane) {
                const Terms varying{cosines[q + lane], sines[q + lane]};
                const std::uint8_t* from =
                    VaryingIsColumn ? view.Sample(mapping, varying, fixed) : view.Sample(mapping, fixed, varying);
                std::memcpy(out + lane * outStep, from ? from : background, 3);
            }
            continue;
        }
        alignas(16) std::int32_t at[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(at), offset);
        if constexpr (Contiguous) {
            std::memcpy(out, view.origin + at[0], 4);
            std::memcpy(out + 3, view.origin + at[1], 4);
            std::memcpy(out + 6, view.origin + at[2], 4);
            std::memcpy(out + 9, view.origin + at[3], 4);
        } else {
            for (int lane = 0; lane < 4; ++lane) std::memcpy(out + lane * outStep, view.origin + at[lane], 3);
        }
        if (ahead != 0) {
            for (const int lane : {0, 3}) {
                const std::int64_t to = at[lane] + ahead;
                if (to >= 0 && to < static_cast<std::int64_t>(view.bytes))
                    _mm_prefetch(reinterpret_cast<const char*>(view.origin + to), _MM_HINT_T0);
            }
        }
    }
    return q;
}
}  // namespace

TURNLET_TARGET_AVX2 int NearestRun(const TurnedView& view, const TransformMapping& mapping, const double* cosines,
                                   const double* sines, TransformMapping::Terms fixed, int n,
                                   const std::uint8_t* background, std::uint8_t* out, std::int64_t outStep,
                                   std::int64_t ahead, bool alongRow) {
    if (alongRow) return Run<true, true>(view, mapping, cosines, sines, fixed, n, background, out, outStep, ahead);
    return Run<false, false>(view, mapping, cosines, sines, fixed, n, background, out, outStep, ahead);
}

}  // namespace turnlet::avx2
#endif
