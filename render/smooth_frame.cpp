// SPDX-License-Identifier: MIT
// The smooth frame's reduced source (its size and mapping) and the sampling of its averages.
#include "smooth_frame.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>

#include "imaging/kernel_util.h"
#include "kernels/smooth_frame_kernels.h"
#include "base/parallel.h"

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
                    avx512::SampleRow(sampler, sideways, y, x, end, output.pixel(x, y));
                    continue;
                }
                if (vector) {
                    avx2::SampleRow(sampler, sideways, y, x, end, output.pixel(x, y));
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
