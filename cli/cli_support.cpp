// SPDX-License-Identifier: MIT
// What every command-line program shares.
#include "cli/cli_support.h"

#include <csignal>
#include <cstdio>
#include <exception>
#include <new>

#include "base/program_files.h"
#include "base/version.h"
#include "shell/catalogue.h"

namespace turnlet {

int CommandLine::Parse(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(usage, stdout);
            return kExitOk;
        }
        if (arg == "--version") {
            std::fputs(VersionText(program).c_str(), stdout);
            return kExitOk;
        }
        if (arg == "-q") arg = "--quiet";
        if (arg == "-o") arg = "--output";
        if (const std::size_t equals = arg.find('='); arg.starts_with("--") && equals != std::string::npos) {
            const std::string name = arg.substr(0, equals);
            if (valued.count(name) && equals + 1 < arg.size()) {
                values[name] = arg.substr(equals + 1);
                continue;
            }
        }
        if (valued.count(arg)) {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') {
                Error(arg + " needs a value\n\n" + usage);
                return kExitUsage;
            }
            values[arg] = argv[++i];
        } else if (switches.count(arg)) {
            given.insert(arg);
        } else if (!arg.empty() && arg[0] == '-') {
            Error("unknown option " + arg + "\n\n" + usage);
            return kExitUsage;
        } else if (argument.empty()) {
            argument = arg;
        } else if (several) {
            more.push_back(arg);
        } else {
            Error("only one project at a time (" + arg + ")\n\n" + usage);
            return kExitUsage;
        }
    }
    if (argument.empty()) {
        std::fputs(usage, stderr);
        return kExitUsage;
    }
    return -1;
}

void CommandLine::Error(const std::string& message) const {
    std::fprintf(stderr, "%s: %s\n", program.c_str(), message.c_str());
}

std::string Describe(const Status& status) {
    if (status.code() == Status::Code::WrongFileType)
        return status.file() + ": " + Tr(Msg::WrongFileType, Language::English);
    return status.message();
}

int OpenCommandLineProject(const CommandLine& line, Project& project) {
    // A project without an export folder of its own exports beside the program, as the editor would.
    if (Status status = OpenProject(project, line.argument, ExecutableDirectory() + "/result"); !status.ok()) {
        line.Error(status.message());
        return kExitUsage;
    }
    if (project.sources.empty()) {
        line.Error(line.argument + ": the project has no source images");
        return kExitUsage;
    }
    return -1;
}

int RunCommandLine(const std::string& program, const std::function<int()>& body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "%s: not enough memory\n", program.c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", program.c_str(), e.what());
    }
    return kExitFailed;
}

namespace {

CancelToken* gStop = nullptr;
struct sigaction gEarlier[2];

extern "C" void StopOnSignal(int) {
    if (gStop) gStop->cancel();
}

}  // namespace

StopOnSignals::StopOnSignals(const CancelToken& stop) {
    gStop = new CancelToken(stop);
    struct sigaction action {};
    action.sa_handler = StopOnSignal;
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, &gEarlier[0]);
    sigaction(SIGTERM, &action, &gEarlier[1]);
}

StopOnSignals::~StopOnSignals() {
    sigaction(SIGINT, &gEarlier[0], nullptr);
    sigaction(SIGTERM, &gEarlier[1], nullptr);
    delete gStop;
    gStop = nullptr;
}

}  // namespace turnlet
