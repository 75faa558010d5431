// SPDX-License-Identifier: MIT
// Rotate-zoom-shift-crop by nearest neighbour, with the source point computed per pixel in double.
#include "transform.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "base/parallel.h"
#include "kernel_util.h"
#include "kernels/transform_kernels.h"

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

PermuteWalk MakePermuteWalk(const TransformMapping& m, const Picture& source) {
    return {source.data(), PrefetchShift(m.cosine(), m.sine(), m.zoom(), static_cast<std::int64_t>(source.stride())),
            m.cosine() < 0 ? 20 : 0, m.sine() < 0 ? -1 : 1,
            // It needs a few rows above and below each step and 64 bytes a window.
            source.height() > 9 && source.stride() >= 64 ? ReachOfStep(m.cosine(), m.sine(), m.zoom()) : StepReach{}};
}
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

// The layout with the mapping itself, which the scalar loops call.
struct Mapping : TransformLayout {
    Mapping(const TransformMapping& m, int outWidth, const Picture& source)
        : TransformLayout{std::vector<double>(static_cast<std::size_t>(outWidth)),
                          std::vector<double>(static_cast<std::size_t>(outWidth)),
                          m.zoom(),
                          m.left(),
                          m.top(),
                          m.centreX(),
                          m.centreY(),
                          static_cast<double>(source.width() - 1),
                          static_cast<double>(source.height() - 1),
                          static_cast<std::uint32_t>(source.stride())},
          formula(m) {
        for (int x = 0; x < outWidth; ++x) {
            const TransformMapping::Terms column = m.ColumnTerms(x);
            dxc[x] = column.cos;
            dxs[x] = column.sin;
        }
    }

    const TransformMapping& formula;

    double sourceX(int x, TransformMapping::Terms row) const { return formula.SourceX({dxc[x], dxs[x]}, row); }
    double sourceY(int x, TransformMapping::Terms row) const { return formula.SourceY({dxc[x], dxs[x]}, row); }

    // Byte offsets of the source pixels for x in [begin, end), all inside the source. The clamps
    // change nothing there after truncation; they only keep the conversions in range. Returns the
    // largest offset, or UINT32_MAX where it was not worth tracking.
    std::uint32_t offsets(int begin, int end, double dys, double dyc, std::uint32_t* out, KernelLevel level) const {
        int x = begin;
        std::uint32_t maxOffset = UINT32_MAX;
#if TURNLET_X86_KERNELS
        // The scalar loop finishes what the wider ones leave, which keeps maxOffset complete.
        if (level >= KernelLevel::Avx2) {
            maxOffset = 0;
            x = avx2::Offsets(*this, begin, end, dys, dyc, out, maxOffset);
        } else if (level == KernelLevel::Ssse3) {
            x = ssse3::Offsets(*this, begin, end, dys, dyc, out);
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
    const PermuteWalk walk = MakePermuteWalk(formula, source);
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
                run.x = avx512::CopyPermuted(map, walk, run.x, stop, run.vectorEnd, formula.RowTerms(y), output.row(y));
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
