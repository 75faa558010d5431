// SPDX-License-Identifier: MIT
// turnlet-measure-run REPORT COMMAND [ARGS...]: runs COMMAND, then writes "SECONDS PEAK_KB EXIT" to
// REPORT (the wall time, the child's peak resident size, its exit status or 128 + its signal) and
// exits with the command's status. Standard input, output and error pass through.
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
    std::fprintf(report, "%.3f %ld %d\n", elapsed.count(), usage.ru_maxrss, code);
    std::fclose(report);
    return code;
}
