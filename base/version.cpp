// SPDX-License-Identifier: MIT
// The version text; TURNLET_VERSION comes from the build (only this file sees it, so a new version
// rebuilds nothing else).
#include "base/version.h"

#ifndef TURNLET_VERSION
#error "TURNLET_VERSION is set by base/CMakeLists.txt"
#endif

namespace turnlet {

const char* TurnletVersion() {
    return TURNLET_VERSION;
}

std::string VersionText(const std::string& program) {
    return program + " (Turnlet) " + TURNLET_VERSION + "\nLicense: MIT\n";
}

}  // namespace turnlet
