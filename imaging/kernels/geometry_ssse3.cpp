// SPDX-License-Identifier: MIT
// The quarter turn in 4 x 4 pixel blocks by SSSE3 byte shuffles.
#include <cstring>

#include "geometry_kernels.h"
#include "levels.h"

#if TURNLET_X86_KERNELS
#include <immintrin.h>

namespace turnlet::ssse3 {

namespace {

TURNLET_TARGET_SSSE3 inline void StoreTwelve(std::uint8_t* dst, __m128i v) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), v);
    const auto tail = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(v, 8)));
    std::memcpy(dst + 8, &tail, 4);
}

// 4 x 4 pixel blocks: four 12-byte source runs are widened to 4-byte lanes, transposed and narrowed.
// Out of line: inlined into CopyTile, each turn's walk compiles to 2% more instructions.
template <bool kClockwise>
[[gnu::noinline]] TURNLET_TARGET_SSSE3 void CopyTiles(const SidewaysMap& map, Picture& output, int x0, int x1, int y0,
                                                      int y1, const std::uint8_t* srcEnd) {
    const __m128i widen = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i narrow = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    const std::ptrdiff_t step = kClockwise ? -static_cast<std::ptrdiff_t>(map.stride) : map.stride;
    const int outW = output.width();
    const std::size_t outStride = output.stride();
    int y = y0;
    for (; y + 4 <= y1; y += 4) {
        // Run j: the 12 bytes of the source row shown in output column x + j that cover rows y..y+3.
        const std::uint8_t* run = kClockwise ? map.at(x0, y) : map.at(x0, y + 3);
        std::uint8_t* dst = output.pixel(x0, y);
        int x = x0;
        for (; x + 4 <= x1; x += 4, run += 4 * step, dst += 12) {
            // A 16-byte load reads 4 bytes past the run; only the source's last run lacks them.
            const std::uint8_t* highest = kClockwise ? run : run + 3 * step;
            if (highest + 16 > srcEnd) {
                detail::CopyTilePortable(map, output, x, x + 4, y, y + 4);
                continue;
            }
            const __m128i r0 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(run)), widen);
            const __m128i r1 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(run + step)), widen);
            const __m128i r2 =
                _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(run + 2 * step)), widen);
            const __m128i r3 =
                _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(run + 3 * step)), widen);
            const __m128i t0 = _mm_unpacklo_epi32(r0, r1);
            const __m128i t1 = _mm_unpacklo_epi32(r2, r3);
            const __m128i t2 = _mm_unpackhi_epi32(r0, r1);
            const __m128i t3 = _mm_unpackhi_epi32(r2, r3);
            // Lane i of the runs is their first source column + i, i.e. output row y + i (clockwise)
            // or y + 3 - i (anticlockwise).
            const __m128i l0 = _mm_shuffle_epi8(_mm_unpacklo_epi64(t0, t1), narrow);
            const __m128i l1 = _mm_shuffle_epi8(_mm_unpackhi_epi64(t0, t1), narrow);
            const __m128i l2 = _mm_shuffle_epi8(_mm_unpacklo_epi64(t2, t3), narrow);
            const __m128i l3 = _mm_shuffle_epi8(_mm_unpackhi_epi64(t2, t3), narrow);
            std::uint8_t* d0 = dst + (kClockwise ? 0 : 3) * outStride;
            std::uint8_t* d1 = dst + (kClockwise ? 1 : 2) * outStride;
            std::uint8_t* d2 = dst + (kClockwise ? 2 : 1) * outStride;
            std::uint8_t* d3 = dst + (kClockwise ? 3 : 0) * outStride;
            // Full 16-byte stores spill onto pixels x + 4 and x + 5, written later by this thread;
            // near the row's end they would reach the next row, so 12 bytes are stored exactly.
            if (x + 6 <= outW) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(d0), l0);
                _mm_storeu_si128(reinterpret_cast<__m128i*>(d1), l1);
                _mm_storeu_si128(reinterpret_cast<__m128i*>(d2), l2);
                _mm_storeu_si128(reinterpret_cast<__m128i*>(d3), l3);
            } else {
                StoreTwelve(d0, l0);
                StoreTwelve(d1, l1);
                StoreTwelve(d2, l2);
                StoreTwelve(d3, l3);
            }
        }
        if (x < x1) detail::CopyTilePortable(map, output, x, x1, y, y + 4);
    }
    if (y < y1) detail::CopyTilePortable(map, output, x0, x1, y, y1);
}
}  // namespace

TURNLET_TARGET_SSSE3 void CopyTile(const SidewaysMap& map, Picture& output, int x0, int x1, int y0, int y1,
                                   const std::uint8_t* srcEnd) {
    if (map.clockwise) {
        CopyTiles<true>(map, output, x0, x1, y0, y1, srcEnd);
    } else {
        CopyTiles<false>(map, output, x0, x1, y0, y1, srcEnd);
    }
}

}  // namespace turnlet::ssse3
#endif
