// SPDX-License-Identifier: MIT
// Runs a piece of work in a forked child and reports how long it took and how much its resident
// memory grew at its peak, whatever the test process did before.
#pragma once

#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

namespace turnlet::testing {

struct ChildMeasure {
    double seconds = -1;     // on the clock: a guard against hangs, loose on a loaded machine
    double cpuSeconds = -1;  // processor time of all the child's threads: what the work cost
    long peakGrowthKb = -1;  // peak resident size during the work minus the size before it
    std::string outcome;     // what the work returned; "child died" when it did not report
};

// "VmRSS" or "VmHWM" of this process, in kB (-1 when unknown).
inline long ProcStatusKb(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::size_t keyLength = std::strlen(key);
    while (std::getline(status, line)) {
        if (line.compare(0, keyLength, key) == 0 && line.size() > keyLength && line[keyLength] == ':')
            return std::stol(line.substr(keyLength + 1));
    }
    return -1;
}

// Resets the peak resident size to the present one; false where the kernel does not allow it.
inline bool ResetPeakResident() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return clear.good();
}

// Resident memory the process holds now above its last reset, at the peak since then.
class PeakMeter {
  public:
    PeakMeter() { restart(); }
    void restart() {
        resettable_ = ResetPeakResident();
        base_ = resettable_ ? ProcStatusKb("VmRSS") : ProcStatusKb("VmHWM");
    }
    long growthKb() const { return ProcStatusKb("VmHWM") - base_; }

  private:
    bool resettable_ = false;
    long base_ = 0;
};

// The child must be forked while the test process runs no other thread.
inline ChildMeasure MeasureInChild(const std::function<std::string()>& work) {
    int ends[2];
    if (pipe(ends) != 0) return {};
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        close(ends[0]);
        PeakMeter meter;
        auto cpu = [] {
            timespec t{};
            clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
            return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
        };
        const double cpuStart = cpu();
        const auto start = std::chrono::steady_clock::now();
        const std::string outcome = work();
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        const std::string report = std::to_string(elapsed.count()) + " " + std::to_string(cpu() - cpuStart) + " " +
                                   std::to_string(meter.growthKb()) + " " + outcome;
        for (std::size_t done = 0; done < report.size();) {
            const ssize_t wrote = write(ends[1], report.data() + done, report.size() - done);
            if (wrote <= 0) break;
            done += static_cast<std::size_t>(wrote);
        }
        std::fflush(nullptr);
        _exit(0);
    }
    close(ends[1]);
    std::string report;
    char buffer[4096];
    for (ssize_t got; (got = read(ends[0], buffer, sizeof buffer)) > 0;) report.append(buffer, got);
    close(ends[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    ChildMeasure measure;
    measure.outcome = "child died";
    std::istringstream in(report);
    if (in >> measure.seconds >> measure.cpuSeconds >> measure.peakGrowthKb)
        std::getline(in >> std::ws, measure.outcome);
    return measure;
}

// Sanitized builds run several times slower; their time bounds are widened by this factor.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr double kSanitizerSlowdown = 5;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
inline constexpr double kSanitizerSlowdown = 5;
#else
inline constexpr double kSanitizerSlowdown = 1;
#endif
#else
inline constexpr double kSanitizerSlowdown = 1;
#endif

}  // namespace turnlet::testing
