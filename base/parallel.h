// SPDX-License-Identifier: MIT
// Splits a picture's rows over the machine's cores; results do not depend on the split.
#pragma once

#include <functional>

namespace turnlet {

// Calls fn(rowBegin, rowEnd) over disjoint ranges covering [0, rows). Runs inline when the
// work is small (rows * costPerRow below a threshold) or only one core is available.
void ParallelRows(int rows, long long costPerRow, const std::function<void(int, int)>& fn);

// While one lives on a thread, that thread's ParallelRows calls run inline: for callers that keep
// every core busy themselves, where more threads would only wait on each other.
class InlineRows {
  public:
    InlineRows();
    ~InlineRows();
    InlineRows(const InlineRows&) = delete;
    InlineRows& operator=(const InlineRows&) = delete;

  private:
    bool before_;
};

}  // namespace turnlet
