// SPDX-License-Identifier: MIT
// The frames of a turn registered against the first: direct estimates, checked through the neighbours.
#include "align/turn_alignment.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <optional>
#include <numbers>
#include <thread>

#include "align/registration.h"
#include "align/working_picture.h"
#include "codecs/image_files.h"
#include "imaging/tone.h"

namespace turnlet {
namespace {

// Channel values this close to either end may have been clipped: they tell nothing of exposure.
constexpr int kDarkest = 4;
constexpr int kBrightest = 250;
// Coarse shift search: the pyramid level whose longer side is at most this.
constexpr int kCoarseSide = 256;
// How far (pixels of that level) the coarse search looks: 40 full-size pixels at any working scale.
constexpr int kCoarseRadius = 8;

struct Geometry {
    int denominator = 1;
    double centreX = 0, centreY = 0;  // working pixels, area coordinates
    PixelRect crop;                   // working pixels
};

struct Frame {
    Pyramid pyramid;
    Picture colour;     // kept only until the frame's exposure is measured, where that comes later
    Similarity direct;  // against the first frame, found directly
    double inliers = 0;
    bool registered = false;
    bool matches = false;  // loaded, of the first frame's size
};

int CoarseLevel(const Pyramid& pyramid) {
    int level = 0;
    while (level + 1 < static_cast<int>(pyramid.size()) &&
           std::max(pyramid[static_cast<std::size_t>(level)].width, pyramid[static_cast<std::size_t>(level)].height) >
               kCoarseSide)
        ++level;
    return level;
}

// Direct estimate of picture against reference: the best whole-pixel shift at a coarse level,
// then the robust refinement from there down to level finest.
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

// The reference's still mask (level 0, width0 x height0) shrunk for each pyramid level from `from`
// on: a pixel stays still when the level-0 pixels round it, as far as half a pixel of that level
// reaches, are all still; one look-up then answers for a coarse pixel's centre.
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

// The still-pixel mask of the reference, as ShrunkMasks gives it, carried to a picture lying at
// pose against it, at the picture's levels from `from` down (finer ones stay empty).
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

// The poses of all frames from the direct estimates and the steps between neighbours (step k lays
// frame k over frame k - 1, step 0 frame 0 over the last, closing the turn), by weighted least
// squares with the first frame held still. Estimates that disagree with the rest lose their
// weight round by round, so one bad comparison neither pulls its frame away nor breaks the chain.
struct PoseGraph {
    std::vector<Similarity> direct, step;
    std::vector<bool> hasDirect, hasStep;
    double radius = 1;  // turns weigh as their travel at this distance, pixels
};

constexpr double kAgree = 1.0;  // working pixels: estimates this close agree
// A comparison finding less than this share of what the others find again is not used.
constexpr double kWeakShare = 0.6;
// A direct estimate that finds at least this share of what the others find again stands alone.
constexpr double kStrongShare = 0.9;
// A step is measured a level above the direct estimates: it counts for less.
constexpr double kStepWeight = 0.5;

double Travel(double angle, double dx, double dy, double radius) {
    return std::max(std::hypot(dx, dy), std::abs(angle) * radius);
}

std::vector<Similarity> SolvePoses(const PoseGraph& graph, std::vector<double>& directError,
                                   std::vector<double>& stepError) {
    const int n = static_cast<int>(graph.direct.size());
    std::vector<Similarity> pose(graph.direct);
    pose[0] = Similarity{};
    std::vector<double> wd(static_cast<std::size_t>(n), 1.0), ws(static_cast<std::size_t>(n), kStepWeight);
    directError.assign(static_cast<std::size_t>(n), 0.0);
    stepError.assign(static_cast<std::size_t>(n), 0.0);
    auto residuals = [&] {
        for (int k = 0; k < n; ++k) {
            const Similarity& d = graph.direct[static_cast<std::size_t>(k)];
            const Similarity& p = pose[static_cast<std::size_t>(k)];
            directError[static_cast<std::size_t>(k)] =
                graph.hasDirect[static_cast<std::size_t>(k)]
                    ? Travel(p.angle - d.angle, p.dx - d.dx, p.dy - d.dy, graph.radius)
                    : 1e9;
            const Similarity& previous = pose[static_cast<std::size_t>((k + n - 1) % n)];
            const Similarity through = Compose(previous, graph.step[static_cast<std::size_t>(k)], 0, 0);
            stepError[static_cast<std::size_t>(k)] =
                graph.hasStep[static_cast<std::size_t>(k)]
                    ? Travel(p.angle - through.angle, p.dx - through.dx, p.dy - through.dy, graph.radius)
                    : 1e9;
        }
    };
    for (int round = 0; round < 8; ++round) {
        for (int sweep = 0; sweep < 300; ++sweep) {
            for (int k = 1; k < n; ++k) {
                const std::size_t i = static_cast<std::size_t>(k);
                const std::size_t next = static_cast<std::size_t>((k + 1) % n);
                const Similarity& prev = pose[static_cast<std::size_t>(k - 1)];
                const Similarity& after = pose[next];
                double w = 0, a = 0, x = 0, y = 0;
                if (graph.hasDirect[i]) {
                    w += wd[i];
                    a += wd[i] * graph.direct[i].angle;
                    x += wd[i] * graph.direct[i].dx;
                    y += wd[i] * graph.direct[i].dy;
                }
                if (graph.hasStep[i]) {
                    // Frame k as its predecessor's pose followed by the step.
                    const Similarity through = Compose(prev, graph.step[i], 0, 0);
                    w += ws[i];
                    a += ws[i] * through.angle;
                    x += ws[i] * through.dx;
                    y += ws[i] * through.dy;
                }
                if (graph.hasStep[next]) {
                    // Frame k as its successor's pose with the step undone.
                    const Similarity through = Compose(after, Inverse(graph.step[next]), 0, 0);
                    w += ws[next];
                    a += ws[next] * through.angle;
                    x += ws[next] * through.dx;
                    y += ws[next] * through.dy;
                }
                if (w <= 0) continue;
                pose[i].angle = a / w;
                pose[i].dx = x / w;
                pose[i].dy = y / w;
            }
        }
        residuals();
        for (int k = 0; k < n; ++k) {
            const std::size_t i = static_cast<std::size_t>(k);
            const double qd = directError[i] / kAgree, qs = stepError[i] / kAgree;
            wd[i] = 1.0 / (1 + qd * qd * qd * qd);
            ws[i] = kStepWeight / (1 + qs * qs * qs * qs);
        }
    }
    for (int k = 1; k < n; ++k) pose[static_cast<std::size_t>(k)].gain = graph.direct[static_cast<std::size_t>(k)].gain;
    return pose;
}

// Counts the crop's channel values of picture where they meet still, unclipped pixels of the
// reference, and sums the reference's values there.
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

}  // namespace

double BrightnessForSum(const std::vector<double>& histogram, double target) {
    double count = 0;
    for (double h : histogram) count += h;
    if (count <= 0) return 0;
    auto sumFor = [&](double brightness) {
        double sum = 0;
        for (std::size_t v = 0; v < histogram.size() && v < 256; ++v) {
            if (histogram[v] != 0) sum += histogram[v] * AdjustPixelTone(static_cast<int>(v), brightness, 0, 0);
        }
        return sum;
    };
    // The tone's brightness is increasing in its value: bisection, then the better of the two ends.
    double low = -100, high = 100;
    if (sumFor(low) >= target) return low;
    if (sumFor(high) <= target) return high;
    for (int i = 0; i < 50; ++i) {
        const double mid = 0.5 * (low + high);
        (sumFor(mid) < target ? low : high) = mid;
    }
    // The nearest value on a 0.001 grid whose result is closest, so the table's text gives it back.
    double best = Rounded(low, 0.001), bestError = 1e300;
    for (double candidate :
         {Rounded(low, 0.001), Rounded(high, 0.001), Rounded(low, 0.001) + 0.001, Rounded(high, 0.001) - 0.001}) {
        const double error = std::abs(sumFor(candidate) - target);
        if (error < bestError) {
            bestError = error;
            best = candidate;
        }
    }
    return Rounded(best, 0.001);
}

TurnAlignment AlignTurn(const AlignSettings& settings, const AlignCallbacks& callbacks) {
    TurnAlignment out;
    const int count = static_cast<int>(settings.paths.size());
    if (count == 0) return out;
    out.frames.resize(static_cast<std::size_t>(count));
    out.frames[0].aligned = true;
    out.frames[0].confidence = 1;

    int fullWidth = 0, fullHeight = 0;
    if (Status status = ReadPictureSize(settings.paths[0], fullWidth, fullHeight); !status.ok()) {
        out.status = status;
        return out;
    }
    Geometry g;
    g.denominator = ScaleDenominatorFor(fullWidth, fullHeight, settings.maxWorkingPixels);
    out.scaleDenominator = g.denominator;
    const bool sideways = settings.rotationDegrees == 90 || settings.rotationDegrees == 270;
    const int turnedWidth = sideways ? fullHeight : fullWidth, turnedHeight = sideways ? fullWidth : fullHeight;
    PixelRect crop = settings.crop.empty() ? PixelRect{0, 0, turnedWidth, turnedHeight} : settings.crop;
    // The tuned view turns a frame about the crop's centre pixel (integer half of its size).
    const double d = g.denominator;
    g.centreX = (crop.left + crop.width / 2 + 0.5) / d;
    g.centreY = (crop.top + crop.height / 2 + 0.5) / d;
    g.crop = {static_cast<int>(std::floor(crop.left / d)), static_cast<int>(std::floor(crop.top / d)),
              static_cast<int>(std::ceil(crop.width / d)), static_cast<int>(std::ceil(crop.height / d))};

    std::vector<Frame> frames(static_cast<std::size_t>(count));
    std::mutex mutex;  // guards out.status, the progress count and the callback
    int done = 0;
    std::atomic<bool> failed{false}, stopped{false};
    auto stopRequested = [&] {
        if (stopped.load()) return true;
        if (callbacks.stopping && callbacks.stopping()) stopped = true;
        return stopped.load();
    };
    auto report = [&] {
        std::lock_guard lock(mutex);
        ++done;
        if (callbacks.progress) callbacks.progress(done, 3 * count);
    };
    auto fail = [&](const Status& status) {
        std::lock_guard lock(mutex);
        if (!failed.exchange(true)) out.status = status;
    };
    // Each working thread decodes into buffers of its own, used again for every frame it takes.
    struct Buffers {
        std::size_t thread = 0;  // 0 .. threads - 1
        ByteBuffer bytes;
        Picture scratch, colour;
    };
    auto MatchesFirst = [&](int k) {
        const Pyramid& a = frames[static_cast<std::size_t>(k)].pyramid;
        const Pyramid& first = frames[0].pyramid;
        return k == 0 || (a.size() == first.size() && a[0].width == first[0].width && a[0].height == first[0].height);
    };
    // check: whether the frame is compared with the first one's size (which must be there already).
    auto load = [&](int k, Buffers& buffers, bool check = true) {
        Status status = LoadWorkingPicture(settings.paths[static_cast<std::size_t>(k)], g.denominator,
                                           settings.rotationDegrees, buffers.colour, buffers.bytes, buffers.scratch);
        if (!status.ok()) {
            fail(status);
            return false;
        }
        frames[static_cast<std::size_t>(k)].pyramid = BuildPyramid(GreyOf(buffers.colour));
        if (check) frames[static_cast<std::size_t>(k)].matches = MatchesFirst(k);
        return true;
    };
    const int threads = std::clamp(
        settings.threads > 0 ? settings.threads : static_cast<int>(std::thread::hardware_concurrency()), 1, 2);
    // Runs job(k) for k in [begin, end) on the working threads, stopping early on failure or stop.
    auto forFrames = [&](int begin, int end, bool counts, const std::function<void(int, Buffers&)>& job) {
        std::atomic<int> next{begin};
        auto worker = [&](std::size_t thread) {
            Buffers buffers;
            buffers.thread = thread;
            for (int k = next++; k < end; k = next++) {
                if (failed.load() || stopRequested()) return;
                job(k, buffers);
                if (counts) report();
            }
        };
        std::vector<std::thread> pool;
        for (int t = 1; t < threads; ++t) {
            try {
                pool.emplace_back(worker, static_cast<std::size_t>(t));
            } catch (const std::system_error&) {
                break;  // fewer threads: the work still gets done here
            }
        }
        worker(0);
        for (std::thread& t : pool) t.join();
    };
    auto interrupted = [&] {
        if (failed.load()) return true;
        if (stopped.load()) out.cancelled = true;
        return stopped.load();
    };
    // Runs a and b side by side where there are two threads.
    auto both = [&](const std::function<void()>& a, const std::function<void()>& b) {
        std::thread helper;
        if (threads > 1) {
            try {
                helper = std::thread(b);
            } catch (const std::system_error&) {
                // Here, one after the other.
            }
        }
        a();
        if (helper.joinable()) {
            helper.join();
        } else {
            b();
        }
    };

    // First the frames next to the first one on both sides: what differs between them and the first
    // frame, once laid over it, is what moves with the object; the rest is left to align by. They
    // are read together with the first.
    std::vector<int> near;
    for (int k : {1, count - 1, 2, count - 2})
        if (k > 0 && k < count && std::find(near.begin(), near.end(), k) == near.end()) near.push_back(k);
    std::vector<int> first = {0};
    first.insert(first.end(), near.begin(), near.end());
    // One more when that keeps both threads busy to the end: it is read now rather than later.
    for (int k = 1; k < count && threads > 1 && first.size() % 2 == 1; ++k)
        if (std::find(first.begin(), first.end(), k) == first.end()) first.push_back(k);
    forFrames(0, static_cast<int>(first.size()), false, [&](int i, Buffers& buffers) {
        const int k = first[static_cast<std::size_t>(i)];
        if (load(k, buffers, false)) frames[static_cast<std::size_t>(k)].colour = std::move(buffers.colour);
    });
    if (interrupted() || frames[0].pyramid.empty()) return out;
    for (int k : first) frames[static_cast<std::size_t>(k)].matches = MatchesFirst(k);
    report();
    const Frame& reference = frames[0];
    const int width0 = reference.pyramid[0].width, height0 = reference.pyramid[0].height;
    auto usable = [&](const Frame& frame) { return frame.matches; };

    // A tenth of a pixel a level up is near enough to tell what moves from what stays.
    const int nearFinest = std::min(1, static_cast<int>(reference.pyramid.size()) - 1);
    ReferencePoints allPoints;
    // Each thread counts the changes of the frames it compares while they are at hand.
    std::optional<ChangeCounter> counter;
    both([&] { allPoints = CollectPoints(reference.pyramid, nullptr, nearFinest); },
         [&] { counter.emplace(reference.pyramid, g.centreX, g.centreY); });
    const ChangeCounter& changes = *counter;
    std::vector<std::vector<std::uint16_t>> counts(static_cast<std::size_t>(threads));
    auto countsOfAll = [&] {
        std::vector<const std::vector<std::uint16_t>*> all;
        for (std::vector<std::uint16_t>& c : counts) all.push_back(&c);
        return all;
    };
    forFrames(0, static_cast<int>(near.size()), false, [&](int i, Buffers& buffers) {
        const int k = near[static_cast<std::size_t>(i)];
        Frame& frame = frames[static_cast<std::size_t>(k)];
        if (!usable(frame)) return;
        frame.direct = RegisterDirect(reference.pyramid, allPoints, nullptr, frame.pyramid, g, nearFinest).pose;
        changes.Add(frame.pyramid, frame.direct, counts[buffers.thread]);
    });
    if (interrupted()) return out;
    LevelMasks still;
    {
        still = changes.Mask(countsOfAll(), 1);
        // A scene that moves nearly everywhere leaves too little: then the weights alone decide.
        std::size_t kept = 0;
        for (std::uint8_t v : still[0]) kept += v;
        if (kept * 10 < still[0].size()) still.clear();
    }
    const LevelMasks* mask = still.empty() ? nullptr : &still;
    // The first estimates stop a level above the full working size: the final one refines them.
    const int fine = std::min(1, static_cast<int>(reference.pyramid.size()) - 1);
    const ReferencePoints points = mask ? CollectPoints(reference.pyramid, mask, fine) : allPoints;
    // Parts of the object that look still near the first frame may move later in the turn (a lid
    // that turns with it): what changes in a few frames of the whole turn is left out too, and every
    // frame refined once more without it. The direct estimates count those changes.
    const bool widen = mask && count > 5;
    for (std::vector<std::uint16_t>& c : counts) c.clear();
    std::atomic<int> counted{0};

    // Every frame against the first, directly, with what moves near the first frame left out. Its
    // exposure is measured while its colours are at hand: the final pass moves it by a fraction of
    // a pixel, which the nearest-pixel comparison hardly sees.
    forFrames(1, count, true, [&](int k, Buffers& buffers) {
        Frame& frame = frames[static_cast<std::size_t>(k)];
        if (frame.pyramid.empty() && !load(k, buffers)) return;
        if (!usable(frame)) {  // another size: not the same shot, left unaligned
            frame.colour.clear();
            return;
        }
        const RegistrationResult r = RegisterDirect(reference.pyramid, points, mask, frame.pyramid, g, fine);
        frame.direct = r.pose;
        frame.inliers = r.inliers;
        frame.registered = r.converged || r.inliers > 0;
        if (widen && frame.registered) {
            changes.Add(frame.pyramid, frame.direct, counts[buffers.thread]);
            ++counted;
        }
        std::vector<double> histogram;
        double target = 0;
        ExposureSums(reference.colour, frame.colour.empty() ? buffers.colour : frame.colour, frame.direct, g, histogram,
                     target);
        out.frames[static_cast<std::size_t>(k)].Brightness = BrightnessForSum(histogram, target);
        frame.colour.clear();
    });
    if (interrupted()) return out;
    frames[0].colour.clear();

    if (widen) {
        LevelMasks wider = changes.Mask(countsOfAll(), std::max(2, counted.load() / 20));
        for (std::size_t level = 0; level < wider.size(); ++level)
            for (std::size_t i = 0; i < wider[level].size(); ++i) wider[level][i] &= still[level][i];
        std::size_t kept = 0;
        for (std::uint8_t v : wider[0]) kept += v;
        if (kept * 20 >= wider[0].size()) still = std::move(wider);
    }
    ReferencePoints finalPoints;
    LevelMasks shrunk;  // for the steps between neighbours
    both([&] { finalPoints = CollectPoints(reference.pyramid, mask); },
         [&] {
             if (mask)
                 shrunk = ShrunkMasks(still[0], width0, height0, static_cast<int>(reference.pyramid.size()), fine);
         });
    forFrames(1, count, true, [&](int k, Buffers&) {
        Frame& frame = frames[static_cast<std::size_t>(k)];
        if (!usable(frame)) return;
        RegistrationOptions options;
        options.coarsestLevel = fine;
        const RegistrationResult r = Register(finalPoints, frame.pyramid, g.centreX, g.centreY, frame.direct, options);
        if (r.converged || r.inliers > 0) {
            frame.direct = r.pose;
            frame.inliers = r.inliers;
            frame.registered = true;
        }
        out.frames[static_cast<std::size_t>(k)].exposureRatio = frame.direct.gain;
        // The steps between neighbours compare the smaller levels only.
        if (fine > 0) frame.pyramid[0] = GreyImage{};
    });
    if (interrupted()) return out;

    // Each frame against its predecessor (the first against the last closes the turn), from where
    // the direct estimates put it.
    PoseGraph graph;
    graph.direct.resize(static_cast<std::size_t>(count));
    graph.step.resize(static_cast<std::size_t>(count));
    graph.hasDirect.assign(static_cast<std::size_t>(count), false);
    graph.hasStep.assign(static_cast<std::size_t>(count), false);
    graph.radius = 0.5 * std::hypot(g.crop.width, g.crop.height);
    graph.hasDirect[0] = true;
    for (int k = 1; k < count; ++k) {
        graph.direct[static_cast<std::size_t>(k)] = frames[static_cast<std::size_t>(k)].direct;
        graph.hasDirect[static_cast<std::size_t>(k)] = frames[static_cast<std::size_t>(k)].registered;
    }
    std::vector<double> stepInliers(static_cast<std::size_t>(count), 0.0);
    // One byte per frame: the threads write neighbouring entries, which packed bits would share.
    std::vector<std::uint8_t> stepFound(static_cast<std::size_t>(count), 0);
    forFrames(0, count, true, [&](int k, Buffers&) {
        const int previous = (k + count - 1) % count;
        const Frame& a = frames[static_cast<std::size_t>(previous)];
        const Frame& b = frames[static_cast<std::size_t>(k)];
        if (count < 2 || !usable(a) || !usable(b)) return;
        const LevelMasks seen =
            mask ? MaskSeenFrom(shrunk, width0, height0, a.pyramid, a.direct, g, fine) : LevelMasks{};
        const ReferencePoints stepPoints = CollectPoints(a.pyramid, mask ? &seen : nullptr, fine);
        const Similarity predicted = Compose(Inverse(a.direct), b.direct, g.centreX, g.centreY);
        RegistrationOptions options;
        options.finestLevel = fine;
        // The steps only check the direct estimates: as many points as the levels above.
        options.maxFinestPoints = options.maxPoints;
        const RegistrationResult r = Register(stepPoints, b.pyramid, g.centreX, g.centreY, predicted, options);
        graph.step[static_cast<std::size_t>(k)] = r.pose;
        stepFound[static_cast<std::size_t>(k)] = r.converged || r.inliers > 0;
        stepInliers[static_cast<std::size_t>(k)] = r.inliers;
    });
    if (interrupted()) return out;
    for (int k = 0; k < count; ++k)
        graph.hasStep[static_cast<std::size_t>(k)] = stepFound[static_cast<std::size_t>(k)] != 0;

    // A comparison that finds far less of the scene again than the others do says nothing: the
    // refinement may simply have stayed where it started.
    auto dropWeak = [](std::vector<bool>& has, const std::vector<double>& inliers, std::size_t from) {
        std::vector<double> found;
        for (std::size_t i = from; i < has.size(); ++i)
            if (has[i]) found.push_back(inliers[i]);
        if (found.empty()) return;
        std::nth_element(found.begin(), found.begin() + static_cast<std::ptrdiff_t>(found.size() / 2), found.end());
        const double typical = found[found.size() / 2];
        for (std::size_t i = from; i < has.size(); ++i)
            if (inliers[i] < kWeakShare * typical) has[i] = false;
    };
    std::vector<double> directInliers(static_cast<std::size_t>(count), 0.0);
    for (int k = 1; k < count; ++k)
        directInliers[static_cast<std::size_t>(k)] = frames[static_cast<std::size_t>(k)].inliers;
    dropWeak(graph.hasDirect, directInliers, 1);
    double typicalInliers = 0;
    {
        std::vector<double> found(directInliers.begin() + 1, directInliers.end());
        if (!found.empty()) {
            std::nth_element(found.begin(), found.begin() + static_cast<std::ptrdiff_t>(found.size() / 2), found.end());
            typicalInliers = found[found.size() / 2];
        }
    }
    dropWeak(graph.hasStep, stepInliers, 0);

    std::vector<double> directError, stepError;
    const std::vector<Similarity> poses = SolvePoses(graph, directError, stepError);
    for (int k = 1; k < count; ++k) {
        const std::size_t i = static_cast<std::size_t>(k);
        FrameAlignment& result = out.frames[i];
        if (!graph.hasDirect[i] && !graph.hasStep[i]) continue;
        // The direct estimate checked against the two paths through the neighbours (each from where
        // the neighbour was put): confirmed by either, the frame is sure; a direct estimate that found
        // the scene as well as the others do stands at the threshold on its own; without it, the two
        // paths must agree with each other.
        const std::size_t next = (i + 1) % static_cast<std::size_t>(count);
        bool viaLeft = graph.hasStep[i], viaRight = graph.hasStep[next];
        const Similarity left = viaLeft ? Compose(poses[i - 1], graph.step[i], 0, 0) : Similarity{};
        const Similarity right = viaRight ? Compose(poses[next], Inverse(graph.step[next]), 0, 0) : Similarity{};
        auto apart = [&](const Similarity& a, const Similarity& b) {
            return Travel(a.angle - b.angle, a.dx - b.dx, a.dy - b.dy, graph.radius);
        };
        const Similarity& direct = frames[i].direct;
        const bool strong = graph.hasDirect[i] && frames[i].inliers >= kStrongShare * typicalInliers;
        double confidence = 0;
        if (strong) {
            confidence = 0.5 + (viaLeft && apart(direct, left) <= kAgree ? 0.25 : 0.0) +
                         (viaRight && apart(direct, right) <= kAgree ? 0.25 : 0.0);
        } else if (viaLeft && viaRight && apart(left, right) <= kAgree) {
            confidence = 0.5;
        }
        result.confidence = confidence;
        result.disagreement = std::min(directError[i], 1e6) * d;
        const bool plausibleGain = frames[i].direct.gain > 0.5 && frames[i].direct.gain < 2;
        result.aligned = plausibleGain && result.confidence >= settings.minConfidence;
        // The tuned view shows the crop centre minus (DX, DY), turned by -Angle: the inverse pose.
        const Similarity& pose = poses[i];
        result.DX = Rounded(-pose.dx * d, 0.001);
        result.DY = Rounded(-pose.dy * d, 0.001);
        result.Angle = Rounded(-pose.angle * 180 / std::numbers::pi, 0.0001);
    }
    return out;
}

}  // namespace turnlet
