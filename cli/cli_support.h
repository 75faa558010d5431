// SPDX-License-Identifier: MIT
// What every command-line program shares: its arguments, exit statuses, messages and the project it opens.
#pragma once

#include <functional>
#include <initializer_list>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/status.h"
#include "base/tasks.h"
#include "project/project.h"

namespace turnlet {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// A program's name, usage text and options: switches (no value) and options that take one.
struct CommandLine {
    std::string program;
    const char* usage = "";
    std::set<std::string> switches;
    std::set<std::string> valued;
    // Whether positional arguments after the first are taken (into more) rather than refused.
    bool several = false;

    // Parsed: the first positional argument, the switches given, the options' values.
    std::string argument{};
    std::vector<std::string> more{};
    std::set<std::string> given{};
    std::map<std::string, std::string> values{};

    bool has(const std::string& name) const { return given.count(name) > 0; }
    std::string value(const std::string& name) const {
        const auto found = values.find(name);
        return found == values.end() ? std::string() : found->second;
    }
    // Reads argv: --help and --version are answered here. Returns -1 to go on, otherwise the exit
    // status (0 after --help or --version).
    int Parse(int argc, char** argv);
    // "PROGRAM: message" on standard error.
    void Error(const std::string& message) const;
};

// A status in words, naming the file even when its own text does not.
std::string Describe(const Status& status);

// Opens the project the command line names; a failure is reported and gives kExitUsage, as does
// a project without sources. Returns -1 when the project is open.
int OpenCommandLineProject(const CommandLine& line, Project& project);

// While it lives, Ctrl+C and SIGTERM cancel stop, so that the program ends its work cleanly (no
// file left half written); a second one ends the program at once. One at a time.
class StopOnSignals {
  public:
    explicit StopOnSignals(const CancelToken& stop);
    ~StopOnSignals();
    StopOnSignals(const StopOnSignals&) = delete;
    StopOnSignals& operator=(const StopOnSignals&) = delete;
};

// Runs the program's body; whatever escapes it ends with a message and kExitFailed, never an abort.
int RunCommandLine(const std::string& program, const std::function<int()>& body);

}  // namespace turnlet
