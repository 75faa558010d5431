// SPDX-License-Identifier: MIT
// The search for the end of the turn on small grey copies of the frames.
#include "align/turn_end.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>

#include "align/registration.h"
#include "align/working_picture.h"
#include "base/tasks.h"
#include "codecs/image_files.h"

namespace turnlet {
namespace {

// The grey copies hold about this many pixels of the crop: enough to tell views apart, few enough
// for hundreds of frames a second.
constexpr long long kCopyPixels = 12000;
// Whole-pixel shifts tried each way when laying a frame over another (copy pixels).
constexpr int kShiftRadius = 3;
// Differences are capped so that a few pixels that change wholly do not outweigh the rest.
constexpr double kCap = 48;
// A frame that differs from the first by less than this share of what another view differs shows
// the first view again.
constexpr double kRepeatShare = 0.5;
// So many frames at least must have turned away before a frame can come round again.
constexpr int kMinAwayFrames = 3;

// The crop of picture (turned already, at 1/denominator) as a grey copy reduced to about
// kCopyPixels.
GreyImage CropCopy(const Picture& picture, const PixelRect& crop, int denominator) {
    const int left = std::clamp(crop.left / denominator, 0, std::max(picture.width() - 1, 0));
    const int top = std::clamp(crop.top / denominator, 0, std::max(picture.height() - 1, 0));
    const int width = std::clamp((crop.width + denominator - 1) / denominator, 1, picture.width() - left);
    const int height = std::clamp((crop.height + denominator - 1) / denominator, 1, picture.height() - top);
    GreyImage grey;
    grey.width = width;
    grey.height = height;
    grey.values.resize(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* p = picture.pixel(left, top + y);
        for (int x = 0; x < width; ++x, p += 3) grey.at(x, y) = (p[0] + p[1] + p[2]) * (1.0f / 3.0f);
    }
    while (static_cast<long long>(grey.width) * grey.height > 2 * kCopyPixels && grey.width > 16 && grey.height > 16)
        grey = HalfSize(grey);
    return grey;
}

}  // namespace

TurnEnd FindTurnEnd(const AlignSettings& settings, const AlignCallbacks& callbacks) {
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
    const int denominator = ScaleDenominatorFor(crop.width, crop.height, kCopyPixels * 16);

    std::vector<Pyramid> copies(static_cast<std::size_t>(count));
    std::mutex mutex;
    std::atomic<bool> failed{false}, stopped{false};
    std::atomic<int> next{0};
    int done = 0;
    auto worker = [&] {
        ByteBuffer bytes;
        Picture picture, scratch;
        for (int k = next++; k < count; k = next++) {
            if (failed.load() || stopped.load()) return;
            if (callbacks.stopping && callbacks.stopping()) {
                stopped = true;
                return;
            }
            const Status status = LoadWorkingPicture(settings.paths[static_cast<std::size_t>(k)], denominator,
                                                     settings.rotationDegrees, picture, bytes, scratch);
            std::lock_guard lock(mutex);
            if (!status.ok()) {
                if (!failed.exchange(true)) out.status = status;
                return;
            }
            copies[static_cast<std::size_t>(k)] = BuildPyramid(CropCopy(picture, crop, denominator), 12);
            ++done;
            if (callbacks.progress) callbacks.progress(done, 2 * count);
        }
    };
    ForOptions pool;  // one item per thread: each worker takes frames until none are left
    pool.maxThreads = std::clamp(settings.threads > 0 ? settings.threads : PoolThreads(), 1, 2);
    pool.what = "reading the frames";
    const TaskOutcome run = ParallelFor(0, pool.maxThreads, pool, [&](int, int) { worker(); });
    if (run.failed() && !failed.exchange(true)) out.status = run.status;
    if (failed.load()) return out;
    if (stopped.load()) {
        out.cancelled = true;
        return out;
    }

    // How each frame differs from the first once laid over it.
    auto difference = [&](const Pyramid& reference, const ReferencePoints& points, const Pyramid& picture) {
        const GreyImage& ref = reference[0];
        const double cx = ref.width * 0.5, cy = ref.height * 0.5;
        const ShiftEstimate shift = SearchShift(reference.back(), picture.back(), nullptr, kShiftRadius);
        const double scale = std::ldexp(1.0, static_cast<int>(reference.size()) - 1);
        Similarity start;
        start.dx = shift.dx * scale;
        start.dy = shift.dy * scale;
        const RegistrationResult r = Register(points, picture, cx, cy, start);
        return MeanDifference(ref, picture[0], r.pose, cx, cy, kCap);
    };
    auto sameShape = [](const Pyramid& a, const Pyramid& b) {
        return a.size() == b.size() && a[0].width == b[0].width && a[0].height == b[0].height;
    };
    const Pyramid& first = copies[0];
    const ReferencePoints firstPoints = CollectPoints(first, nullptr);
    out.difference.assign(static_cast<std::size_t>(count), 0.0);
    for (int k = 1; k < count; ++k) {
        const Pyramid& copy = copies[static_cast<std::size_t>(k)];
        if (!sameShape(copy, first)) {
            out.difference[static_cast<std::size_t>(k)] = 1e9;  // another size: not the same shot
            continue;
        }
        out.difference[static_cast<std::size_t>(k)] = difference(first, firstPoints, copy);
        if (callbacks.progress) callbacks.progress(count + k, 2 * count);
        if (callbacks.stopping && callbacks.stopping()) {
            out.cancelled = true;
            return out;
        }
    }

    // The typical difference of a frame that shows another view: most frames of a turn do.
    std::vector<double> all;
    for (int k = 1; k < count; ++k)
        if (out.difference[static_cast<std::size_t>(k)] < 1e9)
            all.push_back(out.difference[static_cast<std::size_t>(k)]);
    if (all.empty()) return out;
    std::nth_element(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(all.size() / 2), all.end());
    const double away = all[all.size() / 2];
    // Past the frames that have clearly turned away from the first view (a few of them at least),
    // the first stretch that comes back close to it; its closest frame shows the first view again.
    const double limit = kRepeatShare * away;
    int k = 1;
    while (k < count && out.difference[static_cast<std::size_t>(k)] <= limit) ++k;
    const int awayFrom = k;
    while (k < count && out.difference[static_cast<std::size_t>(k)] > limit) ++k;
    if (k >= count || k - awayFrom < kMinAwayFrames || !(away > 0)) return out;
    int best = k;
    for (; k < count && out.difference[static_cast<std::size_t>(k)] <= limit; ++k)
        if (out.difference[static_cast<std::size_t>(k)] < out.difference[static_cast<std::size_t>(best)]) best = k;
    out.found = true;
    out.repeat = best;
    out.last = best - 1;
    out.confidence = std::clamp(1 - out.difference[static_cast<std::size_t>(best)] / away, 0.0, 1.0);
    return out;
}

}  // namespace turnlet
