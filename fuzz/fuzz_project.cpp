// SPDX-License-Identifier: MIT
// libFuzzer entry for the project file reader: any text opens, the frame range stays valid, and what
// is written back opens to the same project.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "project/project.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace turnlet;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Project project;
    project.programDir = "/opt/turnlet";
    ReadProjectText(text, project);
    const int count = static_cast<int>(project.sources.size());
    if (project.firstFrame < 0 || project.firstFrame > project.lastFrame) std::abort();
    if (count > 0 && project.lastFrame > count - 1) std::abort();
    if (project.rotationIndex < 0 || project.rotationIndex > 3) std::abort();
    if (project.frames.rowCount() != project.lastFrame - project.firstFrame + 2) std::abort();

    // A second round trip is stable: writing what was read and reading it again gives the same text.
    const std::string written = WriteProjectText(project);
    Project again;
    again.programDir = project.programDir;
    ReadProjectText(written, again);
    if (WriteProjectText(again) != written) std::abort();
    return 0;
}
