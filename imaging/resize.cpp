// SPDX-License-Identifier: MIT
// Nearest-neighbour rescale with integer index mapping, and the smooth (area average) rescale.
#include "resize.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "base/parallel.h"

namespace turnlet {

namespace {

// What every rescale shares: the same picture as source and output (work from a copy), no output
// pixels, and an empty source (black). True when that settled the call.
template <typename Rescale>
bool RescaledTrivially(const Picture& source, Picture& output, Rescale rescale) {
    if (&source == &output) {
        const Picture copy(source);
        rescale(copy, output);
        return true;
    }
    if (output.empty()) return true;
    if (source.empty()) {
        std::memset(output.data(), 0, output.byteSize());
        return true;
    }
    return false;
}

}  // namespace

void ResizePicture(const Picture& source, Picture& output) {
    if (RescaledTrivially(source, output, [](const Picture& s, Picture& o) { ResizePicture(s, o); })) return;
    const int outW = output.width();
    const int outH = output.height();
    const int srcW = source.width();
    const int srcH = source.height();

    // Byte offsets of the source columns, shared by every row.
    std::vector<std::size_t> columnOffset(static_cast<std::size_t>(outW));
    for (int x = 0; x < outW; ++x) columnOffset[x] = static_cast<std::size_t>(ResizeIndex(x, outW, srcW)) * 3;

    ParallelRows(outH, outW, [&](int rowBegin, int rowEnd) {
        for (int y = rowBegin; y < rowEnd; ++y) {
            const std::uint8_t* src = source.row(static_cast<int>(ResizeIndex(y, outH, srcH)));
            std::uint8_t* dst = output.row(y);
            for (int x = 0; x < outW; ++x, dst += 3) std::memcpy(dst, src + columnOffset[x], 3);
        }
    });
}

SmoothAxis MakeSmoothAxis(int n, int m) {
    SmoothAxis axis;
    if (n <= 0 || m <= 0) return axis;
    const auto outputs = static_cast<std::size_t>(n);
    axis.begin.assign(outputs, 0);
    axis.end.assign(outputs, 0);
    axis.shrinks = n < m;
    if (!axis.shrinks) {
        for (int i = 0; i < n; ++i) {
            axis.source.push_back(ResizeIndex(i, n, m));
            axis.target.push_back(i);
            axis.weight.push_back(1);
            axis.nextWeight.push_back(0);
            axis.begin[i] = i;
            axis.end[i] = i + 1;
        }
        return axis;
    }
    axis.total = static_cast<std::uint64_t>(m);
    const auto samples = static_cast<std::size_t>(m);
    axis.source.resize(samples);
    axis.target.resize(samples);
    axis.weight.resize(samples);
    axis.nextWeight.resize(samples);
    const std::int64_t nn = n, mm = m;
    int reached = -1;  // the last output some sample has reached so far
    for (int j = 0; j < m; ++j) {
        const std::int64_t start = j * nn, stop = (j + 1) * nn;
        const auto i = static_cast<int>(start / mm);
        const std::int64_t boundary = (i + 1) * mm;
        axis.source[j] = j;
        axis.target[j] = i;
        axis.weight[j] = static_cast<std::uint32_t>(stop > boundary ? boundary - start : nn);
        axis.nextWeight[j] = static_cast<std::uint32_t>(stop > boundary ? stop - boundary : 0);
        const int last = stop > boundary ? i + 1 : i;
        for (int k = reached + 1; k <= last; ++k) axis.begin[k] = j;
        reached = last;
        axis.end[i] = j + 1;
        if (last > i) axis.end[last] = j + 1;
    }
    return axis;
}

void ResizePictureSmooth(const Picture& source, Picture& output) {
    if (RescaledTrivially(source, output, [](const Picture& s, Picture& o) { ResizePictureSmooth(s, o); })) return;
    const int outW = output.width();
    const int outH = output.height();
    const SmoothAxis ax = MakeSmoothAxis(outW, source.width());
    const SmoothAxis ay = MakeSmoothAxis(outH, source.height());
    const std::uint64_t total = ax.total * ay.total;
    const auto columns = static_cast<std::size_t>(outW);

    ParallelRows(outH, static_cast<long long>(ax.source.size()) * 4, [&](int rowBegin, int rowEnd) {
        std::vector<std::uint64_t> line(3 * (columns + 1));
        std::vector<std::uint64_t> sum(3 * columns);
        for (int y = rowBegin; y < rowEnd; ++y) {
            std::fill(sum.begin(), sum.end(), 0);
            for (int p = ay.begin[y]; p < ay.end[y]; ++p) {
                const std::uint64_t wy = ay.target[p] == y ? ay.weight[p] : ay.nextWeight[p];
                // The source row spread over the output columns with its horizontal weights.
                std::fill(line.begin(), line.end(), 0);
                const std::uint8_t* row = source.row(ay.source[p]);
                for (std::size_t q = 0; q < ax.source.size(); ++q) {
                    const std::uint8_t* px = row + 3 * static_cast<std::size_t>(ax.source[q]);
                    std::uint64_t* to = &line[3 * static_cast<std::size_t>(ax.target[q])];
                    for (int c = 0; c < 3; ++c) {
                        to[c] += std::uint64_t{ax.weight[q]} * px[c];
                        to[3 + c] += std::uint64_t{ax.nextWeight[q]} * px[c];
                    }
                }
                for (std::size_t k = 0; k < sum.size(); ++k) sum[k] += wy * line[k];
            }
            std::uint8_t* dst = output.row(y);
            for (std::size_t k = 0; k < sum.size(); ++k) dst[k] = static_cast<std::uint8_t>(sum[k] / total);
        }
    });
}

}  // namespace turnlet
