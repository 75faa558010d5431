// SPDX-License-Identifier: MIT
// One frame from its decoded source.
#include "frame_render.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "imaging/geometry.h"
#include "imaging/kernel_util.h"
#include "kernels/frame_render_kernels.h"
#include "base/parallel.h"
#include "imaging/resize.h"
#include "smooth_frame.h"
#include "imaging/tone.h"
#include "imaging/transform.h"
#include "imaging/turned_view.h"

namespace turnlet {

namespace {

bool PixelsFit(std::int64_t width, std::int64_t height) {
    return width <= 0 || height <= 0 || width * height <= kMaxPicturePixels;
}

}  // namespace

std::int32_t ShiftedOrigin(std::int32_t crop, std::int32_t shift) {
    const std::int64_t sum = static_cast<std::int64_t>(crop) + shift;
    if (sum > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
    if (sum < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(sum);
}

Status CheckFrameSizes(const FrameParams& params, const std::string& file) {
    if (params.OutputWidth <= 0 || params.OutputHeight <= 0) {
        return Status::Error(file, "the output size " + std::to_string(params.OutputWidth) + " x " +
                                       std::to_string(params.OutputHeight) + " is not a picture size");
    }
    if (!PixelsFit(params.OutputWidth, params.OutputHeight) || !PixelsFit(params.CropWidth, params.CropHeight)) {
        return Status::Error(file,
                             "the frame is larger than " + std::to_string(kMaxPicturePixels / 1000000) + " megapixels");
    }
    return Status::Ok();
}

namespace {

// The smooth frame as its rule says: the whole turned source averaged, then sampled pixel by pixel.
void SmoothStepByStep(const Picture& decoded, const FrameParams& params, Picture& output) {
    Picture rotated;
    RotateQuarter(decoded, rotated, params.RotationDegrees);
    const SmoothPlan plan(params, decoded.width(), decoded.height());
    Picture reduced(plan.reducedWidth, plan.reducedHeight);
    ResizePictureSmooth(rotated, reduced);
    rotated.clear();
    output.allocate(params.OutputWidth, params.OutputHeight);
    const std::uint8_t background[3] = {ColorBlue(params.Background), ColorGreen(params.Background),
                                        ColorRed(params.Background)};
    for (int y = 0; y < output.height(); ++y) {
        for (int x = 0; x < output.width(); ++x) {
            int rx = 0, ry = 0;
            std::memcpy(output.pixel(x, y), plan.Reduced(x, y, rx, ry) ? reduced.pixel(rx, ry) : background, 3);
        }
    }
    AdjustTone(output, params.Brightness, params.Contrast, params.Gamma);
}

}  // namespace

void RenderFrameStepByStep(const Picture& decoded, const FrameParams& params, Picture& output) {
    if (SmoothResizes(params)) {
        SmoothStepByStep(decoded, params, output);
        return;
    }
    Picture rotated;
    RotateQuarter(decoded, rotated, params.RotationDegrees);
    Picture aligned;
    TransformPicture(rotated, aligned, ShiftedOrigin(params.CropLeft, params.ShiftX),
                     ShiftedOrigin(params.CropTop, params.ShiftY), params.CropWidth, params.CropHeight,
                     params.Background, params.Angle, params.Scale);
    rotated.clear();
    output.allocate(params.OutputWidth, params.OutputHeight);
    ResizePicture(aligned, output);
    AdjustTone(output, params.Brightness, params.Contrast, params.Gamma);
}

Picture RenderFrameStepByStep(const Picture& decoded, const FrameParams& params) {
    Picture output;
    RenderFrameStepByStep(decoded, params, output);
    return output;
}

namespace {

// Lines rendered side by side, and how far along them at a time (measured best among 1..32 and
// 64..whole lines).
constexpr int kBand = 4;
constexpr int kStretch = 512;

}  // namespace

PixelRect FrameReach(const FrameParams& params, int decodedWidth, int decodedHeight) {
    const int degrees = params.RotationDegrees;
    if (!ValidTurn(degrees) || decodedWidth <= 0 || decodedHeight <= 0) return {};
    if (params.CropWidth <= 0 || params.CropHeight <= 0 || params.OutputWidth <= 0 || params.OutputHeight <= 0)
        return {};
    const bool sideways = degrees == 90 || degrees == 270;
    const int turnedWidth = sideways ? decodedHeight : decodedWidth;
    const int turnedHeight = sideways ? decodedWidth : decodedHeight;
    const TransformMapping mapping(ShiftedOrigin(params.CropLeft, params.ShiftX),
                                   ShiftedOrigin(params.CropTop, params.ShiftY), params.CropWidth, params.CropHeight,
                                   params.Angle, params.Scale);
    if (!mapping.valid()) return {};
    if (SmoothResizes(params)) {
        const SmoothPlan plan(params, decodedWidth, decodedHeight);
        const PixelRect t = plan.TurnedReach();
        if (t.empty()) return {};
        const PixelRect reduced = DecodedRect(t.left, t.left + t.width - 1, t.top, t.top + t.height - 1, degrees,
                                              plan.DecodedReducedWidth(), plan.DecodedReducedHeight());
        return SourceOfReduced(reduced, plan.DecodedAxisX(), plan.DecodedAxisY());
    }
    // Along an output row the source point moves monotonically (each operation of the formula is
    // monotone in the column), and so it does down a column: its extremes over the sampled grid
    // lie at the grid's corners, the first and last crop columns and rows the resize samples.
    const int lastColumn = ResizeIndex(params.OutputWidth - 1, params.OutputWidth, params.CropWidth);
    const int lastRow = ResizeIndex(params.OutputHeight - 1, params.OutputHeight, params.CropHeight);
    double xs[4], ys[4];
    int i = 0;
    for (const int x : {0, lastColumn}) {
        for (const int y : {0, lastRow}) {
            const TransformMapping::Terms column = mapping.ColumnTerms(x);
            const TransformMapping::Terms row = mapping.RowTerms(y);
            xs[i] = std::trunc(mapping.SourceX(column, row));
            ys[i++] = std::trunc(mapping.SourceY(column, row));
        }
    }
    const PixelRect t = CornerBounds(xs, ys, turnedWidth, turnedHeight);
    if (t.empty()) return {};
    return DecodedRect(t.left, t.left + t.width - 1, t.top, t.top + t.height - 1, degrees, decodedWidth, decodedHeight);
}

void RenderFrameFused(const Picture& decoded, const FrameParams& params, Picture& output) {
    const PictureArea whole{PixelRect{0, 0, decoded.width(), decoded.height()}, decoded.width(), decoded.height()};
    RenderFrameFused(decoded, whole, params, output);
}

namespace {

using Terms = TransformMapping::Terms;

// The terms of one direction apart, for vector loads.
struct TermsApart {
    explicit TermsApart(const std::vector<Terms>& terms) : cos(terms.size()), sin(terms.size()) {
        for (std::size_t i = 0; i < terms.size(); ++i) {
            cos[i] = terms[i].cos;
            sin[i] = terms[i].sin;
        }
    }
    std::vector<double> cos, sin;
};

// Fills output with the nearest-neighbour frame: each pixel the source pixel view gives for its
// terms, or the background. The output is walked along lines on which the decoded row stays
// (nearly) the same, so each line reads one decoded row from one end to the other, a stream the
// processor fetches ahead, however the frame is turned or tilted. Every pixel lies on exactly one
// line, and the order does not change a byte. a and b: rates of the decoded row per output column
// and row.
void RenderAlongLines(const TurnedView& view, const TransformMapping& mapping, const std::vector<Terms>& columnTerms,
                      const std::vector<Terms>& rowTerms, double a, double b, const std::uint8_t* background,
                      Picture& output) {
    const int outWidth = output.width();
    const int outHeight = output.height();
    constexpr KernelLevel kPaths[] = {KernelLevel::Portable, KernelLevel::Avx2};
    [[maybe_unused]] const bool vector = detail::ChooseKernelLevel(Kernel::NearestFrame, kPaths) == KernelLevel::Avx2 &&
                                         view.valid && view.bytes >= 4 && view.bytes < (std::size_t{1} << 31);
    const TermsApart columns(columnTerms), rows(rowTerms);
    // Lines run along x (y = line + round(x * slope)) or along y (x = line + round(y * slope)).
    const bool alongX = std::abs(b) >= std::abs(a);
    // How far the source moves from a line to the one two bands on, measured at the centre: a band
    // starts a few decoded rows at a time, which the processor does not fetch ahead by itself.
    [[maybe_unused]] std::int64_t ahead = 0;
    if (outWidth > 0 && outHeight > 0) {
        const int x = outWidth / 2, y = outHeight / 2;
        const int x2 = alongX ? x : std::min(outWidth - 1, x + 2 * kBand);
        const int y2 = alongX ? std::min(outHeight - 1, y + 2 * kBand) : y;
        const std::uint8_t* here = view.Sample(mapping, columnTerms[x], rowTerms[y]);
        const std::uint8_t* there = view.Sample(mapping, columnTerms[x2], rowTerms[y2]);
        if (here && there) ahead = there - here;
    }
    // Pixels n of one output row (step 3) or column (step output stride) from out on, whose
    // column terms (or row terms) run from index i on while the other terms stay fixed.
    const std::int64_t outStride = static_cast<std::int64_t>(output.stride());
    auto renderRun = [&](std::uint8_t* out, std::int64_t outStep, int i, const Terms fixed, bool varyingIsColumn,
                         int n) {
        int k = 0;
#if TURNLET_X86_KERNELS
        if (vector && n >= 4) {
            const TermsApart& varying = varyingIsColumn ? columns : rows;
            k = avx2::NearestRun(view, mapping, varying.cos.data() + i, varying.sin.data() + i, fixed, n, background,
                                 out, outStep, ahead, varyingIsColumn);
            out += k * outStep;
        }
#endif
        const Terms* varying = varyingIsColumn ? &columnTerms[i] : &rowTerms[i];
        for (; k < n; ++k, out += outStep) {
            const std::uint8_t* from =
                varyingIsColumn ? view.Sample(mapping, varying[k], fixed) : view.Sample(mapping, fixed, varying[k]);
            std::memcpy(out, from ? from : background, 3);
        }
    };
    double slope = alongX ? (b != 0 ? -a / b : 0) : (a != 0 ? -b / a : 0);
    if (!std::isfinite(slope)) slope = 0;
    slope = std::clamp(slope, -1.0, 1.0);
    const int length = alongX ? outWidth : outHeight;
    const int breadth = alongX ? outHeight : outWidth;
    std::vector<int> shift(static_cast<std::size_t>(length));
    for (int i = 0; i < length; ++i) shift[i] = static_cast<int>(std::floor(i * slope + 0.5));
    const int low = std::min(0, *std::min_element(shift.begin(), shift.end()));
    const int high = std::max(0, *std::max_element(shift.begin(), shift.end()));
    // Line l covers positions j = l + shift[i] across the breadth; l runs over all values that
    // reach [0, breadth).
    const int lines = breadth + high - low;
    // Lines go in bands of kBand, a stretch of kStretch positions at a time: the band's writes land
    // side by side in the output, and its reads stay a few streams.
    const int bands = (lines + kBand - 1) / kBand;
    ParallelRows(bands, static_cast<long long>(length) * kBand * 4, [&](int bandBegin, int bandEnd) {
        for (int band = bandBegin; band < bandEnd; ++band) {
            const int first = band * kBand - high, last = std::min(lines, (band + 1) * kBand) - high;
            for (int i0 = 0; i0 < length; i0 += kStretch) {
                const int i1 = std::min(length, i0 + kStretch);
                for (int line = first; line < last; ++line) {
                    // Runs of positions with one shift lie in one output row (or column).
                    for (int i = i0; i < i1;) {
                        int end = i + 1;
                        while (end < i1 && shift[end] == shift[i]) ++end;
                        const int j = line + shift[i];
                        if (j >= 0 && j < breadth) {
                            if (alongX) {
                                renderRun(output.pixel(i, j), 3, i, rowTerms[j], true, end - i);
                            } else {
                                renderRun(output.pixel(j, i), outStride, i, columnTerms[j], false, end - i);
                            }
                        }
                        i = end;
                    }
                }
            }
        }
    });
}

// The smooth frame from the part of the source it reaches: that part averaged down, then sampled.
void RenderSmoothFused(const Picture& pixels, const PictureArea& where, const FrameParams& params,
                       const std::uint8_t* background, Picture& output) {
    const SmoothPlan plan(params, where.fullWidth, where.fullHeight);
    const PixelRect turned = plan.TurnedReach();
    if (turned.empty()) {
        for (std::size_t i = 0; i < output.byteSize(); i += 3) std::memcpy(output.data() + i, background, 3);
        return;
    }
    const int reducedWidth = plan.DecodedReducedWidth(), reducedHeight = plan.DecodedReducedHeight();
    const PixelRect decoded = DecodedRect(turned.left, turned.left + turned.width - 1, turned.top,
                                          turned.top + turned.height - 1, plan.degrees, reducedWidth, reducedHeight);
    // Upright, with the reduced pixels on the output's grid: they are the frame.
    if (plan.degrees == 0 && SamplesOneToOne(plan, turned, output.width(), output.height())) {
        ReduceArea(pixels, where, plan.DecodedAxisX(), plan.DecodedAxisY(), decoded, output);
        return;
    }
    // Kept for the thread's next frame: the export renders all its frames on one thread.
    thread_local Picture reduced;
    ReduceArea(pixels, where, plan.DecodedAxisX(), plan.DecodedAxisY(), decoded, reduced);
    const TurnedView view(reduced, PictureArea{decoded, reducedWidth, reducedHeight}, plan.degrees, plan.mapping);
    SampleReduced(plan, view, turned, background, output);
}

}  // namespace

bool RenderFrameFused(const Picture& pixels, const PictureArea& where, const FrameParams& params, Picture& output) {
    if (!where.area.contains(FrameReach(params, where.fullWidth, where.fullHeight))) return false;
    output.allocate(params.OutputWidth, params.OutputHeight);
    if (output.empty()) return true;
    const int cropWidth = params.CropWidth;
    const int cropHeight = params.CropHeight;
    if (cropWidth <= 0 || cropHeight <= 0) {
        // The aligned picture is empty and a resize from nothing leaves zeros.
        std::memset(output.data(), 0, output.byteSize());
        AdjustTone(output, params.Brightness, params.Contrast, params.Gamma);
        return true;
    }
    const std::uint8_t background[3] = {ColorBlue(params.Background), ColorGreen(params.Background),
                                        ColorRed(params.Background)};
    if (SmoothResizes(params)) {
        RenderSmoothFused(pixels, where, params, background, output);
        AdjustTone(output, params.Brightness, params.Contrast, params.Gamma);
        return true;
    }

    const TransformMapping mapping(ShiftedOrigin(params.CropLeft, params.ShiftX),
                                   ShiftedOrigin(params.CropTop, params.ShiftY), cropWidth, cropHeight, params.Angle,
                                   params.Scale);
    const TurnedView view(pixels, where, params.RotationDegrees, mapping);
    const int outWidth = output.width();
    const int outHeight = output.height();
    // The formula's per-column and per-row terms at the crop positions the resize samples.
    std::vector<Terms> columnTerms(static_cast<std::size_t>(outWidth));
    for (int x = 0; x < outWidth; ++x) columnTerms[x] = mapping.ColumnTerms(ResizeIndex(x, outWidth, cropWidth));
    std::vector<Terms> rowTerms(static_cast<std::size_t>(outHeight));
    for (int y = 0; y < outHeight; ++y) rowTerms[y] = mapping.RowTerms(ResizeIndex(y, outHeight, cropHeight));
    const double gx = outWidth > 1 ? static_cast<double>(cropWidth - 1) / (outWidth - 1) : 0;
    const double gy = outHeight > 1 ? static_cast<double>(cropHeight - 1) / (outHeight - 1) : 0;
    // An invalid view shows background only, in any order.
    const double a = view.valid ? (view.sideways ? mapping.cosine() : mapping.sine()) * gx : 0;
    const double b = view.valid ? (view.sideways ? -mapping.sine() : mapping.cosine()) * gy : 1;
    RenderAlongLines(view, mapping, columnTerms, rowTerms, a, b, background, output);
    AdjustTone(output, params.Brightness, params.Contrast, params.Gamma);
    return true;
}

Picture RenderFrameFused(const Picture& decoded, const FrameParams& params) {
    Picture output;
    RenderFrameFused(decoded, params, output);
    return output;
}

}  // namespace turnlet
