// SPDX-License-Identifier: MIT
// Rotate-zoom-shift-crop by nearest neighbour, with the source point computed per pixel in double.
#include "transform.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "kernel_util.h"
#include "base/parallel.h"

#if TURNLET_X86_KERNELS
#include <immintrin.h>
#endif

namespace turnlet {

namespace {

// Byte offsets into the source fit 32 bits for every picture we agree to hold.
static_assert(kMaxPicturePixels * 3 < (std::int64_t(1) << 31));

// First x in [0, n) where pred holds, for a pred that is false then true along x; n if never.
template <typename Pred>
int FirstTrue(int n, Pred pred) {
    int lo = 0, hi = n;
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (pred(mid)) {
            hi = mid;
        } else {
            lo = mid + 1;
        }
    }
    return lo;
}

#if TURNLET_X86_KERNELS

// Source bytes from a pixel's source point to that of the pixel a few output rows below, rounded;
// 0 when that is no sensible distance.
std::int64_t PrefetchShift(double c, double s, double k, std::int64_t stride) {
    constexpr double kAheadRows = 6;
    const double rows = kAheadRows * c * k;
    const double columns = -kAheadRows * s * k;
    if (!(std::abs(rows) < 1e6 && std::abs(columns) < 1e6)) return 0;
    return std::llround(rows) * stride + 3 * std::llround(columns);
}

// How far the 16 pixels of one step along an output row reach into the source. Along the row the
// source point moves (c k, s k) a pixel, and over a step's 15 moves two truncated coordinates whose
// points lie m apart differ by at most ceil(m). The margin covers the rounding of the computed
// points, far below 1e-6 in any picture.
struct StepReach {
    int rows = 0;          // source rows to load a step (2 to 4); 0 where the permute path cannot serve
    bool checked = false;  // some steps reach further and are checked, then copied pixel by pixel
};

StepReach ReachOfStep(double c, double s, double k) {
    const double across = 15 * std::abs(c * k) + 1e-6;
    const double down = 15 * std::abs(s * k) + 1e-6;
    if (across <= 20 && down <= 3) return {static_cast<int>(std::ceil(down)) + 1, false};
    // A step then reaches 21 columns or 4 rows, or one more. The fraction that reaches one more
    // grows with the excess: beyond about one step in seven, copying those pixel by pixel costs
    // more than the offsets path does.
    if (across <= 20.15 && down <= 3.15) return {4, true};
    return {};
}

// What the permute path keeps for a whole call. Along every output row sx rises where cos >= 0 and
// falls otherwise, and sy rises where sin >= 0 (a flat coordinate fits either way).
struct PermuteWalk {
    PermuteWalk(const TransformMapping& m, const Picture& source)
        : src(source.data()),
          prefetchShift(PrefetchShift(m.cosine(), m.sine(), m.zoom(), static_cast<std::int64_t>(source.stride()))),
          leftShift(m.cosine() < 0 ? 20 : 0),
          rowStep(m.sine() < 0 ? -1 : 1),
          // It needs a few rows above and below each step and 64 bytes a window.
          reach(source.height() > 9 && source.stride() >= 64 ? ReachOfStep(m.cosine(), m.sine(), m.zoom())
                                                             : StepReach{}) {}

    const std::uint8_t* src;
    std::int64_t prefetchShift;
    int leftShift;  // pixels from a step's first pixel to its windows' start
    int rowStep;    // +1 where the windows go down the source, -1 up
    StepReach reach;
};
#endif

struct Span {
    int begin;
    int end;
};

// The x in [0, n) where truncate(g(x)) lies in [0, size), size >= 1. g is a chain of IEEE operations
// each monotone in x (x - cx, times a constant, plus constants, times k >= 0), so g is monotone and the
// set is one run; trunc(g) is in [0, size) exactly when -1 < g < size.
template <typename Fn>
Span InsideSpan(int n, int size, Fn g) {
    const double first = g(0);
    const double last = g(n - 1);
    if (std::isnan(first) || std::isnan(last)) return {0, 0};
    const double limit = size;
    if (first <= last) {
        return {FirstTrue(n, [&](int x) { return g(x) > -1.0; }), FirstTrue(n, [&](int x) { return !(g(x) < limit); })};
    }
    return {FirstTrue(n, [&](int x) { return g(x) < limit; }), FirstTrue(n, [&](int x) { return !(g(x) > -1.0); })};
}

void FillPixels(std::uint8_t* dst, int count, const std::uint8_t bgr[3]) {
    for (int i = 0; i < count; ++i, dst += 3) std::memcpy(dst, bgr, 3);
}

// TransformMapping laid out for row walks: its column terms (dx * c, dx * s) are computed once per
// call, and its constants are held as the vector paths load them. The scalar loops call the
// mapping itself; the vector loops repeat its operations in its order, lane by lane.
struct Mapping {
    Mapping(const TransformMapping& m, int outWidth, const Picture& source)
        : formula(m),
          dxc(static_cast<std::size_t>(outWidth)),
          dxs(static_cast<std::size_t>(outWidth)),
          k(m.zoom()),
          leftD(m.left()),
          topD(m.top()),
          cxD(m.centreX()),
          cyD(m.centreY()),
          maxX(source.width() - 1),
          maxY(source.height() - 1),
          srcStride(static_cast<std::uint32_t>(source.stride())) {
        for (int x = 0; x < outWidth; ++x) {
            const TransformMapping::Terms column = m.ColumnTerms(x);
            dxc[x] = column.cos;
            dxs[x] = column.sin;
        }
    }

    const TransformMapping& formula;
    std::vector<double> dxc;
    std::vector<double> dxs;
    double k, leftD, topD, cxD, cyD, maxX, maxY;
    std::uint32_t srcStride;

    double sourceX(int x, TransformMapping::Terms row) const { return formula.SourceX({dxc[x], dxs[x]}, row); }
    double sourceY(int x, TransformMapping::Terms row) const { return formula.SourceY({dxc[x], dxs[x]}, row); }

#if TURNLET_X86_KERNELS
    // Four pixels per step; the first x it left undone is returned, the largest offset in maxOffset.
    __attribute__((target("avx2"))) int offsetsAvx2(int begin, int end, double dys, double dyc, std::uint32_t* out,
                                                    std::uint32_t& maxOffset) const {
        const __m256d vk = _mm256_set1_pd(k), vl = _mm256_set1_pd(leftD), vt = _mm256_set1_pd(topD);
        const __m256d vcx = _mm256_set1_pd(cxD), vcy = _mm256_set1_pd(cyD), vdys = _mm256_set1_pd(dys);
        const __m256d vdyc = _mm256_set1_pd(dyc), zero = _mm256_setzero_pd();
        const __m256d vmaxX = _mm256_set1_pd(maxX), vmaxY = _mm256_set1_pd(maxY);
        const __m128i stride = _mm_set1_epi32(static_cast<int>(srcStride));
        __m128i largest = _mm_setzero_si128();
        int x = begin;
        for (; x + 4 <= end; x += 4) {
            __m256d fx = _mm256_sub_pd(_mm256_loadu_pd(&dxc[x]), vdys);
            fx = _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(fx, vk), vl), vcx);
            __m256d fy = _mm256_add_pd(_mm256_loadu_pd(&dxs[x]), vdyc);
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

    // Sixteen pixels per step from x while x < stop, written straight to dst (the output row), for a
    // mapping whose steps reach at most 21 columns and kRows rows (ReachOfStep). Within [x, end) the
    // source point is inside the source, more than 4 rows from its top and bottom, so kRows
    // consecutive rows from any step's first row, and 64 bytes from 60 before the step's first pixel
    // in each, lie inside it. Each row's pixels of a step then lie in one 64-byte window, and byte
    // permutes gather all 48 bytes. The windows start at the step's first pixel, or 20 pixels left
    // of it where sx falls, and go down the source, or up where sy falls. kChecked copies the steps
    // that reach further pixel by pixel. Returns the first x left undone.
    template <int kRows, bool kChecked>
    __attribute__((target("avx512f,avx512bw,avx512vbmi"))) int copyVbmi(const PermuteWalk& walk, int x, int stop,
                                                                        int end, TransformMapping::Terms row,
                                                                        std::uint8_t* dst) const {
        const double dys = row.sin, dyc = row.cos;
        const std::uint8_t* const src = walk.src;
        const std::int64_t prefetchShift = walk.prefetchShift;
        const int leftShift = walk.leftShift;
        const __m512d vk = _mm512_set1_pd(k), vl = _mm512_set1_pd(leftD), vt = _mm512_set1_pd(topD);
        const __m512d vcx = _mm512_set1_pd(cxD), vcy = _mm512_set1_pd(cyD), vdys = _mm512_set1_pd(dys);
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
        // Locals, as the byte stores below could otherwise alias the members.
        const double* const columnsC = dxc.data();
        const double* const columnsS = dxs.data();
        const std::int64_t stride = srcStride;
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
                const __m512i columns =
                    _mm512_add_epi32(_mm512_sub_epi32(sx, _mm512_maskz_permutexvar_epi32(all16, first, sx)),
                                     _mm512_set1_epi32(leftShift));
                const __m512i rows = _mm512_maskz_abs_epi32(
                    all16, _mm512_sub_epi32(sy, _mm512_maskz_permutexvar_epi32(all16, first, sy)));
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
            const std::uint8_t* const window = src + (stride * _mm256_cvtsi256_si32(syLow) +
                                                      3 * std::int64_t(_mm256_cvtsi256_si32(sxLow) - leftShift));
            // The rows below are read a few output rows later; ask for them now, as the hardware
            // does not foresee this diagonal walk through the source.
            const auto ahead = reinterpret_cast<const char*>(reinterpret_cast<std::uintptr_t>(window) + prefetchShift);
            _mm_prefetch(ahead, _MM_HINT_T0);
            _mm_prefetch(ahead + 63, _MM_HINT_T0);
            const __m512i byte = _mm512_add_epi32(_mm512_mullo_epi32(sx, three), _mm512_mullo_epi32(sy, rowWeight));
            const __m512i rel =
                _mm512_sub_epi32(byte, _mm512_maskz_permutexvar_epi32(all16, _mm512_setzero_si512(), byte));
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

    int copyVbmi(const PermuteWalk& walk, int x, int stop, int end, TransformMapping::Terms row,
                 std::uint8_t* dst) const {
        if (walk.reach.checked) return copyVbmi<4, true>(walk, x, stop, end, row, dst);
        if (walk.reach.rows == 2) return copyVbmi<2, false>(walk, x, stop, end, row, dst);
        if (walk.reach.rows == 3) return copyVbmi<3, false>(walk, x, stop, end, row, dst);
        return copyVbmi<4, false>(walk, x, stop, end, row, dst);
    }
#endif

    // Byte offsets of the source pixels for x in [begin, end), all inside the source. The clamps
    // change nothing there after truncation; they only keep the conversions in range. Returns the
    // largest offset, or UINT32_MAX where it was not worth tracking.
    std::uint32_t offsets(int begin, int end, double dys, double dyc, std::uint32_t* out, KernelLevel level) const {
        int x = begin;
        std::uint32_t maxOffset = UINT32_MAX;
#if TURNLET_X86_KERNELS
        if (level >= KernelLevel::Avx2) {
            maxOffset = 0;
            x = offsetsAvx2(begin, end, dys, dyc, out, maxOffset);
        }
        // Two pixels per step, the same IEEE operations in the same order as sourceX/sourceY.
        const __m128d vk = _mm_set1_pd(k), vl = _mm_set1_pd(leftD), vt = _mm_set1_pd(topD);
        const __m128d vcx = _mm_set1_pd(cxD), vcy = _mm_set1_pd(cyD), vdys = _mm_set1_pd(dys);
        const __m128d vdyc = _mm_set1_pd(dyc), zero = _mm_setzero_pd();
        const __m128d vmaxX = _mm_set1_pd(maxX), vmaxY = _mm_set1_pd(maxY);
        const __m128i stride = _mm_set1_epi32(static_cast<int>(srcStride));
        // Left to the scalar loop after the wider one, which keeps maxOffset complete.
        const int pairsEnd = level == KernelLevel::Ssse3 ? end : x;
        for (; x + 2 <= pairsEnd; x += 2) {
            __m128d fx = _mm_add_pd(_mm_add_pd(_mm_mul_pd(_mm_sub_pd(_mm_loadu_pd(&dxc[x]), vdys), vk), vl), vcx);
            __m128d fy = _mm_add_pd(_mm_add_pd(_mm_mul_pd(_mm_add_pd(_mm_loadu_pd(&dxs[x]), vdyc), vk), vt), vcy);
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
#endif
        for (; x < end; ++x) {
            double fx = sourceX(x, {dyc, dys});
            double fy = sourceY(x, {dyc, dys});
            fx = fx > 0.0 ? fx : 0.0;
            fx = fx < maxX ? fx : maxX;
            fy = fy > 0.0 ? fy : 0.0;
            fy = fy < maxY ? fy : maxY;
            out[x - begin] = static_cast<std::uint32_t>(static_cast<int>(fy)) * srcStride +
                             static_cast<std::uint32_t>(static_cast<int>(fx)) * 3;
            if (maxOffset != UINT32_MAX) maxOffset = std::max(maxOffset, out[x - begin]);
        }
        return maxOffset;
    }
};

// Moves 4 bytes per pixel; the spare byte lands on the next output pixel, which is written
// afterwards. The span's last pixel takes 3, and so does the source's last pixel, which has no
// spare byte after it: rows that may read it (maxOffset) take the checked loop.
void CopyPixels(const std::uint32_t* offsets, int count, std::uint32_t maxOffset, const std::uint8_t* src,
                std::size_t srcBytes, std::uint8_t* dst) {
    if (count <= 0) return;
    auto move4 = [&](int i) {
        std::uint32_t v;
        std::memcpy(&v, src + offsets[i], 4);
        std::memcpy(dst + std::size_t(3) * i, &v, 4);
    };
    int i = 0;
    if (std::size_t(maxOffset) + 4 <= srcBytes) {
        for (; i + 4 < count; i += 4) {
            move4(i);
            move4(i + 1);
            move4(i + 2);
            move4(i + 3);
        }
        for (; i + 1 < count; ++i) move4(i);
    } else {
        for (; i + 1 < count; ++i) {
            if (offsets[i] + std::size_t(4) <= srcBytes) {
                move4(i);
            } else {
                std::memcpy(dst + std::size_t(3) * i, src + offsets[i], 3);
            }
        }
    }
    std::memcpy(dst + std::size_t(3) * i, src + offsets[i], 3);
}

}  // namespace

double ZoomFactor(double scale) {
    if (scale > 0) return 1000 / (1000 - scale);
    return (1000 + scale) * 0.001;
}

void TransformPicture(const Picture& source, Picture& output, int left, int top, int outWidth, int outHeight,
                      Color background, double angle, double scale) {
    if (&source == &output) {
        const Picture copy(source);
        TransformPicture(copy, output, left, top, outWidth, outHeight, background, angle, scale);
        return;
    }
    output.allocate(outWidth, outHeight);
    if (output.empty()) return;

    const TransformMapping formula(left, top, outWidth, outHeight, angle, scale);
    // Nothing of the source to show (scale 1000 or more, or NaN): background only.
    if (!formula.valid() || source.empty()) {
        output.fill(background);
        return;
    }
    const int srcW = source.width();
    const int srcH = source.height();
    const Mapping map(formula, outWidth, source);
    const std::uint8_t bgr[3] = {ColorBlue(background), ColorGreen(background), ColorRed(background)};

    constexpr KernelLevel kPaths[] = {KernelLevel::Portable, KernelLevel::Ssse3, KernelLevel::Avx2,
                                      KernelLevel::Avx512Vbmi};
    const KernelLevel level = detail::ChooseKernelLevel(Kernel::Transform, kPaths);
#if TURNLET_X86_KERNELS
    const PermuteWalk walk(formula, source);
    const bool permute = level == KernelLevel::Avx512Vbmi && walk.reach.rows > 0;
#endif
    ParallelRows(outHeight, outWidth, [&](int rowBegin, int rowEnd) {
        std::vector<std::uint32_t> offsets(static_cast<std::size_t>(outWidth));
        auto copyByOffsets = [&](int y, int from, int to) {
            const TransformMapping::Terms row = formula.RowTerms(y);
            const std::uint32_t maxOffset = map.offsets(from, to, row.sin, row.cos, offsets.data(), level);
            CopyPixels(offsets.data(), to - from, maxOffset, source.data(), source.byteSize(),
                       output.row(y) + std::size_t(3) * from);
        };
        // Each row's run inside the source, and how far along it the vector path has come.
        struct Run {
            int x, vectorEnd, end;
        };
        std::vector<Run> runs(static_cast<std::size_t>(rowEnd - rowBegin));
        for (int y = rowBegin; y < rowEnd; ++y) {
            const TransformMapping::Terms row = formula.RowTerms(y);
            const Span spanX = InsideSpan(outWidth, srcW, [&](int x) { return map.sourceX(x, row); });
            const Span spanY = InsideSpan(outWidth, srcH, [&](int x) { return map.sourceY(x, row); });
            const int begin = std::max(spanX.begin, spanY.begin);
            const int end = std::max(begin, std::min(spanX.end, spanY.end));
            std::uint8_t* dst = output.row(y);
            FillPixels(dst, begin, bgr);
            FillPixels(dst + std::size_t(3) * end, outWidth - end, bgr);
            Run& run = runs[static_cast<std::size_t>(y - rowBegin)];
            run = {begin, begin, end};
#if TURNLET_X86_KERNELS
            if (permute) {
                // Where the windows' rows stay inside the source; the few pixels nearer its top and
                // bottom rows take the offsets.
                const Span deep = InsideSpan(outWidth, srcH - 9, [&](int x) { return map.sourceY(x, row) - 5.0; });
                run.x = std::clamp(deep.begin, begin, end);
                run.vectorEnd = std::clamp(deep.end, run.x, end);
                copyByOffsets(y, begin, run.x);
            }
#endif
        }
#if TURNLET_X86_KERNELS
        // In strips of columns: the source lines a row reads are read again by the rows below, and
        // within a strip they are still in the first-level cache by then.
        constexpr int kStripPixels = 512;
        for (int stop = kStripPixels; permute && stop < outWidth + kStripPixels; stop += kStripPixels) {
            for (int y = rowBegin; y < rowEnd; ++y) {
                Run& run = runs[static_cast<std::size_t>(y - rowBegin)];
                run.x = map.copyVbmi(walk, run.x, stop, run.vectorEnd, formula.RowTerms(y), output.row(y));
            }
        }
#endif
        for (int y = rowBegin; y < rowEnd; ++y) {
            const Run& run = runs[static_cast<std::size_t>(y - rowBegin)];
            copyByOffsets(y, run.x, run.end);
        }
    });
}

}  // namespace turnlet
