// SPDX-License-Identifier: MIT
// Where the running program lies and where its own files (viewer template, user guide, pictures) are.
#pragma once

#include <string>

namespace turnlet {

// The folder of the running executable, without a trailing separator ("." when unknown).
std::string ExecutableDirectory();

// Whether the program runs installed (PREFIX/bin with its files in PREFIX/share/turnlet) rather than
// from a folder that holds its files beside it (a build or a portable copy).
bool RunsInstalled(const std::string& executableDir);

// The folder of the program's files: the executable's own, or PREFIX/share/turnlet when installed.
std::string ResourceDirectory(const std::string& executableDir);

inline constexpr const char* kViewerTemplateFile = "Turnlet.html";

}  // namespace turnlet
