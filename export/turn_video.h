// SPDX-License-Identifier: MIT
// Videos of one turn made from an export's written frames: an MP4 (H.264) by the FFmpeg program and
// an animated WebP by libwebp, for marketplaces and social posts.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "base/status.h"

namespace turnlet {

inline constexpr const char* kTurnMp4Name = "turn.mp4";
inline constexpr const char* kTurnWebpName = "turn.webp";

struct TurnVideo {
    std::vector<std::string> frames;  // the frame files of one turn, in order, all of one size
    std::string output;               // the video file, replaced atomically when it is complete
    double turnSeconds = 8;           // how long one turn lasts
    int quality = 90;                 // the export's quality, 1 .. 100 (the animated WebP's frames)
    std::string ffmpegPath;           // the FFmpeg program; empty: "ffmpeg" found on the PATH
};

// Called before each frame is read (done of total) and once at the end (total of total); returning
// false stops the video: nothing is left at its output.
using VideoStep = std::function<bool(int done, int total)>;

// Both end with a Status naming the output (or FFmpeg, when it cannot be started); stopped says
// whether a false from step ended it.
Status WriteTurnMp4(const TurnVideo& video, const VideoStep& step, bool& stopped);
Status WriteTurnWebp(const TurnVideo& video, const VideoStep& step, bool& stopped);

// The FFmpeg program an MP4 would run: configured when it names an executable file, else "ffmpeg"
// found on the PATH when configured is empty; empty when there is none (the MP4 would fail).
std::string FindFfmpeg(const std::string& configured);

// FFmpeg's arguments after the program: raw blue-green-red frames of width x height on its input at
// framesPerSecond, H.264 in yuv420p (even sides, the last column or row dropped) at 30 frames a
// second into an MP4 at output that starts playing before it has all arrived.
std::vector<std::string> TurnMp4Arguments(int width, int height, double framesPerSecond, const std::string& output);

// The ends of FFmpeg's error output worth showing: its last lines, without blank ones.
std::string LastMessageLines(const std::string& text, int lines);

}  // namespace turnlet
