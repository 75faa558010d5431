// SPDX-License-Identifier: MIT
// The full-size refinement: one window of each photograph decoded at full size, luma only.
#include "align/full_size.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "codecs/image_files.h"
#include "codecs/jpeg_scaled.h"

namespace turnlet::alignment {
namespace {

constexpr std::size_t kMaxSourceBytes = std::size_t{2} << 30;
// Levels of the window compared: full size, a half and a quarter, where the working estimate
// (within a working pixel, at most an eighth of the size) is well inside reach.
constexpr int kFineLevels = 3;
// Share of the still scene's slopes left out of the window on each side: stray texture far out
// would widen it for little.
constexpr double kTail = 0.05;
// The window's greatest height in full-size pixels, margins included (a sixth of the picture where
// that is more).
constexpr int kMaxWindowRows = 1000;

// Room round the window's compared pixels for a frame's shift and tilt, full-size pixels.
int Margin(const Geometry& g) {
    return 2 * g.denominator + 16;
}

// The slope's weight in the choice of the window: its square.
double SlopeWeight(const GreyImage& image, int x, int y) {
    const double sx = (image.at(x + 1, y) - image.at(x - 1, y)) / 2.0;
    const double sy = (image.at(x, y + 1) - image.at(x, y - 1)) / 2.0;
    return sx * sx + sy * sy;
}

// Rec. 601 luma, rounded as libjpeg rounds its grey conversion.
std::uint8_t Luma(const std::uint8_t* bgr) {
    return static_cast<std::uint8_t>((7471u * bgr[0] + 38470u * bgr[1] + 19595u * bgr[2] + 32768u) >> 16);
}

}  // namespace

void SourcePixelOf(int x, int y, int sourceWidth, int sourceHeight, int rotationDegrees, int& sx, int& sy) {
    switch (rotationDegrees) {
        case 90:
            sx = y;
            sy = sourceHeight - 1 - x;
            break;
        case 180:
            sx = sourceWidth - 1 - x;
            sy = sourceHeight - 1 - y;
            break;
        case 270:
            sx = sourceWidth - 1 - y;
            sy = x;
            break;
        default:
            sx = x;
            sy = y;
    }
}

PixelRect SourceArea(const PixelRect& area, int sourceWidth, int sourceHeight, int rotationDegrees) {
    if (area.empty()) return {};
    int ax, ay, bx, by;
    SourcePixelOf(area.left, area.top, sourceWidth, sourceHeight, rotationDegrees, ax, ay);
    SourcePixelOf(area.left + area.width - 1, area.top + area.height - 1, sourceWidth, sourceHeight, rotationDegrees,
                  bx, by);
    return {std::min(ax, bx), std::min(ay, by), std::abs(ax - bx) + 1, std::abs(ay - by) + 1};
}

Status LoadFullSizeGrey(const std::string& path, const Geometry& g, int rotationDegrees, const PixelRect& area,
                        FrameRunner::Buffers& buffers, GreyImage& out) {
    const PixelRect source = SourceArea(area, g.sourceWidth, g.sourceHeight, rotationDegrees);
    std::vector<std::uint8_t>& luma = buffers.luma;
    if (FileTypeOf(path) == FileType::Jpeg) {
        Status status = ReadWholeFile(path, buffers.bytes, kMaxSourceBytes);
        if (!status.ok()) return status;
        PixelRect got;
        status = DecodeJpegLuma(buffers.bytes.view(), path, source, luma, got);
        if (!status.ok()) return status;
        if (got != source) return Status::Error(path, "the picture changed while it was being aligned");
    } else {
        Picture& whole = buffers.colour;
        Status status = LoadPicture(path, whole, buffers.scratch);
        if (!status.ok()) return status;
        if (whole.width() != g.sourceWidth || whole.height() != g.sourceHeight) {
            return Status::Error(path, "the picture changed while it was being aligned");
        }
        luma.resize(static_cast<std::size_t>(source.width) * static_cast<std::size_t>(source.height));
        for (int y = 0; y < source.height; ++y) {
            const std::uint8_t* p = whole.pixel(source.left, source.top + y);
            std::uint8_t* o = luma.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(source.width);
            for (int x = 0; x < source.width; ++x, p += 3) o[x] = Luma(p);
        }
    }
    out.width = area.width;
    out.height = area.height;
    out.values.resize(static_cast<std::size_t>(area.width) * static_cast<std::size_t>(area.height));
    for (int y = 0; y < area.height; ++y) {
        float* o = out.values.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(area.width);
        for (int x = 0; x < area.width; ++x) {
            int sx, sy;
            SourcePixelOf(area.left + x, area.top + y, g.sourceWidth, g.sourceHeight, rotationDegrees, sx, sy);
            o[x] = luma[static_cast<std::size_t>(sy - source.top) * static_cast<std::size_t>(source.width) +
                        static_cast<std::size_t>(sx - source.left)];
        }
    }
    return Status::Ok();
}

PixelRect FineWindow(const GreyImage& reference, const std::vector<std::uint8_t>* still, const Geometry& g,
                     long long maxPixels) {
    const int d = g.denominator;
    const int fullWidth = g.turnedWidth, fullHeight = g.turnedHeight;
    const int x0 = std::max(g.crop.left, 1), x1 = std::min(g.crop.left + g.crop.width, reference.width - 1);
    const int y0 = std::max(g.crop.top, 1), y1 = std::min(g.crop.top + g.crop.height, reference.height - 1);
    // The slopes' weight along each axis: the window keeps all but the tails of both.
    std::vector<double> columns(static_cast<std::size_t>(std::max(reference.width, 0)), 0.0);
    std::vector<double> rows(static_cast<std::size_t>(std::max(reference.height, 0)), 0.0);
    double total = 0, sumX = 0, sumY = 0;
    const bool masked = still && still->size() == reference.values.size();
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            if (masked && !(*still)[static_cast<std::size_t>(y) * reference.width + x]) continue;
            const double w = SlopeWeight(reference, x, y);
            columns[static_cast<std::size_t>(x)] += w;
            rows[static_cast<std::size_t>(y)] += w;
            total += w;
            sumX += w * (x + 0.5);
            sumY += w * (y + 0.5);
        }
    auto span = [&](const std::vector<double>& weights, int from, int to, int& low, int& high) {
        low = from;
        high = to;
        if (total <= 0) return;
        double seen = 0;
        for (int i = from; i < to; ++i) {
            seen += weights[static_cast<std::size_t>(i)];
            if (seen <= kTail * total) low = i + 1;
            if (seen < (1 - kTail) * total) high = i + 2;
        }
        high = std::clamp(high, low + 1, to);
    };
    int left, right, top, bottom;
    span(rows, y0, y1, top, bottom);
    // A JPEG is decoded down to the window's last row: a tall window costs nearly a whole decode.
    // The band of rows richest in the still scene's slopes pins the shift and tilt as well, once the
    // sharp edges carry their weight (a band across the object's top holds its outline and lid).
    const int maxRows = std::max(1, (std::max(kMaxWindowRows, fullHeight / 6) - 2 * Margin(g)) / d);
    if (bottom - top > maxRows) {
        double sum = 0, best = -1;
        int bestTop = top;
        for (int y = top; y < bottom; ++y) {
            sum += rows[static_cast<std::size_t>(y)];
            if (y - top >= maxRows) sum -= rows[static_cast<std::size_t>(y - maxRows)];
            if (y - top + 1 >= maxRows && sum > best) {
                best = sum;
                bestTop = y + 1 - maxRows;
            }
        }
        top = bestTop;
        bottom = bestTop + maxRows;
        // The columns' weights, the centre and the total over the band alone.
        std::fill(columns.begin(), columns.end(), 0.0);
        total = sumX = sumY = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = x0; x < x1; ++x) {
                if (masked && !(*still)[static_cast<std::size_t>(y) * reference.width + x]) continue;
                const double w = SlopeWeight(reference, x, y);
                columns[static_cast<std::size_t>(x)] += w;
                total += w;
                sumX += w * (x + 0.5);
                sumY += w * (y + 0.5);
            }
    }
    span(columns, x0, x1, left, right);
    // Working pixels to full-size ones, with the margin, inside the picture.
    const int margin = Margin(g);
    double l = static_cast<double>(left) * d - margin, r = static_cast<double>(right) * d + margin;
    double t = static_cast<double>(top) * d - margin, b = static_cast<double>(bottom) * d + margin;
    const double area = (r - l) * (b - t);
    if (area > static_cast<double>(maxPixels) && maxPixels > 0) {
        // Too large: shrunk about the slopes' centre, in proportion.
        const double f = std::sqrt(static_cast<double>(maxPixels) / area);
        const double cx = total > 0 ? sumX / total * d : (l + r) / 2, cy = total > 0 ? sumY / total * d : (t + b) / 2;
        l = cx + (l - cx) * f;
        r = cx + (r - cx) * f;
        t = cy + (t - cy) * f;
        b = cy + (b - cy) * f;
    }
    const int wl = std::clamp(static_cast<int>(std::floor(l)), 0, fullWidth);
    const int wr = std::clamp(static_cast<int>(std::ceil(r)), wl, fullWidth);
    const int wt = std::clamp(static_cast<int>(std::floor(t)), 0, fullHeight);
    const int wb = std::clamp(static_cast<int>(std::ceil(b)), wt, fullHeight);
    return {wl, wt, wr - wl, wb - wt};
}

bool RefineFullSize(TurnWork& work, const StillScene& scene, std::vector<FrameAlignment>& out) {
    const Geometry& g = work.g;
    if (g.denominator <= 1 || work.count() < 2) return true;
    const int d = g.denominator;
    const GreyImage& working = work.frames[0].pyramid[0];
    const std::vector<std::uint8_t>* still = scene.mask() ? &scene.still[0] : nullptr;
    // A quarter of a 24-megapixel photograph holds far more than the comparison needs.
    const long long maxPixels =
        std::max<long long>(1'000'000, static_cast<long long>(g.turnedWidth) * g.turnedHeight / 4);
    const PixelRect window = FineWindow(working, still, g, maxPixels);
    const int margin = Margin(g);
    if (window.width <= 4 * margin || window.height <= 4 * margin) return true;
    const double cx = g.centreX * d - window.left, cy = g.centreY * d - window.top;

    // The reference's points: still, inside the crop, and far enough inside the window for every
    // frame's shift.
    ReferencePoints points;
    work.run.forFrames({0}, false, "reading the first frame at full size", [&](int, FrameRunner::Buffers& buffers) {
        GreyImage grey;
        if (Status status =
                LoadFullSizeGrey(work.settings.paths[0], g, work.settings.rotationDegrees, window, buffers, grey);
            !status.ok()) {
            work.run.fail(status);
            return;
        }
        Pyramid pyramid = BuildPyramid(std::move(grey));
        pyramid.resize(std::min<std::size_t>(pyramid.size(), kFineLevels));
        LevelMasks masks(pyramid.size());
        const PixelRect& crop = g.fullCrop;
        for (std::size_t level = 0; level < pyramid.size(); ++level) {
            const GreyImage& image = pyramid[level];
            const int step = 1 << level;
            std::vector<std::uint8_t>& m = masks[level];
            m.assign(image.values.size(), 0);
            for (int y = 0; y < image.height; ++y) {
                const int fy = window.top + y * step + step / 2;
                if (fy < window.top + margin || fy >= window.top + window.height - margin || fy < crop.top ||
                    fy >= crop.top + crop.height)
                    continue;
                for (int x = 0; x < image.width; ++x) {
                    const int fx = window.left + x * step + step / 2;
                    if (fx < window.left + margin || fx >= window.left + window.width - margin || fx < crop.left ||
                        fx >= crop.left + crop.width)
                        continue;
                    const int wx = std::min(fx / d, working.width - 1), wy = std::min(fy / d, working.height - 1);
                    m[static_cast<std::size_t>(y) * image.width + x] =
                        still ? (*still)[static_cast<std::size_t>(wy) * working.width + wx] : 1;
                }
            }
        }
        points = CollectPoints(pyramid, &masks);
    });
    if (work.run.ended()) return false;

    std::vector<int> frames;
    for (int k = 1; k < work.count(); ++k)
        if (out[static_cast<std::size_t>(k)].aligned) {
            frames.push_back(k);
        } else {
            work.run.report();  // nothing to refine: done at once
        }
    const double radius = 0.5 * std::hypot(window.width, window.height);
    work.run.forFrames(frames, true, "refining the frames at full size", [&](int k, FrameRunner::Buffers& buffers) {
        FrameAlignment& result = out[static_cast<std::size_t>(k)];
        GreyImage grey;
        if (Status status = LoadFullSizeGrey(work.settings.paths[static_cast<std::size_t>(k)], g,
                                             work.settings.rotationDegrees, window, buffers, grey);
            !status.ok()) {
            work.run.fail(status);
            return;
        }
        Pyramid pyramid = BuildPyramid(std::move(grey));
        pyramid.resize(std::min<std::size_t>(pyramid.size(), kFineLevels));
        Similarity start;
        start.dx = -result.DX;
        start.dy = -result.DY;
        start.angle = -result.Angle * std::numbers::pi / 180;
        start.gain = work.frame(k).direct.gain;
        RegistrationOptions options;
        options.coarsestLevel = kFineLevels - 1;
        options.misplacement = kTurnMisplacement;
        const RegistrationResult r = Register(points, pyramid, cx, cy, start, options);
        const Similarity& p = r.pose;
        const double moved =
            std::max(std::hypot(p.dx - start.dx, p.dy - start.dy), std::abs(p.angle - start.angle) * radius);
        if (!(r.converged && moved <= d)) return;
        result.DX = Rounded(-p.dx, 0.001);
        result.DY = Rounded(-p.dy, 0.001);
        result.Angle = Rounded(-p.angle * 180 / std::numbers::pi, 0.0001);
    });
    return !work.run.ended();
}

}  // namespace turnlet::alignment
