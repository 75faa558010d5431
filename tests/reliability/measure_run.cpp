// SPDX-License-Identifier: MIT
// turnlet-measure-run REPORT COMMAND [ARGS...]: runs COMMAND, then writes "SECONDS PEAK_KB EXIT CPU" to
// REPORT (the wall time, the child's peak resident size, its exit status or 128 + its signal, its
// processor seconds) and exits with the command's status. Standard input, output and error pass through.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("Usage: turnlet-measure-run REPORT COMMAND [ARGS...]\n", stderr);
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid < 0) return 2;
    if (pid == 0) {
        execvp(argv[2], argv + 2);
        std::perror(argv[2]);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) return 2;
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::FILE* report = std::fopen(argv[1], "w");
    if (!report) return 2;
    // Processor time last: a loaded machine stretches the wall clock, not the work done.
    const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    std::fprintf(report, "%.3f %ld %d %.3f\n", elapsed.count(), usage.ru_maxrss, code, cpu);
    std::fclose(report);
    return code;
}
