// SPDX-License-Identifier: MIT
// Alignment results as keyframes.
#include "align/align_keyframes.h"

#include <algorithm>
#include <cmath>

#include "tuning/keyframes.h"

namespace turnlet {
namespace {

// The tone's brightness multiplies by (100 + b) / 100 below 0 and by (30 + b) / 30 from 0 up.
double Factor(double brightness) {
    return brightness < 0 ? (100 + brightness) / 100 : (30 + brightness) / 30;
}
double BrightnessOf(double factor) {
    return factor < 1 ? factor * 100 - 100 : factor * 30 - 30;
}

}  // namespace

double CombineBrightness(double first, double second) {
    const double combined = BrightnessOf(Factor(first) * Factor(second));
    return std::clamp(std::round(combined * 1000) / 1000, -100.0, 100.0);
}

AppliedAlignment ApplyAlignment(Keyframes& keyframes, const FrameRows& frames, const std::vector<std::string>& sources,
                                int firstFrame, const std::vector<FrameAlignment>& results, bool replaceManual) {
    AppliedAlignment applied;
    const int n = static_cast<int>(results.size());
    auto key = [&](int k) -> const std::string* {
        const long long index = static_cast<long long>(firstFrame) + k;
        if (index < 0 || index >= static_cast<long long>(sources.size())) return nullptr;
        return &sources[static_cast<std::size_t>(index)];
    };
    // Which frames hold a keyframe now, before any is written.
    std::vector<bool> manual(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k) manual[static_cast<std::size_t>(k)] = key(k) && FindKeyframe(keyframes, *key(k)) >= 0;

    auto valuesOf = [&](int k) {
        return k < static_cast<int>(frames.size()) ? frames[static_cast<std::size_t>(k)].values : KeyframeValues{};
    };
    KeyframeValues reference = valuesOf(0);
    if (!(manual[0] && !replaceManual)) {
        reference[kDX] = reference[kDY] = reference[kAngle] = reference[kBrightness] = 0;
    }
    for (int k = 0; k < n; ++k) {
        const std::string* path = key(k);
        if (!path) continue;
        if (manual[static_cast<std::size_t>(k)] && !replaceManual) {
            applied.kept.push_back(k);
            continue;
        }
        const FrameAlignment& result = results[static_cast<std::size_t>(k)];
        KeyframeValues values = valuesOf(k);
        if (k == 0) {
            values = reference;
        } else if (result.aligned) {
            values[kDX] = reference[kDX] + result.DX;
            values[kDY] = reference[kDY] + result.DY;
            values[kAngle] = reference[kAngle] + result.Angle;
            values[kBrightness] = CombineBrightness(reference[kBrightness], result.Brightness);
        } else {
            applied.unaligned.push_back(k);
        }
        ChangeKeyframe(keyframes, *path, values);
    }
    return applied;
}

}  // namespace turnlet
