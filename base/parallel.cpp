// SPDX-License-Identifier: MIT
// Row splitting over a few threads, spawned per call: a kernel call is far longer than a spawn.
#include "parallel.h"

#include <algorithm>
#include <exception>
#include <system_error>
#include <thread>
#include <vector>

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

    std::vector<std::exception_ptr> errors(chunks);
    auto runChunk = [&](int index) {
        const int begin = static_cast<int>(static_cast<long long>(rows) * index / chunks);
        const int end = static_cast<int>(static_cast<long long>(rows) * (index + 1) / chunks);
        try {
            fn(begin, end);
        } catch (...) {
            errors[index] = std::current_exception();
        }
    };

    std::vector<std::thread> threads;
    threads.reserve(chunks - 1);
    for (int i = 1; i < chunks; ++i) {
        try {
            threads.emplace_back(runChunk, i);
        } catch (const std::system_error&) {
            // No thread to be had: the chunk still has to be done, so do it here.
            runChunk(i);
        }
    }
    runChunk(0);
    for (std::thread& t : threads) t.join();
    for (const std::exception_ptr& e : errors) {
        if (e) std::rethrow_exception(e);
    }
}

}  // namespace turnlet
