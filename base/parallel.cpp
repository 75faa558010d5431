// SPDX-License-Identifier: MIT
// Row splitting over the pool's threads, in chunks fixed by the row count alone.
#include "parallel.h"

#include <algorithm>
#include <thread>

#include "base/tasks.h"

namespace turnlet {

namespace {

// Below this much work (pixels, roughly) starting threads costs more than it saves.
constexpr double kInlineWork = 256.0 * 1024.0;
constexpr unsigned kMaxThreads = 8;

thread_local bool inlineRows = false;

unsigned ThreadCount() {
    const unsigned cores = std::thread::hardware_concurrency();
    return std::clamp(cores, 1u, kMaxThreads);
}

}  // namespace

InlineRows::InlineRows() : before_(inlineRows) {
    inlineRows = true;
}

InlineRows::~InlineRows() {
    inlineRows = before_;
}

void ParallelRows(int rows, long long costPerRow, const std::function<void(int, int)>& fn) {
    if (rows <= 0) return;
    // In double so that absurd costs cannot overflow.
    const double work = static_cast<double>(rows) * static_cast<double>(std::max(costPerRow, 1LL));
    const int chunks = static_cast<int>(std::min<unsigned>(ThreadCount(), static_cast<unsigned>(rows)));
    if (chunks <= 1 || work < kInlineWork || inlineRows) {
        fn(0, rows);
        return;
    }
    // The same chunks whichever threads take them.
    ForOptions options;
    options.maxThreads = chunks;
    ParallelFor(0, chunks, options, [&](int index, int) {
        const int begin = static_cast<int>(static_cast<long long>(rows) * index / chunks);
        const int end = static_cast<int>(static_cast<long long>(rows) * (index + 1) / chunks);
        fn(begin, end);
    }).throwIfFailed();
}

}  // namespace turnlet
