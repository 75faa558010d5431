// SPDX-License-Identifier: MIT
// libFuzzer entry for the project file reader: any text opens, the frame range stays valid, and what
// is written back opens to the same project and the same text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "project/project.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace turnlet;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Project project;
    New(project, "/opt/turnlet/result");
    ReadProjectText(text, project);
    const int count = static_cast<int>(project.sources.size());
    if (project.firstFrame < 0 || project.firstFrame > project.lastFrame) std::abort();
    if (count > 0 && project.lastFrame > count - 1) std::abort();
    if (project.rotationIndex < 0 || project.rotationIndex > 3) std::abort();
    if (ProjectFrames(project).size() != static_cast<std::size_t>(project.lastFrame - project.firstFrame + 1))
        std::abort();

    // What was read is what its own file gives back, and writing that again gives the same text.
    const std::string written = WriteProjectText(project);
    Project again;
    New(again, "/opt/turnlet/result");
    ReadProjectText(written, again);
    if (!(again == project) || WriteProjectText(again) != written) std::abort();
    return 0;
}
