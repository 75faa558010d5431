// SPDX-License-Identifier: MIT
// The pure steps of the turn's alignment: the direct estimate, the still masks, the exposure sums.
#include <algorithm>
#include <cmath>

#include "align/turn_stages.h"

namespace turnlet::alignment {
namespace {

// Channel values this close to either end may have been clipped: they tell nothing of exposure.
constexpr int kDarkest = 4;
constexpr int kBrightest = 250;
// Coarse shift search: the pyramid level whose longer side is at most this.
constexpr int kCoarseSide = 256;
// How far (pixels of that level) the coarse search looks: 40 full-size pixels at any working scale.
constexpr int kCoarseRadius = 8;

int CoarseLevel(const Pyramid& pyramid) {
    int level = 0;
    while (level + 1 < static_cast<int>(pyramid.size()) &&
           std::max(pyramid[static_cast<std::size_t>(level)].width, pyramid[static_cast<std::size_t>(level)].height) >
               kCoarseSide)
        ++level;
    return level;
}

}  // namespace

RegistrationResult RegisterDirect(const Pyramid& reference, const ReferencePoints& points, const LevelMasks* mask,
                                  const Pyramid& picture, const Geometry& g, int finest) {
    const int coarse = CoarseLevel(reference);
    auto maskAt = [&](int level) {
        return mask && level < static_cast<int>(mask->size()) ? &(*mask)[static_cast<std::size_t>(level)] : nullptr;
    };
    auto search = [&](int level, int radius, int fromX, int fromY) {
        return SearchShift(reference[static_cast<std::size_t>(level)], picture[static_cast<std::size_t>(level)],
                           maskAt(level), radius, fromX, fromY);
    };
    // The whole range is searched a level further up, where it costs a sixteenth, and the best
    // shift there settled at the coarse level.
    ShiftEstimate shift;
    if (coarse + 1 < static_cast<int>(std::min(reference.size(), picture.size()))) {
        const ShiftEstimate rough = search(coarse + 1, (kCoarseRadius + 1) / 2, 0, 0);
        shift = search(coarse, 1, 2 * static_cast<int>(rough.dx), 2 * static_cast<int>(rough.dy));
    } else {
        shift = search(coarse, kCoarseRadius, 0, 0);
    }
    const double scale = std::ldexp(1.0, coarse);
    RegistrationOptions options;
    options.coarsestLevel = coarse;
    options.misplacement = kTurnMisplacement;
    options.finestLevel = finest;
    // The final pass refines these: the finest level compares no more points than the others.
    options.maxFinestPoints = options.maxPoints;
    Similarity start;
    start.dx = shift.dx * scale;
    start.dy = shift.dy * scale;
    return Register(points, picture, g.centreX, g.centreY, start, options);
}

Similarity Inverse(const Similarity& pose) {
    const double c = std::cos(-pose.angle), s = std::sin(-pose.angle);
    Similarity out;
    out.angle = -pose.angle;
    out.dx = -(c * pose.dx - s * pose.dy);
    out.dy = -(s * pose.dx + c * pose.dy);
    out.gain = 1 / pose.gain;
    return out;
}

LevelMasks ShrunkMasks(const std::vector<std::uint8_t>& mask0, int width0, int height0, int levels, int from) {
    LevelMasks out(static_cast<std::size_t>(std::max(levels, 0)));
    const std::size_t size = static_cast<std::size_t>(width0) * height0;
    if (mask0.size() != size) return out;
    std::vector<std::uint8_t> across(size);
    for (int level = std::max(from, 0); level < levels; ++level) {
        const int reach = (1 << level) / 2;
        std::vector<std::uint8_t>& m = out[static_cast<std::size_t>(level)];
        if (reach == 0) {
            m = mask0;
            continue;
        }
        // The pixels reach to either side, then above and below: edges repeat the outermost ones.
        for (int y = 0; y < height0; ++y) {
            const std::uint8_t* in = mask0.data() + static_cast<std::size_t>(y) * width0;
            std::uint8_t* o = across.data() + static_cast<std::size_t>(y) * width0;
            for (int x = 0; x < width0; ++x)
                o[x] = in[std::max(x - reach, 0)] & in[x] & in[std::min(x + reach, width0 - 1)];
        }
        m.resize(size);
        for (int y = 0; y < height0; ++y) {
            const std::uint8_t* above = across.data() + static_cast<std::size_t>(std::max(y - reach, 0)) * width0;
            const std::uint8_t* at = across.data() + static_cast<std::size_t>(y) * width0;
            const std::uint8_t* below =
                across.data() + static_cast<std::size_t>(std::min(y + reach, height0 - 1)) * width0;
            std::uint8_t* o = m.data() + static_cast<std::size_t>(y) * width0;
            for (int x = 0; x < width0; ++x) o[x] = above[x] & at[x] & below[x];
        }
    }
    return out;
}

LevelMasks MaskSeenFrom(const LevelMasks& shrunk, int width0, int height0, const Pyramid& picture,
                        const Similarity& pose, const Geometry& g, int from) {
    LevelMasks out(picture.size());
    const double c = std::cos(pose.angle), s = std::sin(pose.angle);
    for (std::size_t level = static_cast<std::size_t>(std::max(from, 0)); level < picture.size(); ++level) {
        if (level >= shrunk.size() || shrunk[level].empty()) continue;
        const std::uint8_t* still = shrunk[level].data();
        const GreyImage& shape = picture[level];
        const double scale = std::ldexp(1.0, static_cast<int>(level));
        std::vector<std::uint8_t>& m = out[level];
        m.assign(static_cast<std::size_t>(shape.width) * shape.height, 0);
        for (int y = 0; y < shape.height; ++y) {
            // Back through the pose: the reference point this picture point shows, moving by
            // (c, -s) times scale a pixel along the row.
            const double u0 = 0.5 * scale - g.centreX - pose.dx;
            const double v = (y + 0.5) * scale - g.centreY - pose.dy;
            const double bx = g.centreX + c * u0 + s * v, by = g.centreY - s * u0 + c * v;
            std::uint8_t* row = m.data() + static_cast<std::size_t>(y) * shape.width;
            for (int x = 0; x < shape.width; ++x) {
                const double px = bx + c * scale * x, py = by - s * scale * x;
                if (!(px >= 0 && py >= 0 && px < width0 && py < height0)) continue;
                row[x] = still[static_cast<std::size_t>(py) * width0 + static_cast<std::size_t>(px)];
            }
        }
    }
    return out;
}

void ExposureSums(const Picture& reference, const Picture& picture, const Similarity& pose, const Geometry& g,
                  std::vector<double>& histogram, double& target) {
    histogram.assign(256, 0.0);
    target = 0;
    const double c = std::cos(pose.angle), s = std::sin(pose.angle);
    const int x0 = std::max(g.crop.left, 0), y0 = std::max(g.crop.top, 0);
    const int x1 = std::min(g.crop.left + g.crop.width, reference.width());
    const int y1 = std::min(g.crop.top + g.crop.height, reference.height());
    // Every other pixel of every other row: a quarter of the crop says as much of its exposure.
    for (int y = y0; y < y1; y += 2) {
        const double v = y + 0.5 - g.centreY, u0 = x0 + 0.5 - g.centreX;
        // Along a row the position seen in the picture moves by (c, s) a pixel.
        double qx = g.centreX + c * u0 - s * v + pose.dx - 2 * c, qy = g.centreY + s * u0 + c * v + pose.dy - 2 * s;
        for (int x = x0; x < x1; x += 2) {
            qx += 2 * c;
            qy += 2 * s;
            if (!(qx >= 0 && qy >= 0 && qx < picture.width() && qy < picture.height())) continue;
            const std::uint8_t* r = reference.pixel(x, y);
            const std::uint8_t* p = picture.pixel(static_cast<int>(qx), static_cast<int>(qy));
            bool usable = true;
            double rs = 0, ps = 0;
            for (int k = 0; k < 3; ++k) {
                usable = usable && r[k] >= kDarkest && r[k] <= kBrightest && p[k] >= kDarkest && p[k] <= kBrightest;
                rs += r[k];
                ps += p[k];
            }
            // The turning surface and the edges the estimate does not lay exactly: only what matches.
            if (!usable || std::abs(ps * pose.gain - rs) > 3 * 8.0) continue;
            for (int k = 0; k < 3; ++k) {
                histogram[p[k]] += 1;
                target += r[k];
            }
        }
    }
}

double Rounded(double value, double step) {
    const double r = std::round(value / step) * step;
    return r == 0 ? 0.0 : r;  // no "-0" in the table
}

}  // namespace turnlet::alignment
