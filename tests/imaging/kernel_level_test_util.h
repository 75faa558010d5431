// SPDX-License-Identifier: MIT
// Runs a kernel test once per dispatch level and reports the path each kernel actually took.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>
#include <set>
#include <string>

#include "imaging/kernel_util.h"

namespace turnlet::testing {

// Parameterised by the level limit. Levels above what this machine and build have are skipped
// with a message, so a run shows which paths were checked and which could not be.
class KernelLevelTest : public ::testing::TestWithParam<KernelLevel> {
  protected:
    void SetUp() override {
        if (GetParam() > CpuKernelLevel()) {
            GTEST_SKIP() << KernelLevelName(GetParam()) << " is not available here (this machine and build run up to "
                         << KernelLevelName(CpuKernelLevel()) << ")";
        }
        SetKernelLevelLimit(GetParam());
    }
    void TearDown() override { SetKernelLevelLimit(kTopKernelLevel); }

    // The path the kernel's latest call took must be `expected`; printed and recorded once per test.
    void ExpectRan(Kernel kernel, const std::string& name, KernelLevel expected) {
        const KernelLevel ran = LastKernelLevel(kernel);
        EXPECT_EQ(ran, expected) << name << " took the " << KernelLevelName(ran) << " path";
        const std::string line = name + ": " + KernelLevelName(ran);
        if (!reported_.insert(line).second) return;
        std::printf("[     PATH ] %s (limit %s)\n", line.c_str(), KernelLevelName(GetParam()));
        RecordProperty(name, KernelLevelName(ran));
    }
    // The highest level at most the limit among a kernel's paths (ascending).
    KernelLevel Highest(std::initializer_list<KernelLevel> paths) const {
        KernelLevel best = KernelLevel::Portable;
        for (KernelLevel p : paths)
            if (p <= GetParam()) best = p;
        return best;
    }

  private:
    std::set<std::string> reported_;
};

inline std::string KernelLevelParamName(const ::testing::TestParamInfo<KernelLevel>& info) {
    return KernelLevelName(info.param);
}

}  // namespace turnlet::testing

#define TURNLET_KERNEL_LEVELS(Suite)                                                          \
    INSTANTIATE_TEST_SUITE_P(Levels, Suite, ::testing::ValuesIn(::turnlet::kAllKernelLevels), \
                             ::turnlet::testing::KernelLevelParamName)
