// SPDX-License-Identifier: MIT
// A screen-sized copy of a large picture by whole-block averaging.
#include "display_copy.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "base/parallel.h"

namespace turnlet {

int DisplayReduction(int width, int height, int maxWidth, int maxHeight) {
    if (maxWidth <= 0 || maxHeight <= 0 || width <= 0 || height <= 0) return 1;
    // Whole-number division gives the floor of each ratio; the larger one keeps both sides of the
    // fit covered.
    return std::max({1, width / maxWidth, height / maxHeight});
}

void ReduceByBlocks(const Picture& source, Picture& output, int factor) {
    // Keeps a block's sum of 8-bit values within 32 bits.
    factor = std::min(factor, 4096);
    if (factor <= 1) {
        output = source;
        return;
    }
    const int outW = source.width() / factor;
    const int outH = source.height() / factor;
    output.allocate(outW, outH);
    if (output.empty()) return;
    const std::uint32_t area = static_cast<std::uint32_t>(factor) * static_cast<std::uint32_t>(factor);
    ParallelRows(outH, static_cast<long long>(outW) * area, [&](int rowBegin, int rowEnd) {
        std::vector<std::uint32_t> sums(static_cast<std::size_t>(outW) * 3);
        for (int y = rowBegin; y < rowEnd; ++y) {
            std::fill(sums.begin(), sums.end(), 0u);
            for (int dy = 0; dy < factor; ++dy) {
                const std::uint8_t* in = source.row(y * factor + dy);
                std::uint32_t* sum = sums.data();
                for (int x = 0; x < outW; ++x, sum += 3) {
                    for (int dx = 0; dx < factor; ++dx, in += 3) {
                        sum[0] += in[0];
                        sum[1] += in[1];
                        sum[2] += in[2];
                    }
                }
            }
            std::uint8_t* out = output.row(y);
            for (std::size_t i = 0; i < sums.size(); ++i) out[i] = static_cast<std::uint8_t>(sums[i] / area);
        }
    });
}

void MakeDisplayCopy(const Picture& source, int maxWidth, int maxHeight, Picture& output) {
    ReduceByBlocks(source, output, DisplayReduction(source.width(), source.height(), maxWidth, maxHeight));
}

}  // namespace turnlet
