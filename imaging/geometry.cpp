// SPDX-License-Identifier: MIT
// Quarter turn, crop and interlace: exact pixel copies between distinct pictures.
#include "geometry.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "base/parallel.h"
#include "kernel_util.h"
#include "kernels/geometry_kernels.h"
#include "resize.h"

namespace turnlet {

namespace {

// Tall, narrow tiles: 8 output columns read 8 source rows, whose 3 KB stretches for 1024 output rows
// stay in L1, while those output rows stay in L2 for the next tile. Measured best among 512..4096 x 8..32.
constexpr int kTileRows = 1024;
constexpr int kTileCols = 8;

inline void CopyPixel(std::uint8_t* dst, const std::uint8_t* src) {
    std::memcpy(dst, src, 3);
}

}  // namespace

namespace detail {

void CopyTilePortable(const SidewaysMap& map, Picture& output, int x0, int x1, int y0, int y1) {
    const std::ptrdiff_t step = map.clockwise ? -static_cast<std::ptrdiff_t>(map.stride) : map.stride;
    for (int y = y0; y < y1; ++y) {
        std::uint8_t* dst = output.pixel(x0, y);
        const std::uint8_t* src = map.at(x0, y);
        for (int x = x0; x < x1; ++x, dst += 3, src += step) CopyPixel(dst, src);
    }
}

}  // namespace detail

namespace {

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
                    ssse3::CopyTile(map, output, x0, x1, y0, y1, srcEnd);
                    continue;
                }
#endif
                detail::CopyTilePortable(map, output, x0, x1, y0, y1);
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
