// SPDX-License-Identifier: MIT
// The smooth frame's reduced source (its size and mapping) and the sampling of its averages.
#include "smooth_frame.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>

#include "imaging/kernel_util.h"
#include "base/parallel.h"

#if TURNLET_X86_KERNELS
#include <immintrin.h>
#endif

namespace turnlet {

namespace {

// Turned source pixels per output pixel, across and down the turned source: the crop-to-output
// ratio times the zoom, each crop direction counting as much as the tilt turns it that way (so a
// square shrink stays square at any tilt).
struct Ratios {
    double x;
    double y;
};

Ratios SmoothRatios(const FrameParams& params, const TransformMapping& mapping) {
    const double k = mapping.zoom();
    const double rx = k * params.CropWidth / params.OutputWidth;
    const double ry = k * params.CropHeight / params.OutputHeight;
    const double cc = mapping.cosine() * mapping.cosine(), ss = mapping.sine() * mapping.sine();
    return {rx * cc + ry * ss, rx * ss + ry * cc};
}

// A turned side of length reduced to about one pixel per ratio; unreduced where the frame does not
// shrink that way, or where the side is too long for the 32-bit sums.
int ReducedSide(int side, double ratio) {
    if (!(ratio > 1) || side > kMaxSmoothSide) return side;
    return static_cast<int>(std::clamp<double>(std::llround(side / ratio), 1, side));
}

// The pixels of one output row, from x on, the reduced pixel each takes or the background.
struct RowSampler {
    const SmoothPlan& plan;
    const TurnedView& view;
    const PixelRect& turned;
    const std::uint8_t* background;

    const std::uint8_t* one(TransformMapping::Terms column, TransformMapping::Terms row) const {
        int rx = 0, ry = 0;
        // The reach holds every pixel the frame takes; the test only keeps a stray one from reading
        // outside the averages.
        if (!plan.Reduced(column, row, rx, ry) || rx < turned.left || rx - turned.left >= turned.width ||
            ry < turned.top || ry - turned.top >= turned.height)
            return background;
        return view.origin + (view.base + std::int64_t{rx} * view.stepX + std::int64_t{ry} * view.stepY);
    }

    void scalar(int y, int x, int end, std::uint8_t* to) const {
        for (; x < end; ++x, to += 3) std::memcpy(to, one(plan.columnTerms[x], plan.rowTerms[y]), 3);
    }

#if TURNLET_X86_KERNELS
    // Four pixels a step, with the operations of SmoothPlan::Reduced in their order; a step with a
    // lane on the background, or whose 4-byte loads or stores could pass an end, goes lane by lane.
    template <bool Prefetch>
    __attribute__((target("avx2"))) void avx2(int y, int x, int end, std::uint8_t* to) const {
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
                scalarStep(y, x, to);
                continue;
            }
            const __m128i offset = _mm_add_epi32(base, _mm_add_epi32(_mm_mullo_epi32(_mm256_cvttpd_epi32(px), stepX),
                                                                     _mm_mullo_epi32(_mm256_cvttpd_epi32(py), stepY)));
            if (_mm_movemask_epi8(_mm_cmpgt_epi32(offset, lastLoad)) != 0) {
                scalarStep(y, x, to);
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
        scalar(y, x, end, to);
    }

    // Sixteen pixels a step: the same operations, the sixteen 4-byte loads as one gather, and their
    // first three bytes packed into 48. Steps it cannot take whole are left to the four-lane loop.
    // Sideways: an output row walks down columns of averages, one line per pixel, so the sixteen
    // pixels are fetched by one gather, and the same lanes some output rows on are asked for early.
    template <bool Sideways>
    __attribute__((target("avx512f,avx512bw,avx512vbmi"))) void avx512(int y, int x, int end, std::uint8_t* to) const {
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
                avx2<Sideways>(y, x, x + 16, to);
                continue;
            }
            const __m256i rxLow = _mm512_maskz_cvttpd_epi32(all, px[0]), rxHigh = _mm512_maskz_cvttpd_epi32(all, px[1]);
            const __m256i ryLow = _mm512_maskz_cvttpd_epi32(all, py[0]), ryHigh = _mm512_maskz_cvttpd_epi32(all, py[1]);
            const __m512i rx = _mm512_maskz_inserti64x4(all, _mm512_castsi256_si512(rxLow), rxHigh, 1);
            const __m512i ry = _mm512_maskz_inserti64x4(all, _mm512_castsi256_si512(ryLow), ryHigh, 1);
            if constexpr (Sideways) {
                const __m512i offset = _mm512_add_epi32(
                    base, _mm512_add_epi32(_mm512_mullo_epi32(rx, stepX), _mm512_mullo_epi32(ry, stepY)));
                if (_mm512_cmpgt_epi32_mask(offset, lastLoad) != 0) {
                    avx2<Sideways>(y, x, x + 16, to);
                    continue;
                }
                const __m512i gathered =
                    _mm512_mask_i32gather_epi32(_mm512_setzero_si512(), all16, offset, view.origin, 1);
                const __m512i pixels = _mm512_maskz_permutexvar_epi8(~__mmask64{0}, pack, gathered);
                if (x + 22 <= width) {
                    _mm512_storeu_si512(to, pixels);
                } else {
                    _mm512_mask_storeu_epi8(to, (std::uint64_t{1} << 48) - 1, pixels);
                }
                alignas(64) std::int32_t ahead[16];
                _mm512_store_si512(
                    ahead, _mm512_maskz_min_epi32(all16,
                                                  _mm512_maskz_max_epi32(all16, _mm512_add_epi32(offset, prefetch),
                                                                         _mm512_setzero_si512()),
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
                avx2<Sideways>(y, x, x + 16, to);
                continue;
            }
            const std::uint8_t* const w0 = view.origin + window0;
            const std::uint8_t* const w1 = w0 + rowBytes * std::min(1, rowSpan);
            const std::uint8_t* const w2 = w0 + rowBytes * std::min(2, rowSpan);
            const std::uint8_t* const w3 = view.origin + window3;
            // Index bits 6 and 7 name the window: the row's distance from the first lane's.
            __m512i rel =
                _mm512_sub_epi32(_mm512_mullo_epi32(rx, stepX), _mm512_set1_epi32(static_cast<int>(columnStart)));
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
        avx2<Sideways>(y, x, end, to);
    }
#endif

    void scalarStep(int y, int x, std::uint8_t* to) const {
        for (int lane = 0; lane < 4; ++lane, to += 3)
            std::memcpy(to, one(plan.columnTerms[x + lane], plan.rowTerms[y]), 3);
    }
};

// An untilted frame's sampler: each output column's and row's reduced column and row worked out
// once (SmoothPlan::UprightColumn and UprightRow), and rows filled by copying. Every pixel still
// gets exactly what SmoothPlan::Reduced gives it.
struct UprightSampler {
    const TurnedView& view;
    const std::uint8_t* background;
    // Offsets may be negative (a turned picture is read backwards): background is this.
    static constexpr std::int64_t kOff = INT64_MIN;
    std::vector<std::int64_t> column;  // per output column: its part of the offset, or kOff
    std::vector<std::int64_t> row;     // per output row: its part of the offset, or kOff
    // Columns [begin, end) take consecutive reduced pixels from column[begin] on (a copy), or are
    // all background.
    struct Run {
        int begin;
        int end;
        bool copy;
    };
    std::vector<Run> runs;
    bool contiguous = false;

    UprightSampler(const SmoothPlan& plan, const TurnedView& view, const PixelRect& turned,
                   const std::uint8_t* background, int width, int height)
        : view(view), background(background), column(width), row(height), contiguous(view.stepX == 3) {
        // The reach holds every pixel the frame takes; the test only keeps a stray one from reading
        // outside the averages.
        for (int x = 0; x < width; ++x) {
            const int rx = plan.UprightColumn(x);
            const bool inside = rx >= turned.left && rx - turned.left < turned.width;
            column[x] = inside ? std::int64_t{rx} * view.stepX : kOff;
        }
        for (int y = 0; y < height; ++y) {
            const int ry = plan.UprightRow(y);
            const bool inside = ry >= turned.top && ry - turned.top < turned.height;
            row[y] = inside ? view.base + std::int64_t{ry} * view.stepY : kOff;
        }
        if (!contiguous) return;
        for (int x = 0; x < width;) {
            const bool copy = column[x] != kOff;
            int end = x + 1;
            while (end < width &&
                   (copy ? column[end] != kOff && column[end] == column[end - 1] + 3 : column[end] == kOff))
                ++end;
            runs.push_back({x, end, copy});
            x = end;
        }
    }

    // Output columns [x, end) of row y.
    void fill(int y, int x, int end, std::uint8_t* to) const {
        if (row[y] == kOff) {
            for (; x < end; ++x, to += 3) std::memcpy(to, background, 3);
            return;
        }
        const std::uint8_t* const line = view.origin + row[y];
        if (contiguous) {
            for (const Run& run : runs) {
                const int from = std::max(run.begin, x), until = std::min(run.end, end);
                if (from >= until) continue;
                std::uint8_t* at = to + std::size_t{3} * static_cast<std::size_t>(from - x);
                if (run.copy) {
                    std::memcpy(at, line + column[from], std::size_t{3} * static_cast<std::size_t>(until - from));
                } else {
                    for (int i = from; i < until; ++i, at += 3) std::memcpy(at, background, 3);
                }
            }
            return;
        }
        for (; x < end; ++x, to += 3) std::memcpy(to, column[x] == kOff ? background : line + column[x], 3);
    }
};

}  // namespace

void SampleReduced(const SmoothPlan& plan, const TurnedView& view, const PixelRect& turned,
                   const std::uint8_t* background, Picture& output) {
    constexpr KernelLevel kPaths[] = {KernelLevel::Portable, KernelLevel::Avx2, KernelLevel::Avx512Vbmi};
    const KernelLevel level = detail::ChooseKernelLevel(Kernel::SmoothFrame, kPaths);
    // Offsets within the averages fit 32 bits: they are a few megabytes.
    [[maybe_unused]] const bool vector =
        level >= KernelLevel::Avx2 && view.bytes >= 4 && view.bytes < (std::size_t{1} << 31);
    [[maybe_unused]] const bool wide = vector && level == KernelLevel::Avx512Vbmi;
    const RowSampler sampler{plan, view, turned, background};
    // With a sideways source an output row walks across rows of averages: stripes of output
    // columns, each down all the thread's rows, keep reading the same few lines while they are in
    // the first-level cache. Otherwise output rows walk rows of averages, whole.
    const bool sideways = view.stepX != 3 && view.stepX != -3;
    const int width = output.width();
    const int stripe = sideways ? 128 : width;
    std::optional<UprightSampler> upright;
    if (plan.mapping.sine() == 0 && width > 0 && output.height() > 0)
        upright.emplace(plan, view, turned, background, width, output.height());
    ParallelRows(output.height(), width, [&](int rowBegin, int rowEnd) {
        for (int x = 0; x < width; x += stripe) {
            const int end = std::min(width, x + stripe);
            for (int y = rowBegin; y < rowEnd; ++y) {
                if (upright) {
                    upright->fill(y, x, end, output.pixel(x, y));
                    continue;
                }
#if TURNLET_X86_KERNELS
                if (wide) {
                    if (sideways) {
                        sampler.avx512<true>(y, x, end, output.pixel(x, y));
                    } else {
                        sampler.avx512<false>(y, x, end, output.pixel(x, y));
                    }
                    continue;
                }
                if (vector) {
                    if (sideways) {
                        sampler.avx2<true>(y, x, end, output.pixel(x, y));
                    } else {
                        sampler.avx2<false>(y, x, end, output.pixel(x, y));
                    }
                    continue;
                }
#endif
                sampler.scalar(y, x, end, output.pixel(x, y));
            }
        }
    });
}

bool SmoothResizes(const FrameParams& params) {
    if (!params.Smooth || params.OutputWidth <= 0 || params.OutputHeight <= 0 || params.CropWidth <= 0 ||
        params.CropHeight <= 0 || std::int64_t{params.CropWidth} * params.CropHeight > kMaxPicturePixels)
        return false;
    const TransformMapping mapping(0, 0, params.CropWidth, params.CropHeight, params.Angle, params.Scale);
    if (!mapping.valid()) return false;
    const Ratios r = SmoothRatios(params, mapping);
    return r.x > 1 || r.y > 1;
}

SmoothPlan::SmoothPlan(const FrameParams& params, int decodedWidth, int decodedHeight)
    : mapping(ShiftedOrigin(params.CropLeft, params.ShiftX), ShiftedOrigin(params.CropTop, params.ShiftY),
              params.CropWidth, params.CropHeight, params.Angle, params.Scale),
      degrees(params.RotationDegrees),
      sideways(degrees == 90 || degrees == 270),
      decodedWidth(decodedWidth),
      decodedHeight(decodedHeight) {
    const int outWidth = std::max(0, params.OutputWidth), outHeight = std::max(0, params.OutputHeight);
    if (ValidTurn(degrees) && decodedWidth > 0 && decodedHeight > 0 && mapping.valid() && outWidth > 0 &&
        outHeight > 0) {
        turnedWidth = sideways ? decodedHeight : decodedWidth;
        turnedHeight = sideways ? decodedWidth : decodedHeight;
        const Ratios r = SmoothRatios(params, mapping);
        reducedWidth = ReducedSide(turnedWidth, r.x);
        reducedHeight = ReducedSide(turnedHeight, r.y);
        factorX = static_cast<double>(reducedWidth) / turnedWidth;
        factorY = static_cast<double>(reducedHeight) / turnedHeight;
    }
    // Output pixel x covers crop [x, x + 1) * crop / out; its centre as a crop position (pixel
    // centres at whole positions, as the transform takes them).
    columnTerms.resize(static_cast<std::size_t>(outWidth));
    columnCos.resize(columnTerms.size());
    columnSin.resize(columnTerms.size());
    for (int x = 0; x < outWidth; ++x) {
        columnTerms[x] = mapping.ColumnTermsAt((2.0 * x + 1) * params.CropWidth / (2.0 * outWidth) - 0.5);
        columnCos[x] = columnTerms[x].cos;
        columnSin[x] = columnTerms[x].sin;
    }
    rowTerms.resize(static_cast<std::size_t>(outHeight));
    for (int y = 0; y < outHeight; ++y)
        rowTerms[y] = mapping.RowTermsAt((2.0 * y + 1) * params.CropHeight / (2.0 * outHeight) - 0.5);
}

int SmoothPlan::UprightColumn(int x) const {
    // Row 0's terms stand for every row's: their sine part is a zero.
    const double fx = (mapping.SourceX(columnTerms[x], rowTerms[0]) + 0.5) * factorX;
    return fx >= 0 && fx < reducedWidth ? static_cast<int>(fx) : -1;
}

int SmoothPlan::UprightRow(int y) const {
    const double fy = (mapping.SourceY(columnTerms[0], rowTerms[y]) + 0.5) * factorY;
    return fy >= 0 && fy < reducedHeight ? static_cast<int>(fy) : -1;
}

bool SamplesOneToOne(const SmoothPlan& plan, const PixelRect& turned, int width, int height) {
    if (plan.mapping.sine() != 0 || turned.width != width || turned.height != height || width <= 0 || height <= 0)
        return false;
    for (int x = 0; x < width; ++x)
        if (plan.UprightColumn(x) != turned.left + x) return false;
    for (int y = 0; y < height; ++y)
        if (plan.UprightRow(y) != turned.top + y) return false;
    return true;
}

PixelRect SmoothPlan::TurnedReach() const {
    if (reducedWidth <= 0 || reducedHeight <= 0 || columnTerms.empty() || rowTerms.empty()) return {};
    // The point moves monotonically along an output row and down a column (each operation is
    // monotone in the position), so its extremes lie at the corners.
    double xs[4], ys[4];
    int i = 0;
    for (const auto& column : {columnTerms.front(), columnTerms.back()}) {
        for (const auto& row : {rowTerms.front(), rowTerms.back()}) {
            xs[i] = std::floor((mapping.SourceX(column, row) + 0.5) * factorX);
            ys[i++] = std::floor((mapping.SourceY(column, row) + 0.5) * factorY);
        }
    }
    return CornerBounds(xs, ys, reducedWidth, reducedHeight);
}

PixelRect CornerBounds(const double (&xs)[4], const double (&ys)[4], int width, int height) {
    double lowX = INFINITY, highX = -INFINITY, lowY = INFINITY, highY = -INFINITY;
    for (int i = 0; i < 4; ++i) {
        if (std::isnan(xs[i]) || std::isnan(ys[i])) return {0, 0, width, height};
        lowX = std::min(lowX, xs[i]);
        highX = std::max(highX, xs[i]);
        lowY = std::min(lowY, ys[i]);
        highY = std::max(highY, ys[i]);
    }
    lowX = std::max(lowX, 0.0);
    lowY = std::max(lowY, 0.0);
    highX = std::min(highX, width - 1.0);
    highY = std::min(highY, height - 1.0);
    if (!(lowX <= highX && lowY <= highY)) return {};
    return {static_cast<int>(lowX), static_cast<int>(lowY), static_cast<int>(highX - lowX) + 1,
            static_cast<int>(highY - lowY) + 1};
}

SmoothAxis SmoothPlan::DecodedAxisX() const {
    return MakeSmoothAxis(DecodedReducedWidth(), decodedWidth);
}

SmoothAxis SmoothPlan::DecodedAxisY() const {
    return MakeSmoothAxis(DecodedReducedHeight(), decodedHeight);
}

PixelRect DecodedRect(int x0, int x1, int y0, int y1, int degrees, int decodedWidth, int decodedHeight) {
    const int lastX = decodedWidth - 1, lastY = decodedHeight - 1;
    switch (degrees) {
        case 90:  // decoded (sy, lastY - sx)
            return {y0, lastY - x1, y1 - y0 + 1, x1 - x0 + 1};
        case 180:
            return {lastX - x1, lastY - y1, x1 - x0 + 1, y1 - y0 + 1};
        case 270:  // decoded (lastX - sy, sx)
            return {lastX - y1, x0, y1 - y0 + 1, x1 - x0 + 1};
        default:
            return {x0, y0, x1 - x0 + 1, y1 - y0 + 1};
    }
}

}  // namespace turnlet
