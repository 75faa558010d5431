// SPDX-License-Identifier: MIT
// TransformPicture's source offsets, two pixels a step in 128-bit vectors.
#include "levels.h"
#include "transform_kernels.h"

#if TURNLET_X86_KERNELS
#include <immintrin.h>

namespace turnlet::ssse3 {

// The same IEEE operations in the same order as TransformMapping::SourceX and SourceY.
TURNLET_TARGET_SSSE3 int Offsets(const TransformLayout& map, int begin, int end, double dys, double dyc,
                                 std::uint32_t* out) {
    const __m128d vk = _mm_set1_pd(map.k), vl = _mm_set1_pd(map.leftD), vt = _mm_set1_pd(map.topD);
    const __m128d vcx = _mm_set1_pd(map.cxD), vcy = _mm_set1_pd(map.cyD), vdys = _mm_set1_pd(dys);
    const __m128d vdyc = _mm_set1_pd(dyc), zero = _mm_setzero_pd();
    const __m128d vmaxX = _mm_set1_pd(map.maxX), vmaxY = _mm_set1_pd(map.maxY);
    const __m128i stride = _mm_set1_epi32(static_cast<int>(map.srcStride));
    const double* const columnsC = map.dxc.data();
    const double* const columnsS = map.dxs.data();
    int x = begin;
    for (; x + 2 <= end; x += 2) {
        __m128d fx = _mm_add_pd(_mm_add_pd(_mm_mul_pd(_mm_sub_pd(_mm_loadu_pd(columnsC + x), vdys), vk), vl), vcx);
        __m128d fy = _mm_add_pd(_mm_add_pd(_mm_mul_pd(_mm_add_pd(_mm_loadu_pd(columnsS + x), vdyc), vk), vt), vcy);
        fx = _mm_min_pd(_mm_max_pd(fx, zero), vmaxX);
        fy = _mm_min_pd(_mm_max_pd(fy, zero), vmaxY);
        const __m128i sx = _mm_cvttpd_epi32(fx);
        const __m128i sy = _mm_cvttpd_epi32(fy);
        // sy * stride on lanes 0 and 2 (64-bit products), gathered back into lanes 0 and 1.
        const __m128i rows = _mm_mul_epu32(_mm_shuffle_epi32(sy, _MM_SHUFFLE(3, 1, 1, 0)), stride);
        const __m128i rowOffsets = _mm_shuffle_epi32(rows, _MM_SHUFFLE(3, 3, 2, 0));
        const __m128i columnOffsets = _mm_add_epi32(_mm_add_epi32(sx, sx), sx);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + (x - begin)), _mm_add_epi32(rowOffsets, columnOffsets));
    }
    return x;
}

}  // namespace turnlet::ssse3
#endif
