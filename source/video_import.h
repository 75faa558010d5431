// SPDX-License-Identifier: MIT
// The FFmpeg run of the video import: its argument list and what its outcome tells the user.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace turnlet {

// "jpg", "png" or "bmp" for the format list's items 0, 1, 2.
std::string PictureExtension(int typeIndex);

// FOLDER/%05d.EXT: FFmpeg numbers the pictures 00001, 00002, ...
std::string PicturePattern(const std::string& folder, int typeIndex);

// The arguments after the FFmpeg program: "-i", the video, the picture pattern. replace puts "-y"
// first, so that FFmpeg replaces pictures of an earlier run instead of asking on its input. Each
// value is one argument whatever it holds: nothing is ever read by a shell.
std::vector<std::string> FfmpegArguments(const std::string& video, const std::string& folder, int typeIndex,
                                         bool replace);

// Whether a file name is one FFmpeg writes for the pattern: five or more digits and ".EXT".
bool IsExtractedPictureName(std::string_view name, int typeIndex);

// The last lines of FFmpeg's messages, without its progress lines' carriage returns or blank lines.
std::string LastLines(std::string_view text, int lines);

// How one run ended, as the dialog reports it.
struct VideoImportOutcome {
    enum class Kind { NotStarted, Crashed, Failed, NothingWritten, Done } kind = Kind::Done;
    int exitCode = 0;
    int pictures = 0;        // written by this run
    std::string startError;  // why the program could not be started
    std::string messages;    // FFmpeg's error output
};

}  // namespace turnlet
