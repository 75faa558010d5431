// SPDX-License-Identifier: MIT
// TransformPicture's sixteen-pixel steps gathered by AVX-512 byte permutes (VBMI).
#include <cstring>

#include "imaging/kernel_util.h"
#include "levels.h"
#include "transform_kernels.h"

#if TURNLET_X86_KERNELS
#include <immintrin.h>

namespace turnlet::avx512 {

namespace {

// Sixteen pixels per step from x while x < stop, written straight to dst (the output row), for a
// mapping whose steps reach at most 21 columns and kRows rows (ReachOfStep). Within [x, end) the
// source point is inside the source, more than 4 rows from its top and bottom, so kRows
// consecutive rows from any step's first row, and 64 bytes from 60 before the step's first pixel
// in each, lie inside it. Each row's pixels of a step then lie in one 64-byte window, and byte
// permutes gather all 48 bytes. The windows start at the step's first pixel, or 20 pixels left
// of it where sx falls, and go down the source, or up where sy falls. kChecked copies the steps
// that reach further pixel by pixel. Returns the first x left undone.
template <int kRows, bool kChecked>
TURNLET_TARGET_AVX512 int CopySteps(const TransformLayout& map, const PermuteWalk& walk, int x, int stop, int end,
                                    TransformMapping::Terms row, std::uint8_t* dst) {
    const double dys = row.sin, dyc = row.cos;
    const std::uint8_t* const src = walk.src;
    const std::int64_t prefetchShift = walk.prefetchShift;
    const int leftShift = walk.leftShift;
    const __m512d vk = _mm512_set1_pd(map.k), vl = _mm512_set1_pd(map.leftD), vt = _mm512_set1_pd(map.topD);
    const __m512d vcx = _mm512_set1_pd(map.cxD), vcy = _mm512_set1_pd(map.cyD), vdys = _mm512_set1_pd(dys);
    const __m512d vdyc = _mm512_set1_pd(dyc);
    const __m512i expand = _mm512_load_si512(kPixelBytes.lane);
    // A pixel's byte in its window: 3 sx, plus 64 for each row from the first (bits 6 and 7 of the
    // permute index name the window), less the step's first pixel's; the windows' shift left is
    // added with each byte's place in its pixel.
    const __m512i within =
        _mm512_add_epi8(_mm512_load_si512(kPixelBytes.byte), _mm512_set1_epi8(static_cast<char>(3 * leftShift)));
    const __m512i three = _mm512_set1_epi32(3), rowWeight = _mm512_set1_epi32(64 * walk.rowStep);
    // The zero-masked forms with every lane on keep GCC 12 from warning about its undefined fillers.
    const __mmask8 all8 = 0xFF;
    const __mmask16 all16 = 0xFFFF;
    // Locals, as the byte stores below could otherwise alias the layout.
    const double* const columnsC = map.dxc.data();
    const double* const columnsS = map.dxs.data();
    const std::int64_t stride = map.srcStride;
    const std::int64_t rowBytes = walk.rowStep * stride;
    for (; x < stop && x + 16 <= end; x += 16) {
        const __m512d fx0 = _mm512_add_pd(
            _mm512_add_pd(_mm512_mul_pd(_mm512_sub_pd(_mm512_loadu_pd(columnsC + x), vdys), vk), vl), vcx);
        const __m512d fx1 = _mm512_add_pd(
            _mm512_add_pd(_mm512_mul_pd(_mm512_sub_pd(_mm512_loadu_pd(columnsC + x + 8), vdys), vk), vl), vcx);
        const __m512d fy0 = _mm512_add_pd(
            _mm512_add_pd(_mm512_mul_pd(_mm512_add_pd(_mm512_loadu_pd(columnsS + x), vdyc), vk), vt), vcy);
        const __m512d fy1 = _mm512_add_pd(
            _mm512_add_pd(_mm512_mul_pd(_mm512_add_pd(_mm512_loadu_pd(columnsS + x + 8), vdyc), vk), vt), vcy);
        const __m256i sxLow = _mm512_maskz_cvttpd_epi32(all8, fx0), sxHigh = _mm512_maskz_cvttpd_epi32(all8, fx1);
        const __m256i syLow = _mm512_maskz_cvttpd_epi32(all8, fy0), syHigh = _mm512_maskz_cvttpd_epi32(all8, fy1);
        const __m512i sx = _mm512_maskz_inserti64x4(all8, _mm512_castsi256_si512(sxLow), sxHigh, 1);
        const __m512i sy = _mm512_maskz_inserti64x4(all8, _mm512_castsi256_si512(syLow), syHigh, 1);
        std::uint8_t* out = dst + std::size_t(3) * x;
        if constexpr (kChecked) {
            const __m512i first = _mm512_setzero_si512();
            const __m512i columns = _mm512_add_epi32(
                _mm512_sub_epi32(sx, _mm512_maskz_permutexvar_epi32(all16, first, sx)), _mm512_set1_epi32(leftShift));
            const __m512i rows =
                _mm512_maskz_abs_epi32(all16, _mm512_sub_epi32(sy, _mm512_maskz_permutexvar_epi32(all16, first, sy)));
            if ((_mm512_cmpgt_epu32_mask(columns, _mm512_set1_epi32(20)) |
                 _mm512_cmpgt_epu32_mask(rows, _mm512_set1_epi32(kRows - 1))) != 0) {
                alignas(64) std::int32_t columnAt[16], rowAt[16];
                _mm512_store_si512(columnAt, sx);
                _mm512_store_si512(rowAt, sy);
                for (int i = 0; i < 16; ++i)
                    std::memcpy(out + 3 * i, src + stride * rowAt[i] + 3 * std::int64_t(columnAt[i]), 3);
                continue;
            }
        }
        const std::uint8_t* const window =
            src + (stride * _mm256_cvtsi256_si32(syLow) + 3 * std::int64_t(_mm256_cvtsi256_si32(sxLow) - leftShift));
        // The rows below are read a few output rows later; ask for them now, as the hardware
        // does not foresee this diagonal walk through the source.
        const auto ahead = reinterpret_cast<const char*>(reinterpret_cast<std::uintptr_t>(window) + prefetchShift);
        _mm_prefetch(ahead, _MM_HINT_T0);
        _mm_prefetch(ahead + 63, _MM_HINT_T0);
        const __m512i byte = _mm512_add_epi32(_mm512_mullo_epi32(sx, three), _mm512_mullo_epi32(sy, rowWeight));
        const __m512i rel = _mm512_sub_epi32(byte, _mm512_maskz_permutexvar_epi32(all16, _mm512_setzero_si512(), byte));
        const __m512i index = _mm512_add_epi8(_mm512_maskz_permutexvar_epi8(~__mmask64(0), expand, rel), within);
        __m512i pixels =
            _mm512_permutex2var_epi8(_mm512_loadu_si512(window), index, _mm512_loadu_si512(window + rowBytes));
        if constexpr (kRows > 2) {
            // Index bit 7 picks the pair of windows 2 and 3 (one row twice for three rows); done
            // for every step, as a branch mispredicts often.
            const __m512i farPixels = _mm512_permutex2var_epi8(_mm512_loadu_si512(window + 2 * rowBytes), index,
                                                               _mm512_loadu_si512(window + (kRows - 1) * rowBytes));
            pixels = _mm512_mask_blend_epi8(_mm512_movepi8_mask(index), pixels, farPixels);
        }
        // The 16 bytes past the step belong to later pixels, written afterwards.
        if (x + 22 <= end) {
            _mm512_storeu_si512(out, pixels);
        } else {
            _mm512_mask_storeu_epi8(out, (std::uint64_t(1) << 48) - 1, pixels);
        }
    }
    return x;
}

}  // namespace

TURNLET_TARGET_AVX512 int CopyPermuted(const TransformLayout& map, const PermuteWalk& walk, int x, int stop, int end,
                                       TransformMapping::Terms row, std::uint8_t* dst) {
    if (walk.reach.checked) return CopySteps<4, true>(map, walk, x, stop, end, row, dst);
    if (walk.reach.rows == 2) return CopySteps<2, false>(map, walk, x, stop, end, row, dst);
    if (walk.reach.rows == 3) return CopySteps<3, false>(map, walk, x, stop, end, row, dst);
    return CopySteps<4, false>(map, walk, x, stop, end, row, dst);
}

}  // namespace turnlet::avx512
#endif
