// SPDX-License-Identifier: MIT
// What a video import's FFmpeg run tells the user.
#pragma once

#include <string>

#include "shell/catalogue.h"
#include "source/video_import.h"

namespace turnlet {

// The message that tells the user how the run ended; FFmpeg's last lines follow a failure.
std::string DescribeVideoImport(const VideoImportOutcome& outcome, const std::string& ffmpegPath,
                                const std::string& folder, Language language);

}  // namespace turnlet
