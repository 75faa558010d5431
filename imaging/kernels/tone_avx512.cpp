// SPDX-License-Identifier: MIT
// The tone table applied by AVX-512 byte permutes.
#include "tone_kernels.h"

#include "levels.h"

#if TURNLET_X86_KERNELS
#include <immintrin.h>

namespace turnlet::avx512 {

// Two 128-entry byte permutes, chosen by each byte's top bit.
TURNLET_TARGET_AVX512 std::size_t MapBytes(std::uint8_t* p, std::size_t n, const std::uint8_t* table) {
    const __m512i t0 = _mm512_loadu_si512(table);
    const __m512i t1 = _mm512_loadu_si512(table + 64);
    const __m512i t2 = _mm512_loadu_si512(table + 128);
    const __m512i t3 = _mm512_loadu_si512(table + 192);
    std::size_t i = 0;
    for (; i + 64 <= n; i += 64) {
        const __m512i v = _mm512_loadu_si512(p + i);
        const __m512i low = _mm512_permutex2var_epi8(t0, v, t1);
        const __m512i high = _mm512_permutex2var_epi8(t2, v, t3);
        _mm512_storeu_si512(p + i, _mm512_mask_blend_epi8(_mm512_movepi8_mask(v), low, high));
    }
    return i;
}

}  // namespace turnlet::avx512
#endif
