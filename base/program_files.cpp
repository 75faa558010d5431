// SPDX-License-Identifier: MIT
// Where the running program lies and where its own files are.
#include "base/program_files.h"

#include <filesystem>
#include <system_error>

namespace turnlet {
namespace {

std::filesystem::path SharedFolder(const std::string& executableDir) {
    return (std::filesystem::path(executableDir) / ".." / "share" / "turnlet").lexically_normal();
}

}  // namespace

std::string ExecutableDirectory() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string(".") : self.parent_path().string();
}

bool RunsInstalled(const std::string& executableDir) {
    std::error_code error;
    return !std::filesystem::exists(std::filesystem::path(executableDir) / kViewerTemplateFile, error) &&
           std::filesystem::exists(SharedFolder(executableDir) / kViewerTemplateFile, error);
}

std::string ResourceDirectory(const std::string& executableDir) {
    return RunsInstalled(executableDir) ? SharedFolder(executableDir).string() : executableDir;
}

}  // namespace turnlet
