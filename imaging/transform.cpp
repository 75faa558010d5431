// SPDX-License-Identifier: MIT
// Rotate-zoom-shift-crop by nearest neighbour, with the source point computed per pixel in double.
#include "transform.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "kernel_util.h"
#include "parallel.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace turnlet {

namespace {

constexpr double kPi = 3.141592653589793;

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

// Everything TransformPicture needs per pixel. dx * c and dx * s depend on the column only, so they
// are computed once per call; the values are the very ones the formula would compute in place.
struct Mapping {
    std::vector<double> dxc;
    std::vector<double> dxs;
    double k, leftD, topD, cxD, cyD, maxX, maxY;
    std::uint32_t srcStride;

    // u * k + left + cx with u = dx * c - dy * s, grouped exactly as written.
    double sourceX(int x, double dys) const { return (dxc[x] - dys) * k + leftD + cxD; }
    // v * k + top + cy with v = dx * s + dy * c.
    double sourceY(int x, double dyc) const { return (dxs[x] + dyc) * k + topD + cyD; }

#if defined(__x86_64__) && defined(__GNUC__)
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
#endif

    // Byte offsets of the source pixels for x in [begin, end), all inside the source. The clamps
    // change nothing there after truncation; they only keep the conversions in range. Returns the
    // largest offset, or UINT32_MAX where it was not worth tracking.
    std::uint32_t offsets(int begin, int end, double dys, double dyc, std::uint32_t* out, bool avx2) const {
        int x = begin;
        std::uint32_t maxOffset = UINT32_MAX;
#if defined(__x86_64__) && defined(__GNUC__)
        if (avx2) {
            maxOffset = 0;
            x = offsetsAvx2(begin, end, dys, dyc, out, maxOffset);
        }
#endif
#if defined(__SSE2__)
        // Two pixels per step, the same IEEE operations in the same order as sourceX/sourceY.
        const __m128d vk = _mm_set1_pd(k), vl = _mm_set1_pd(leftD), vt = _mm_set1_pd(topD);
        const __m128d vcx = _mm_set1_pd(cxD), vcy = _mm_set1_pd(cyD), vdys = _mm_set1_pd(dys);
        const __m128d vdyc = _mm_set1_pd(dyc), zero = _mm_setzero_pd();
        const __m128d vmaxX = _mm_set1_pd(maxX), vmaxY = _mm_set1_pd(maxY);
        const __m128i stride = _mm_set1_epi32(static_cast<int>(srcStride));
        // Left to the scalar loop after the wider one, which keeps maxOffset complete.
        const int pairsEnd = maxOffset == UINT32_MAX ? end : x;
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
            double fx = sourceX(x, dys);
            double fy = sourceY(x, dyc);
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

    const double k = ZoomFactor(scale);
    // scale >= 1000 gives an infinite or negative zoom, NaN gives NaN: nothing sensible to show.
    if (!(scale < 1000) || !std::isfinite(k) || k < 0 || source.empty()) {
        output.fill(background);
        return;
    }

    const double theta = angle * kPi / 180;
    const double c = std::cos(theta);
    const double s = std::sin(theta);
    const int cx = outWidth / 2;
    const int cy = outHeight / 2;
    const int srcW = source.width();
    const int srcH = source.height();

    Mapping map{std::vector<double>(outWidth),
                std::vector<double>(outWidth),
                k,
                double(left),
                double(top),
                double(cx),
                double(cy),
                double(srcW - 1),
                double(srcH - 1),
                static_cast<std::uint32_t>(source.stride())};
    for (int x = 0; x < outWidth; ++x) {
        const double dx = x - cx;
        map.dxc[x] = dx * c;
        map.dxs[x] = dx * s;
    }
    const std::uint8_t bgr[3] = {ColorBlue(background), ColorGreen(background), ColorRed(background)};

    const bool avx2 = detail::CpuHasAvx2();
    ParallelRows(outHeight, outWidth, [&](int rowBegin, int rowEnd) {
        std::vector<std::uint32_t> offsets(static_cast<std::size_t>(outWidth));
        for (int y = rowBegin; y < rowEnd; ++y) {
            const double dy = y - cy;
            const double dys = dy * s;
            const double dyc = dy * c;
            const Span spanX = InsideSpan(outWidth, srcW, [&](int x) { return map.sourceX(x, dys); });
            const Span spanY = InsideSpan(outWidth, srcH, [&](int x) { return map.sourceY(x, dyc); });
            const int begin = std::max(spanX.begin, spanY.begin);
            const int end = std::max(begin, std::min(spanX.end, spanY.end));

            std::uint8_t* dst = output.row(y);
            FillPixels(dst, begin, bgr);
            const std::uint32_t maxOffset = map.offsets(begin, end, dys, dyc, offsets.data(), avx2);
            CopyPixels(offsets.data(), end - begin, maxOffset, source.data(), source.byteSize(),
                       dst + std::size_t(3) * begin);
            FillPixels(dst + std::size_t(3) * end, outWidth - end, bgr);
        }
    });
}

}  // namespace turnlet
