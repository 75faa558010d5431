// SPDX-License-Identifier: MIT
// Quarter turn, crop and interlace: exact pixel copies between distinct pictures.
#include "geometry.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "kernel_util.h"
#include "base/parallel.h"
#include "resize.h"

#if TURNLET_X86_KERNELS
#include <immintrin.h>
#endif

namespace turnlet {

namespace {

// Tall, narrow tiles: 8 output columns read 8 source rows, whose 3 KB stretches for 1024 output rows
// stay in L1, while those output rows stay in L2 for the next tile. Measured best among 512..4096 x 8..32.
constexpr int kTileRows = 1024;
constexpr int kTileCols = 8;

inline void CopyPixel(std::uint8_t* dst, const std::uint8_t* src) {
    std::memcpy(dst, src, 3);
}

// The source pixel that output (x, y) shows after a clockwise (90) or anticlockwise (270) turn.
struct SidewaysMap {
    const std::uint8_t* data;
    std::size_t stride;
    int srcW;
    int srcH;
    bool clockwise;

    const std::uint8_t* at(int x, int y) const {
        const SourcePoint p = QuarterTurnSource(clockwise ? 90 : 270, x, y, srcW, srcH);
        return data + static_cast<std::size_t>(p.y) * stride + std::size_t(3) * p.x;
    }
};

void CopyTilePortable(const SidewaysMap& map, Picture& output, int x0, int x1, int y0, int y1) {
    const std::ptrdiff_t step = map.clockwise ? -static_cast<std::ptrdiff_t>(map.stride) : map.stride;
    for (int y = y0; y < y1; ++y) {
        std::uint8_t* dst = output.pixel(x0, y);
        const std::uint8_t* src = map.at(x0, y);
        for (int x = x0; x < x1; ++x, dst += 3, src += step) CopyPixel(dst, src);
    }
}

#if TURNLET_X86_KERNELS
__attribute__((target("ssse3"))) inline void StoreTwelve(std::uint8_t* dst, __m128i v) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), v);
    const auto tail = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(v, 8)));
    std::memcpy(dst + 8, &tail, 4);
}

// 4 x 4 pixel blocks: four 12-byte source runs are widened to 4-byte lanes, transposed and narrowed.
template <bool kClockwise>
__attribute__((target("ssse3"))) void CopyTileSsse3(const SidewaysMap& map, Picture& output, int x0, int x1, int y0,
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
                CopyTilePortable(map, output, x, x + 4, y, y + 4);
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
        if (x < x1) CopyTilePortable(map, output, x, x1, y, y + 4);
    }
    if (y < y1) CopyTilePortable(map, output, x0, x1, y, y1);
}
#endif

// output(x, y) = source(y, H - 1 - x) for clockwise, source(W - 1 - y, x) otherwise.
void RotateSideways(const Picture& source, Picture& output, bool clockwise) {
    output.allocate(source.height(), source.width());
    const SidewaysMap map{source.data(), source.stride(), source.width(), source.height(), clockwise};
    const int outW = output.width();
    constexpr KernelLevel kPaths[] = {KernelLevel::Portable, KernelLevel::Ssse3};
    [[maybe_unused]] const bool vector = detail::ChooseKernelLevel(Kernel::QuarterTurn, kPaths) == KernelLevel::Ssse3;
    [[maybe_unused]] const std::uint8_t* srcEnd = source.data() + source.byteSize();
    ParallelRows(output.height(), outW, [&](int rowBegin, int rowEnd) {
        for (int y0 = rowBegin; y0 < rowEnd; y0 += kTileRows) {
            const int y1 = std::min(y0 + kTileRows, rowEnd);
            for (int x0 = 0; x0 < outW; x0 += kTileCols) {
                const int x1 = std::min(x0 + kTileCols, outW);
#if TURNLET_X86_KERNELS
                if (vector) {
                    if (clockwise) {
                        CopyTileSsse3<true>(map, output, x0, x1, y0, y1, srcEnd);
                    } else {
                        CopyTileSsse3<false>(map, output, x0, x1, y0, y1, srcEnd);
                    }
                    continue;
                }
#endif
                CopyTilePortable(map, output, x0, x1, y0, y1);
            }
        }
    });
}

// Pixels move 4 bytes at a time; the spare byte lands on the next pixel, which is written after.
// The first pixel (the source row's last) and the last one copy exactly 3 bytes to stay in bounds.
void RotateHalf(const Picture& source, Picture& output) {
    const int w = source.width();
    const int h = source.height();
    output.allocate(w, h);
    detail::NoteKernelLevel(Kernel::QuarterTurn, KernelLevel::Portable);
    ParallelRows(h, w, [&](int rowBegin, int rowEnd) {
        for (int y = rowBegin; y < rowEnd; ++y) {
            const SourcePoint first = QuarterTurnSource(180, 0, y, w, h);
            const std::uint8_t* src = source.pixel(first.x, first.y);
            std::uint8_t* dst = output.row(y);
            CopyPixel(dst, src);
            for (int x = 1; x < w - 1; ++x) {
                std::uint32_t v;
                std::memcpy(&v, src - std::size_t(3) * x, 4);
                std::memcpy(dst + std::size_t(3) * x, &v, 4);
            }
            if (w > 1) CopyPixel(dst + std::size_t(3) * (w - 1), src - std::size_t(3) * (w - 1));
        }
    });
}

}  // namespace

void RotateQuarter(const Picture& source, Picture& output, int angle) {
    if (angle != 0 && angle != 90 && angle != 180 && angle != 270) return;
    if (&source == &output) {
        const Picture copy(source);
        RotateQuarter(copy, output, angle);
        return;
    }
    if (source.empty()) {
        output.allocate(0, 0);
        return;
    }
    switch (angle) {
        case 0:
            detail::NoteKernelLevel(Kernel::QuarterTurn, KernelLevel::Portable);
            output = source;
            break;
        case 90:
            RotateSideways(source, output, true);
            break;
        case 180:
            RotateHalf(source, output);
            break;
        default:
            RotateSideways(source, output, false);
            break;
    }
}

void CropPicture(const Picture& source, Picture& output, int left, int top, int width, int height) {
    if (&source == &output) {
        const Picture copy(source);
        CropPicture(copy, output, left, top, width, height);
        return;
    }
    const int srcW = source.width();
    const int srcH = source.height();
    // Clamping into an empty source would reach column or row -1.
    if (source.empty()) {
        output.allocate(0, 0);
        return;
    }
    // 64-bit so that left + width cannot overflow for sizes typed by hand.
    std::int64_t l = left, t = top, w = width, h = height;
    if (l < 0) l = 0;
    if (l > srcW - 1) l = srcW - 1;
    if (t < 0) t = 0;
    if (t > srcH - 1) t = srcH - 1;
    if (w <= 0) w = 1;
    if (l + w > srcW - 1) w = srcW - l;
    if (h <= 0) h = 1;
    if (t + h > srcH - 1) h = srcH - t;

    output.allocate(static_cast<int>(w), static_cast<int>(h));
    const std::size_t rowBytes = static_cast<std::size_t>(w) * 3;
    for (int y = 0; y < output.height(); ++y) {
        std::memcpy(output.row(y), source.pixel(static_cast<int>(l), static_cast<int>(t) + y), rowBytes);
    }
}

void InterlacePictures(const Picture& first, Picture& second, Picture& output) {
    if (&first == &output) {
        const Picture copy(first);
        InterlacePictures(copy, second, output);
        return;
    }
    if (&second == &output) {
        Picture copy(second);
        InterlacePictures(first, copy, output);
        return;
    }
    const int w1 = first.width();
    const int h1 = first.height();
    if (second.width() != w1 || second.height() != h1) {
        const int keepW = std::min(second.width(), w1);
        const int keepH = std::min(second.height(), h1);
        second.resize(w1, h1);
        // The added area is black so that the result does not depend on old memory.
        for (int y = 0; y < second.height(); ++y) {
            const int from = y < keepH ? keepW : 0;
            std::memset(second.pixel(from, y), 0, static_cast<std::size_t>(w1 - from) * 3);
        }
    }
    if (output.empty()) return;
    if (first.empty()) {
        std::memset(output.data(), 0, output.byteSize());
        return;
    }

    const int outW = output.width();
    const int outH = output.height();
    ParallelRows(outH, outW, [&](int rowBegin, int rowEnd) {
        for (int y = rowBegin; y < rowEnd; ++y) {
            const Picture& from = (y % 2 == 1) ? first : second;
            const std::uint8_t* src = from.row(ResizeIndex(y, outH, h1));
            std::uint8_t* dst = output.row(y);
            if (outW == w1) {
                std::memcpy(dst, src, output.stride());
                continue;
            }
            for (int x = 0; x < outW; ++x, dst += 3) CopyPixel(dst, src + std::size_t(3) * ResizeIndex(x, outW, w1));
        }
    });
}

}  // namespace turnlet
