// SPDX-License-Identifier: MIT
// The search for the end of the turn on small copies of the frames: reading them, laying each over
// the first by the camera's own shake, and the differences the search asks for.
#include "align/turn_end.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <mutex>

#include "align/turn_end_search.h"
#include "align/turn_stages.h"
#include "align/working_picture.h"
#include "base/tasks.h"
#include "codecs/image_files.h"

namespace turnlet {
namespace {

// The copies hold about this many pixels of the crop: enough to tell views apart, few enough that
// a few hundred frames take a second or so.
constexpr long long kCopyPixels = 12000;
// Whole-pixel shifts tried each way when laying a frame over the first (copy pixels).
constexpr int kShiftRadius = 3;
// Differences are capped so that a few pixels that change wholly do not outweigh the rest.
constexpr float kCap = 48;
// Sizes the colour copies are compared at, each half the one before: the finer ones tell small
// turns apart, the coarser ones keep telling a step from two when the finer ones already saturate.
constexpr int kColourLevels = 4;
// Frames spread over the set that show what changes as the object turns.
constexpr int kMaskFrames = 12;
// A pixel of the first frame changes when it differs from those frames by more than this many grey
// levels plus this share of its slope (what a shake's misplacement explains) on average.
constexpr float kStillLevels = 2;
constexpr float kStillSlope = 0.5f;

// A 1 2 1 blur both ways (edge pixels repeated).
GreyImage Soften(const GreyImage& image) {
    GreyImage across = image, out = image;
    const int w = image.width, h = image.height;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            across.at(x, y) =
                0.25f * (image.at(std::max(x - 1, 0), y) + 2 * image.at(x, y) + image.at(std::min(x + 1, w - 1), y));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            out.at(x, y) =
                0.25f * (across.at(x, std::max(y - 1, 0)) + 2 * across.at(x, y) + across.at(x, std::min(y + 1, h - 1)));
    return out;
}

TurnEndCopy::Level Interleave(const GreyImage (&channels)[3]) {
    TurnEndCopy::Level level;
    level.width = channels[0].width;
    level.height = channels[0].height;
    level.rgb.resize(channels[0].values.size() * 3);
    for (std::size_t i = 0; i < channels[0].values.size(); ++i)
        for (int c = 0; c < 3; ++c)
            level.rgb[i * 3 + static_cast<std::size_t>(c)] =
                static_cast<std::uint8_t>(std::clamp(channels[c].values[i], 0.0f, 255.0f) + 0.5f);
    return level;
}

// Runs task(i) for i < count on up to `threads` threads; false when stopping said so or a task
// threw (failure names what went wrong).
template <class Task>
bool ForEach(int count, int threads, const AlignCallbacks& callbacks, Status& failure, Task task) {
    // Items run on the task library's pool; a failure (or an exception, which the pool carries back
    // as a status) stops the rest.
    std::atomic<bool> halt{false};
    std::mutex mutex;
    ForOptions options;
    options.maxThreads = threads;
    options.what = "comparing the frames";
    const TaskOutcome run = ParallelFor(0, count, options, [&](int i, int) {
        if (halt.load()) return;
        if (callbacks.stopping && callbacks.stopping()) {
            halt = true;
            return;
        }
        Status status = task(i);
        if (!status.ok()) {
            std::lock_guard lock(mutex);
            if (!halt.exchange(true)) failure = status;
        }
    });
    if (run.failed()) {
        std::lock_guard lock(mutex);
        if (!halt.exchange(true)) failure = run.status;
    }
    return !halt.load();
}

int ThreadCount(int asked) {
    return std::clamp(asked > 0 ? asked : PoolThreads(), 1, 2);
}

bool SameShape(const TurnEndCopy& a, const TurnEndCopy& b) {
    return !a.grey.empty() && a.grey.size() == b.grey.size() && a.grey[0].width == b.grey[0].width &&
           a.grey[0].height == b.grey[0].height && a.colour.size() == b.colour.size();
}

// The pixels of the first frame that change as the object turns, and a pixel round them, per
// pyramid level: laying frames over each other by those would follow the turning surface, not
// the camera.
LevelMasks MovingMask(const Pyramid& first, const std::vector<const Pyramid*>& frames,
                      const std::vector<Similarity>& poses) {
    const GreyImage& ref = first[0];
    const double cx = ref.width * 0.5, cy = ref.height * 0.5;
    std::vector<float> change(ref.values.size(), 0);
    for (std::size_t f = 0; f < frames.size(); ++f) {
        const GreyImage& img = (*frames[f])[0];
        const Similarity& pose = poses[f];
        for (int y = 0; y < ref.height; ++y)
            for (int x = 0; x < ref.width; ++x) {
                double px = 0, py = 0;
                MapPoint(pose, cx, cy, x + 0.5, y + 0.5, px, py);
                px -= 0.5, py -= 0.5;
                if (!(px >= 0 && py >= 0 && px < img.width - 1 && py < img.height - 1)) continue;
                const int ix = static_cast<int>(px), iy = static_cast<int>(py);
                const float a = static_cast<float>(px - ix), b = static_cast<float>(py - iy);
                const float top = img.at(ix, iy) + (img.at(ix + 1, iy) - img.at(ix, iy)) * a;
                const float under = img.at(ix, iy + 1) + (img.at(ix + 1, iy + 1) - img.at(ix, iy + 1)) * a;
                change[static_cast<std::size_t>(y) * ref.width + x] +=
                    std::abs(static_cast<float>(pose.gain) * (top + (under - top) * b) - ref.at(x, y)) / frames.size();
            }
    }
    LevelMasks masks(first.size());
    std::vector<std::uint8_t>& still = masks[0];
    still.assign(ref.values.size(), 1);
    for (int y = 0; y < ref.height; ++y)
        for (int x = 0; x < ref.width; ++x) {
            const float sx = 0.5f * (ref.at(std::min(x + 1, ref.width - 1), y) - ref.at(std::max(x - 1, 0), y));
            const float sy = 0.5f * (ref.at(x, std::min(y + 1, ref.height - 1)) - ref.at(x, std::max(y - 1, 0)));
            if (change[static_cast<std::size_t>(y) * ref.width + x] <= kStillLevels + kStillSlope * std::hypot(sx, sy))
                continue;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const int u = x + dx, v = y + dy;
                    if (u >= 0 && v >= 0 && u < ref.width && v < ref.height)
                        still[static_cast<std::size_t>(v) * ref.width + u] = 0;
                }
        }
    // Coarser levels: a pixel is still when all four it stands for are.
    for (std::size_t level = 1; level < first.size(); ++level) {
        const GreyImage &fine = first[level - 1], &coarse = first[level];
        masks[level].assign(coarse.values.size(), 1);
        for (int y = 0; y < coarse.height; ++y)
            for (int x = 0; x < coarse.width; ++x)
                for (int dy = 0; dy < 2; ++dy)
                    for (int dx = 0; dx < 2; ++dx) {
                        const int u = std::min(2 * x + dx, fine.width - 1), v = std::min(2 * y + dy, fine.height - 1);
                        if (!masks[level - 1][static_cast<std::size_t>(v) * fine.width + u])
                            masks[level][static_cast<std::size_t>(y) * coarse.width + x] = 0;
                    }
    }
    return masks;
}

Similarity LayOver(const ReferencePoints& points, const Pyramid& first, const Pyramid& frame, const Similarity* start) {
    const double cx = first[0].width * 0.5, cy = first[0].height * 0.5;
    Similarity from;
    if (start) {
        from = *start;
    } else {
        const ShiftEstimate shift = SearchShift(first.back(), frame.back(), nullptr, kShiftRadius);
        const double scale = std::ldexp(1.0, static_cast<int>(first.size()) - 1);
        from.dx = shift.dx * scale;
        from.dy = shift.dy * scale;
    }
    return Register(points, frame, cx, cy, from).pose;
}

// The x range [from, to) of a row where x0 + x * step stays within [0, limit) (sample grid units).
void KeepWithin(double x0, double step, double limit, int& from, int& to) {
    if (std::abs(step) < 1e-12) {
        if (!(x0 >= 0 && x0 < limit)) to = from;
        return;
    }
    double lo = (0 - x0) / step, hi = (limit - x0) / step;
    if (lo > hi) std::swap(lo, hi);
    from = std::max(from, static_cast<int>(std::ceil(lo + 1e-9)));
    to = std::min(to, static_cast<int>(std::ceil(hi - 1e-9)));
}

// The mean difference, per channel capped at kCap, of two copies at each of their sizes with each
// sampled half way along the pose: both then lose alike to the sampling.
double CopyDifference(const TurnEndCopy& a, const TurnEndCopy& b, const Similarity& pose) {
    double total = 0;
    for (std::size_t level = 0; level < a.colour.size(); ++level) {
        const TurnEndCopy::Level &la = a.colour[level], &lb = b.colour[level];
        const double scale = std::ldexp(1.0, -static_cast<int>(level));
        const double cx = la.width * 0.5, cy = la.height * 0.5, half = pose.angle / 2;
        const double ca = std::cos(-half), sa = std::sin(-half), cb = std::cos(half), sb = std::sin(half);
        const double dx = pose.dx * scale, dy = pose.dy * scale;
        // a at centre + R(-h)(q - centre - d / 2), b at centre + R(h)(q - centre) + d - R(h) d / 2; both
        // less the half pixel to the sample grid.
        const double ax0 = cx - (ca * dx - sa * dy) / 2 - 0.5, ay0 = cy - (sa * dx + ca * dy) / 2 - 0.5;
        const double bx0 = cx + dx - (cb * dx - sb * dy) / 2 - 0.5, by0 = cy + dy - (sb * dx + cb * dy) / 2 - 0.5;
        const float gain = static_cast<float>(pose.gain);
        const std::size_t strideA = static_cast<std::size_t>(la.width) * 3,
                          strideB = static_cast<std::size_t>(lb.width) * 3;
        double sum = 0;
        std::size_t n = 0;
        for (int y = 0; y < la.height; ++y) {
            const double v = y + 0.5 - cy, u0 = 0.5 - cx;
            // Where the row starts in either copy, and how far one pixel along it moves.
            const double axs = ax0 + ca * u0 - sa * v, ays = ay0 + sa * u0 + ca * v;
            const double bxs = bx0 + cb * u0 - sb * v, bys = by0 + sb * u0 + cb * v;
            int from = 0, to = la.width;
            KeepWithin(axs, ca, la.width - 1, from, to);
            KeepWithin(ays, sa, la.height - 1, from, to);
            KeepWithin(bxs, cb, lb.width - 1, from, to);
            KeepWithin(bys, sb, lb.height - 1, from, to);
            float rowSum = 0;
            for (int x = from; x < to; ++x) {
                const float fax = static_cast<float>(axs + ca * x), fay = static_cast<float>(ays + sa * x);
                const float fbx = static_cast<float>(bxs + cb * x), fby = static_cast<float>(bys + sb * x);
                const int iax = std::min(static_cast<int>(fax), la.width - 2),
                          iay = std::min(static_cast<int>(fay), la.height - 2);
                const int ibx = std::min(static_cast<int>(fbx), lb.width - 2),
                          iby = std::min(static_cast<int>(fby), lb.height - 2);
                const float tax = fax - iax, tay = fay - iay, tbx = fbx - ibx, tby = fby - iby;
                const std::uint8_t* pa =
                    la.rgb.data() + static_cast<std::size_t>(iay) * strideA + static_cast<std::size_t>(iax) * 3;
                const std::uint8_t* pb =
                    lb.rgb.data() + static_cast<std::size_t>(iby) * strideB + static_cast<std::size_t>(ibx) * 3;
                float d = 0;
                for (int c = 0; c < 3; ++c) {
                    const float atop = pa[c] + (pa[c + 3] - pa[c]) * tax;
                    const float aunder = pa[strideA + c] + (pa[strideA + c + 3] - pa[strideA + c]) * tax;
                    const float btop = pb[c] + (pb[c + 3] - pb[c]) * tbx;
                    const float bunder = pb[strideB + c] + (pb[strideB + c + 3] - pb[strideB + c]) * tbx;
                    d += std::min(std::abs(gain * (btop + (bunder - btop) * tby) - (atop + (aunder - atop) * tay)),
                                  kCap);
                }
                rowSum += d;
            }
            sum += rowSum;
            n += static_cast<std::size_t>(std::max(0, to - from));
        }
        total += n ? sum / (3.0 * static_cast<double>(n)) : kCap;
    }
    return a.colour.empty() ? kCap : total / static_cast<double>(a.colour.size());
}

TurnEnd Search(const std::vector<TurnEndCopy>& copies, int threads, const AlignCallbacks& callbacks, int progressBase,
               int progressTotal) {
    TurnEnd out;
    const int count = static_cast<int>(copies.size());
    if (count < 3 || copies[0].grey.empty() || copies[0].colour.empty()) return out;
    std::atomic<int> done{progressBase};
    auto report = [&] {
        const int now = ++done;
        if (callbacks.progress) callbacks.progress(std::min(now, progressTotal), progressTotal);
    };
    std::mutex reportMutex;
    auto reportLocked = [&] {
        std::lock_guard lock(reportMutex);
        report();
    };

    // Each frame laid over the first by the camera's shake alone: by the pixels that do not change
    // as the object turns, found with a first, plain pass over frames spread across the set.
    const Pyramid& first = copies[0].grey;
    const ReferencePoints allPoints = CollectPoints(first, nullptr);
    std::vector<Similarity> plain(copies.size()), poses(copies.size());
    std::vector<char> usable(copies.size(), 0);
    for (int k = 0; k < count; ++k)
        usable[static_cast<std::size_t>(k)] = SameShape(copies[0], copies[static_cast<std::size_t>(k)]);
    Status failure;
    auto stoppedOrFailed = [&](bool ran) {
        if (ran) return false;
        if (failure.ok())
            out.cancelled = true;
        else
            out.status = failure;
        return true;
    };
    std::vector<int> spread;
    for (int i = 1; i <= kMaskFrames; ++i) {
        const int k = static_cast<int>(static_cast<long long>(i) * (count - 1) / kMaskFrames);
        if (k >= 1 && usable[static_cast<std::size_t>(k)] && (spread.empty() || spread.back() != k))
            spread.push_back(k);
    }
    // The plain pass starts the second one: from a coarse shift alone it settles worse.
    bool ran = ForEach(count - 1, threads, callbacks, failure, [&](int i) {
        const std::size_t k = static_cast<std::size_t>(i) + 1;
        if (usable[k]) plain[k] = LayOver(allPoints, first, copies[k].grey, nullptr);
        return Status::Ok();
    });
    if (stoppedOrFailed(ran)) return out;
    std::vector<const Pyramid*> spreadFrames;
    std::vector<Similarity> spreadPoses;
    for (int k : spread) {
        spreadFrames.push_back(&copies[static_cast<std::size_t>(k)].grey);
        spreadPoses.push_back(plain[static_cast<std::size_t>(k)]);
    }
    const LevelMasks still = MovingMask(first, spreadFrames, spreadPoses);
    ReferencePoints stillPoints = CollectPoints(first, &still);
    if (stillPoints.empty() || stillPoints[0].size() < 64) stillPoints = allPoints;  // everything changes: all of it
    ran = ForEach(count - 1, threads, callbacks, failure, [&](int i) {
        const std::size_t k = static_cast<std::size_t>(i) + 1;
        if (usable[k]) poses[k] = LayOver(stillPoints, first, copies[k].grey, &plain[k]);
        reportLocked();
        return Status::Ok();
    });
    if (stoppedOrFailed(ran)) return out;

    FramePairs pairs;
    pairs.count = count;
    int asked = 0;
    pairs.fill = [&](const std::vector<std::pair<int, int>>& list, std::vector<double>& values) {
        values.assign(list.size(), kCap);
        const bool ok = ForEach(static_cast<int>(list.size()), threads, callbacks, failure, [&](int i) {
            const auto [a, b] = list[static_cast<std::size_t>(i)];
            const std::size_t ua = static_cast<std::size_t>(a), ub = static_cast<std::size_t>(b);
            if (usable[ua] && usable[ub]) {
                const double cx = first[0].width * 0.5, cy = first[0].height * 0.5;
                values[static_cast<std::size_t>(i)] =
                    CopyDifference(copies[ua], copies[ub], Compose(alignment::Inverse(poses[ua]), poses[ub], cx, cy));
            }
            return Status::Ok();
        });
        // The search asks for a few frames' worth of pairs per frame; progress moves on by a frame
        // per batch's share of that, never past the end.
        asked += static_cast<int>(list.size());
        const int target = std::min(progressTotal - 1, progressBase + 2 * count - count / (1 + asked / count));
        while (done.load() < target) report();
        return ok;
    };
    const TurnEndEstimate estimate = EstimateTurnEnd(pairs);
    if (estimate.stopped) {
        stoppedOrFailed(false);
        return out;
    }
    out.difference = estimate.fromFirst;
    out.confidence = estimate.confidence;
    out.runnerUp = estimate.runnerUp;
    out.runnerUpConfidence = estimate.runnerUpConfidence;
    if (estimate.kind != TurnEndKind::Short) {
        out.found = true;
        out.oneTurn = estimate.kind == TurnEndKind::OneTurn;
        out.last = estimate.last;
        out.repeat = estimate.last + 1;
        out.position = estimate.position;
    }
    if (callbacks.progress) callbacks.progress(progressTotal, progressTotal);
    return out;
}

// Whatever escapes the search (out of memory, a callback that throws) fails it with a status.
template <class Work>
TurnEnd Guarded(Work work) {
    TurnEnd out;
    try {
        return work();
    } catch (const std::bad_alloc&) {
        out.status = Status::Error({}, "not enough memory to compare the frames");
    } catch (const std::exception& e) {
        out.status = Status::Error({}, e.what());
    }
    return out;
}

TurnEnd FindFromFiles(const AlignSettings& settings, const AlignCallbacks& callbacks) {
    TurnEnd out;
    const int count = static_cast<int>(settings.paths.size());
    if (count < 3) return out;
    int fullWidth = 0, fullHeight = 0;
    if (Status status = ReadPictureSize(settings.paths[0], fullWidth, fullHeight); !status.ok()) {
        out.status = status;
        return out;
    }
    const bool sideways = settings.rotationDegrees == 90 || settings.rotationDegrees == 270;
    const int turnedWidth = sideways ? fullHeight : fullWidth, turnedHeight = sideways ? fullWidth : fullHeight;
    const PixelRect crop = settings.crop.empty() ? PixelRect{0, 0, turnedWidth, turnedHeight} : settings.crop;
    // Decoded at the smallest scale that still holds twice the copy each way: the decoder's own
    // reduction is far cheaper than reading every pixel and halving afterwards.
    const int denominator = ScaleDenominatorFor(crop.width, crop.height, kCopyPixels * 4);
    const int threads = ThreadCount(settings.threads);

    std::vector<TurnEndCopy> copies(static_cast<std::size_t>(count));
    int done = 0;
    std::mutex mutex;
    Status failure;
    const bool ran = ForEach(count, threads, callbacks, failure, [&](int k) {
        ByteBuffer bytes;
        Picture picture, scratch;
        const Status status = LoadWorkingPicture(settings.paths[static_cast<std::size_t>(k)], denominator,
                                                 settings.rotationDegrees, picture, bytes, scratch);
        if (!status.ok()) return status;
        copies[static_cast<std::size_t>(k)] = MakeTurnEndCopy(picture, crop, denominator);
        std::lock_guard lock(mutex);
        if (callbacks.progress) callbacks.progress(++done, 3 * count);
        return Status::Ok();
    });
    if (!ran) {
        if (failure.ok())
            out.cancelled = true;
        else
            out.status = failure;
        return out;
    }
    return Search(copies, threads, callbacks, count, 3 * count);
}

}  // namespace

TurnEndCopy MakeTurnEndCopy(const Picture& picture, const PixelRect& crop, int denominator) {
    TurnEndCopy copy;
    if (picture.empty()) return copy;
    const int d = std::max(denominator, 1);
    const int left = std::clamp(crop.left / d, 0, picture.width() - 1);
    const int top = std::clamp(crop.top / d, 0, picture.height() - 1);
    const int width = std::clamp((crop.width + d - 1) / d, 1, picture.width() - left);
    const int height = std::clamp((crop.height + d - 1) / d, 1, picture.height() - top);
    GreyImage grey, channels[3];
    for (GreyImage* image : {&grey, &channels[0], &channels[1], &channels[2]}) {
        image->width = width;
        image->height = height;
        image->values.resize(static_cast<std::size_t>(width) * height);
    }
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* p = picture.pixel(left, top + y);
        for (int x = 0; x < width; ++x, p += 3) {
            grey.at(x, y) = (p[0] + p[1] + p[2]) * (1.0f / 3.0f);
            for (int c = 0; c < 3; ++c) channels[c].at(x, y) = p[c];
        }
    }
    while (static_cast<long long>(grey.width) * grey.height > 2 * kCopyPixels && grey.width > 16 && grey.height > 16) {
        grey = HalfSize(grey);
        for (GreyImage& channel : channels) channel = HalfSize(channel);
    }
    copy.grey = BuildPyramid(std::move(grey), 12);
    // Softened, so that sampling between pixels costs every frame alike.
    for (int level = 0; level < kColourLevels; ++level) {
        for (GreyImage& channel : channels) channel = Soften(level == 0 ? channel : HalfSize(channel));
        copy.colour.push_back(Interleave(channels));
        if (channels[0].width < 8 || channels[0].height < 8) break;
    }
    return copy;
}

TurnEnd FindTurnEndIn(const std::vector<TurnEndCopy>& copies, int threads, const AlignCallbacks& callbacks) {
    const int count = static_cast<int>(copies.size());
    return Guarded([&] { return Search(copies, ThreadCount(threads), callbacks, 0, 2 * count); });
}

TurnEnd FindTurnEnd(const AlignSettings& settings, const AlignCallbacks& callbacks) {
    return Guarded([&] { return FindFromFiles(settings, callbacks); });
}

}  // namespace turnlet
