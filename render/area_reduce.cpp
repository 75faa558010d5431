// SPDX-License-Identifier: MIT
// The area averages of part of a picture, the bytes ResizePictureSmooth gives them: rows summed down
// in cache-sized strips, then each output's samples weighed and the exact mean taken.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "base/parallel.h"
#include "imaging/kernel_util.h"
#include "kernels/area_reduce_kernels.h"
#include "smooth_frame.h"

namespace turnlet {

namespace {

Gather MakeGather(const SmoothAxis& axis, int begin, int end) {
    Gather g;
    for (int o = begin; o < end; ++o) {
        g.first.push_back(axis.begin[o] - axis.begin[begin]);
        g.offset.push_back(static_cast<int>(g.weights.size()));
        for (int j = axis.begin[o]; j < axis.end[o]; ++j)
            g.weights.push_back(axis.target[j] == o ? axis.weight[j] : axis.nextWeight[j]);
    }
    g.offset.push_back(static_cast<int>(g.weights.size()));
    g.samples = axis.end[end - 1] - axis.begin[begin];
    int longest = 0;
    for (int o = 0; o < end - begin; ++o) longest = std::max(longest, g.offset[o + 1] - g.offset[o]);
    if (longest <= kMaxPadded) {
        g.stride = longest;
        g.uniform = g.weights.empty() ? 0 : g.weights.front();
        for (int o = 0; o < end - begin; ++o)
            if (g.offset[o + 1] - g.offset[o] != longest) g.uniform = 0;
        for (const std::uint64_t w : g.weights)
            if (w != g.uniform) g.uniform = 0;
        g.tiled = g.uniform != 0;
        for (int o = 0; o < end - begin; ++o)
            if (g.first[o] != o * longest) g.tiled = false;
        g.padded.assign(static_cast<std::size_t>(end - begin) * longest, 0);
        for (int o = 0; o < end - begin; ++o)
            for (int k = g.offset[o]; k < g.offset[o + 1]; ++k)
                g.padded[o * longest + (k - g.offset[o])] = static_cast<double>(g.weights[k]);
        const int outputs = end - begin;
        g.paired.assign(static_cast<std::size_t>((outputs + 1) / 2) * longest * 8, 0);
        for (int o = 0; o < outputs; ++o)
            for (int k = 0; k < longest; ++k)
                for (int lane = 0; lane < 4; ++lane)
                    g.paired[(static_cast<std::size_t>(o / 2) * longest + k) * 8 + 4 * (o % 2) + lane] =
                        g.padded[o * longest + k];
    }
    return g;
}

// sum / total truncated, for sum <= 255 * total: the product with the reciprocal is off by at most
// one, which the integer check mends.
inline std::uint8_t MeanOf(std::uint64_t sum, std::uint64_t total, double inverse) {
    std::uint64_t q = static_cast<std::uint64_t>(static_cast<double>(sum) * inverse);
    if (q * total > sum) {
        --q;
    } else if ((q + 1) * total <= sum) {
        ++q;
    }
    return static_cast<std::uint8_t>(q);
}

// sums[k] (+)= the n rows' bytes k weighed, for k < count.
// ahead: bytes from each row to the one the next output will read in its place, to ask for early
// (0: none).
void AddRows(std::uint32_t* sums, const std::uint8_t* const* rows, const std::uint32_t* weights, int n,
             std::size_t count, bool assign, KernelLevel pairs, std::ptrdiff_t ahead) {
    std::size_t k = 0;
#if TURNLET_X86_KERNELS
    if (pairs == KernelLevel::Avx512Vbmi) k = avx512::AddRows(sums, rows, weights, n, count, assign, ahead);
    if (pairs >= KernelLevel::Avx2) k = avx2::AddRows(sums, rows, weights, n, k, count, assign, ahead);
#endif
    for (; k < count; ++k) {
        std::uint32_t sum = assign ? 0 : sums[k];
        for (int r = 0; r < n; ++r) sum += weights[r] * rows[r][k];
        sums[k] = sum;
    }
}

void FinishRow(const std::uint32_t* sums, bool small, const Gather& gather, int width, std::uint64_t total,
               double inverse, KernelLevel level, bool plain, std::uint8_t* to) {
#if TURNLET_X86_KERNELS
    if (level == KernelLevel::Avx512Vbmi && avx512::FinishRow(sums, small, gather, width, inverse, plain, to)) return;
    if (level >= KernelLevel::Avx2) {
        avx2::FinishRow(sums, small, gather, width, inverse, plain, to);
        return;
    }
#endif
    for (int g = 0; g < width; ++g, to += 3) {
        const std::uint32_t* from = sums + std::size_t{3} * static_cast<std::size_t>(gather.first[g]);
        std::uint64_t b = 0, gr = 0, r = 0;
        for (int k = gather.offset[g]; k < gather.offset[g + 1]; ++k, from += 3) {
            const std::uint64_t w = gather.weights[k];
            b += w * from[0];
            gr += w * from[1];
            r += w * from[2];
        }
        to[0] = MeanOf(b, total, inverse);
        to[1] = MeanOf(gr, total, inverse);
        to[2] = MeanOf(r, total, inverse);
    }
}

#if TURNLET_X86_KERNELS
// Whole ratios both ways with every sample of one weight (binning): each output's mean is that of a
// plain block of across x down pixels. The found block, or across 0 when the outputs are not so.
struct Binning {
    int across = 0;
    int down = 0;
    std::uint64_t weight = 0;  // of one pixel: the two directions' weights multiplied
};

// Samples per output of an axis whose outputs [begin, begin + count) each take the same number of
// samples, all of one weight and none shared; 0 otherwise.
int WholeStride(const SmoothAxis& axis, int begin, int count, std::uint32_t& weight) {
    if (!axis.shrinks || count <= 0) return 0;
    const int stride = axis.end[begin] - axis.begin[begin];
    weight = axis.weight[axis.begin[begin]];
    for (int o = begin; o < begin + count; ++o) {
        if (axis.end[o] - axis.begin[o] != stride) return 0;
        for (int j = axis.begin[o]; j < axis.end[o]; ++j)
            if (axis.target[j] != o || axis.weight[j] != weight || axis.nextWeight[j] != 0) return 0;
    }
    return stride;
}

// Blocks of up to 5 x 8 pixels: four outputs' bytes fit one 64-byte load, and a block's sum of bytes
// fits 16 bits.
constexpr int kMaxBinAcross = 5;
constexpr int kMaxBinDown = 8;

Binning FindBinning(const SmoothAxis& ax, const SmoothAxis& ay, const PixelRect& outputs) {
    std::uint32_t wx = 0, wy = 0;
    const int across = WholeStride(ax, outputs.left, outputs.width, wx);
    const int down = WholeStride(ay, outputs.top, outputs.height, wy);
    if (across < 2 || across > kMaxBinAcross || down < 2 || down > kMaxBinDown) return {};
    return {across, down, std::uint64_t{wx} * wy};
}

#endif

}  // namespace

PixelRect SourceOfReduced(const PixelRect& reduced, const SmoothAxis& ax, const SmoothAxis& ay) {
    if (reduced.empty()) return {};
    const int left = ax.source[ax.begin[reduced.left]];
    const int right = ax.source[ax.end[reduced.left + reduced.width - 1] - 1];
    const int top = ay.source[ay.begin[reduced.top]];
    const int bottom = ay.source[ay.end[reduced.top + reduced.height - 1] - 1];
    return {left, top, right - left + 1, bottom - top + 1};
}

void ReduceArea(const Picture& pixels, const PictureArea& where, const SmoothAxis& ax, const SmoothAxis& ay,
                const PixelRect& outputs, Picture& out) {
    out.allocate(outputs.width, outputs.height);
    if (out.empty()) return;
    const int first = ax.begin[outputs.left];
    const std::uint64_t total = ax.total * ay.total;
    const double inverse = 1.0 / static_cast<double>(total);
    const std::uint8_t* origin =
        pixels.data() + std::size_t{3} * static_cast<std::size_t>(ax.source[first] - where.area.left);
    constexpr KernelLevel kPaths[] = {KernelLevel::Portable, KernelLevel::Avx2, KernelLevel::Avx512Vbmi};
    const KernelLevel level = detail::ChooseKernelLevel(Kernel::SmoothFrame, kPaths);
#if TURNLET_X86_KERNELS
    if (level == KernelLevel::Avx512Vbmi) {
        if (const Binning bin = FindBinning(ax, ay, outputs); bin.across != 0) {
            const auto stride = static_cast<std::ptrdiff_t>(pixels.stride());
            ParallelRows(outputs.height, 3LL * bin.across * bin.down * outputs.width, [&](int rowBegin, int rowEnd) {
                for (int r = rowBegin; r < rowEnd; ++r) {
                    const int y = outputs.top + r;
                    const std::uint8_t* rows[kMaxBinDown];
                    for (int i = 0; i < bin.down; ++i)
                        rows[i] = origin + (ay.source[ay.begin[y] + i] - where.area.top) * stride;
                    // The next output row's rows lie its block below.
                    const std::ptrdiff_t ahead = r + 1 < outputs.height ? bin.down * stride : 0;
                    avx512::BinRow(bin.across, rows, bin.down, outputs.width, static_cast<double>(bin.weight), inverse,
                                   ahead, out.row(r));
                }
            });
            return;
        }
    }
#endif
    // Rows go in strips of outputs whose sums stay in the first-level cache; a sample shared by
    // two neighbouring outputs is summed in both their strips.
    constexpr int kStripSamples = 1024;
    std::vector<int> stripStart;
    std::vector<Gather> strips;
    for (int o = outputs.left; o < outputs.left + outputs.width;) {
        int end = o + 1;
        while (end < outputs.left + outputs.width && ax.end[end] - ax.begin[o] <= kStripSamples) ++end;
        stripStart.push_back(o - outputs.left);
        strips.push_back(MakeGather(ax, o, end));
        o = end;
    }
    // A row's weight is at most the reduced side, which the 16-bit pairs must hold.
    const KernelLevel pairs = !ay.shrinks || ay.begin.size() < 0x8000 ? level : KernelLevel::Portable;
    // A sum down a column is at most 255 times the column weights' total.
    const bool small = 255.0 * static_cast<double>(ay.total) < 0x1p31;
    const long long perRow =
        3LL * (ax.end[outputs.left + outputs.width - 1] - first) * (ay.end[outputs.top] - ay.begin[outputs.top]);
    ParallelRows(outputs.height, perRow, [&](int rowBegin, int rowEnd) {
        // Spare values: the vector finish reads four where it needs three, and padded outputs read
        // past their samples with weight 0.
        constexpr std::size_t kSpare = 3 * kMaxPadded + 1;
        std::vector<std::uint32_t> sums(std::size_t{3} * kStripSamples + kSpare);
        for (int r = rowBegin; r < rowEnd; ++r) {
            const int y = outputs.top + r;
            // The next output row's rows lie this far below this one's.
            const std::ptrdiff_t ahead =
                r + 1 < outputs.height
                    ? static_cast<std::ptrdiff_t>(ay.source[ay.begin[y + 1]] - ay.source[ay.begin[y]]) *
                          static_cast<std::ptrdiff_t>(pixels.stride())
                    : 0;
            for (std::size_t strip = 0; strip < strips.size(); ++strip) {
                const Gather& gather = strips[strip];
                const int o = outputs.left + stripStart[strip];
                const std::size_t values = std::size_t{3} * static_cast<std::size_t>(gather.samples);
                const std::size_t from = std::size_t{3} * static_cast<std::size_t>(ax.begin[o] - first);
                if (sums.size() < values + kSpare) sums.resize(values + kSpare);
                // Up to four rows a pass over the sums.
                for (int s = ay.begin[y]; s < ay.end[y]; s += 4) {
                    const std::uint8_t* rows[4];
                    std::uint32_t weights[4];
                    const int n = std::min(4, ay.end[y] - s);
                    for (int i = 0; i < n; ++i) {
                        rows[i] = origin +
                                  static_cast<std::size_t>(ay.source[s + i] - where.area.top) * pixels.stride() + from;
                        weights[i] = ay.target[s + i] == y ? ay.weight[s + i] : ay.nextWeight[s + i];
                    }
                    AddRows(sums.data(), rows, weights, n, values, s == ay.begin[y], pairs, ahead);
                }
                const int width = static_cast<int>(gather.first.size());
                const bool plain =
                    gather.uniform != 0 && 255.0 * static_cast<double>(ay.total) * gather.stride < 0x1p31;
                FinishRow(sums.data(), small, gather, width, total, inverse, level, plain,
                          out.pixel(stripStart[strip], r));
            }
        }
    });
}

}  // namespace turnlet
