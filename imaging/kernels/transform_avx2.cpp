// SPDX-License-Identifier: MIT
// TransformPicture's source offsets, four pixels a step with AVX2.
#include <algorithm>

#include "levels.h"
#include "transform_kernels.h"

#if TURNLET_X86_KERNELS
#include <immintrin.h>

namespace turnlet::avx2 {

TURNLET_TARGET_AVX2 int Offsets(const TransformLayout& map, int begin, int end, double dys, double dyc,
                                std::uint32_t* out, std::uint32_t& maxOffset) {
    const __m256d vk = _mm256_set1_pd(map.k), vl = _mm256_set1_pd(map.leftD), vt = _mm256_set1_pd(map.topD);
    const __m256d vcx = _mm256_set1_pd(map.cxD), vcy = _mm256_set1_pd(map.cyD), vdys = _mm256_set1_pd(dys);
    const __m256d vdyc = _mm256_set1_pd(dyc), zero = _mm256_setzero_pd();
    const __m256d vmaxX = _mm256_set1_pd(map.maxX), vmaxY = _mm256_set1_pd(map.maxY);
    const __m128i stride = _mm_set1_epi32(static_cast<int>(map.srcStride));
    const double* const columnsC = map.dxc.data();
    const double* const columnsS = map.dxs.data();
    __m128i largest = _mm_setzero_si128();
    int x = begin;
    for (; x + 4 <= end; x += 4) {
        __m256d fx = _mm256_sub_pd(_mm256_loadu_pd(columnsC + x), vdys);
        fx = _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(fx, vk), vl), vcx);
        __m256d fy = _mm256_add_pd(_mm256_loadu_pd(columnsS + x), vdyc);
        fy = _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(fy, vk), vt), vcy);
        fx = _mm256_min_pd(_mm256_max_pd(fx, zero), vmaxX);
        fy = _mm256_min_pd(_mm256_max_pd(fy, zero), vmaxY);
        const __m128i sx = _mm256_cvttpd_epi32(fx);
        const __m128i sy = _mm256_cvttpd_epi32(fy);
        const __m128i offset = _mm_add_epi32(_mm_mullo_epi32(sy, stride), _mm_add_epi32(_mm_add_epi32(sx, sx), sx));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + (x - begin)), offset);
        largest = _mm_max_epu32(largest, offset);
    }
    largest = _mm_max_epu32(largest, _mm_shuffle_epi32(largest, _MM_SHUFFLE(1, 0, 3, 2)));
    largest = _mm_max_epu32(largest, _mm_shuffle_epi32(largest, _MM_SHUFFLE(2, 3, 0, 1)));
    maxOffset = std::max(maxOffset, static_cast<std::uint32_t>(_mm_cvtsi128_si32(largest)));
    return x;
}

}  // namespace turnlet::avx2
#endif
