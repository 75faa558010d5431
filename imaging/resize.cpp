// SPDX-License-Identifier: MIT
// Nearest-neighbour rescale with integer index mapping.
#include "resize.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "parallel.h"

namespace turnlet {

namespace {}  // namespace

void ResizePicture(const Picture& source, Picture& output) {
    if (&source == &output) {
        const Picture copy(source);
        ResizePicture(copy, output);
        return;
    }
    if (output.empty()) return;
    if (source.empty()) {
        std::memset(output.data(), 0, output.byteSize());
        return;
    }
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

}  // namespace turnlet
