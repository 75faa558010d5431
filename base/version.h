// SPDX-License-Identifier: MIT
// The version every program reports, the project's version set in CMake.
#pragma once

#include <string>

namespace turnlet {

// "MAJOR.MINOR.PATCH", as the package carries it.
const char* TurnletVersion();

// What `PROGRAM --version` prints: "PROGRAM (Turnlet) VERSION" and the licence, each line ended.
std::string VersionText(const std::string& program);

}  // namespace turnlet
