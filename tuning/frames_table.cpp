// SPDX-License-Identifier: MIT
// The frames of the turn and their cyclic interpolation.
#include "tuning/frames_table.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string_view>
#include <unordered_map>

#include "base/number_text.h"

namespace turnlet {

int FrameCount(int firstFrame, int lastFrame) {
    std::int64_t n = static_cast<std::int64_t>(lastFrame) - firstFrame + 1;
    return static_cast<int>(std::clamp<std::int64_t>(n, 0, INT_MAX - 1));
}

double LinearInterpolate(double x1, double y1, double x2, double y2, double x) {
    return y1 + (y2 - y1) * (x - x1) / (x2 - x1);
}

void InterpolateCyclic(const std::vector<bool>& marks, std::vector<double>& values, double defaultValue) {
    const std::int64_t n = static_cast<std::int64_t>(values.size());
    auto marked = [&](std::int64_t position) {
        std::size_t p = static_cast<std::size_t>(position % n);
        return p < marks.size() && marks[p];
    };
    std::int64_t count = 0, first = -1, last = -1;
    for (std::int64_t k = 0; k < n; ++k) {
        if (!marked(k)) continue;
        ++count;
        if (first < 0) first = k;
        last = k;
    }
    if (count == 0) {
        std::fill(values.begin(), values.end(), defaultValue);
        return;
    }
    if (count == 1) {
        std::fill(values.begin(), values.end(), values[static_cast<std::size_t>(last)]);
        return;
    }
    // Unwrapped positions j = F+1 .. F+N-1; prev and next are the keyframes around j, next may
    // be F+N, the first keyframe seen again after a full turn.
    std::int64_t prev = first, next = 0;
    for (std::int64_t j = first + 1; j <= first + n - 1; ++j) {
        if (marked(j)) {
            prev = j;
            continue;
        }
        if (j > next) {
            for (std::int64_t t = j + 1; t <= first + n; ++t) {
                if (marked(t)) {
                    next = t;
                    break;
                }
            }
        }
        values[static_cast<std::size_t>(j % n)] = LinearInterpolate(
            static_cast<double>(prev), values[static_cast<std::size_t>(prev % n)], static_cast<double>(next),
            values[static_cast<std::size_t>(next % n)], static_cast<double>(j));
    }
}

double FrameNumber(double value) {
    return ParseLeadingReal(FormatG(value));
}

FrameRows RestoreKeyframes(const Keyframes& keyframes, const std::vector<std::string>& sources, int firstFrame,
                           int lastFrame) {
    const int n = FrameCount(firstFrame, lastFrame);
    FrameRows frames(static_cast<std::size_t>(n));

    // Each source path in the range to the first frame that shows it: one look-up per keyframe
    // instead of a walk over the range, which made opening a large project quadratic.
    const std::int64_t firstSource = std::max<std::int64_t>(firstFrame, 0);
    const std::int64_t endSource =
        std::min<std::int64_t>(static_cast<std::int64_t>(firstFrame) + n, static_cast<std::int64_t>(sources.size()));
    std::unordered_map<std::string_view, int> frameOfPath;
    frameOfPath.reserve(static_cast<std::size_t>(std::max<std::int64_t>(endSource - firstSource, 0)));
    for (std::int64_t source = firstSource; source < endSource; ++source) {
        frameOfPath.try_emplace(sources[static_cast<std::size_t>(source)], static_cast<int>(source - firstFrame));
    }

    // In keyframe order, so that of two keyframes on one frame the later one's values stand.
    for (const Keyframe& keyframe : keyframes) {
        const auto match = frameOfPath.find(keyframe.path);
        if (match == frameOfPath.end()) continue;
        FrameRow& row = frames[static_cast<std::size_t>(match->second)];
        row.key = true;
        row.values = keyframe.values;
    }

    std::vector<bool> marks(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k) marks[static_cast<std::size_t>(k)] = frames[static_cast<std::size_t>(k)].key;
    std::vector<double> values(static_cast<std::size_t>(n));
    for (int c = 0; c < kKeyframeValueCount; ++c) {
        for (int k = 0; k < n; ++k) values[static_cast<std::size_t>(k)] = frames[static_cast<std::size_t>(k)].values[c];
        InterpolateCyclic(marks, values, 0.0);
        for (int k = 0; k < n; ++k)
            frames[static_cast<std::size_t>(k)].values[c] = FrameNumber(values[static_cast<std::size_t>(k)]);
    }
    return frames;
}

}  // namespace turnlet
