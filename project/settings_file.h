// SPDX-License-Identifier: MIT
// The settings file beside the executable: FFmpeg path, interface language, recent projects.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"

namespace turnlet {

inline constexpr int kRecentMenuEntries = 10;
inline constexpr std::size_t kMaxSettingsFileBytes = 4u << 20;

struct Settings {
    std::string ffmpegPath;
    std::string languageCode = "en";
    std::vector<std::string> recent;  // oldest first, newest last
};

// ProgramDir + "/Turnlet.ini".
std::string SettingsFilePath(const std::string& programDir);

// Resets ffmpegPath and languageCode, then applies the lines: the last "FFMPEG=" wins, a line
// starting "LANG=ru" selects "ru" (nothing else is recognised), every "LAST=" is appended to the
// recent list, which is neither emptied first nor cut.
void ReadSettingsText(std::string_view text, Settings& settings);
// "FFMPEG=", "LANG=", then one "LAST=" per recent entry, oldest first; every line ends in CR LF.
// Values holding a line break are left out (an empty FFMPEG= for the path), so that one entry can
// never turn into further lines.
std::string WriteSettingsText(const Settings& settings);

// A missing file is no error: the defaults stay. Other read failures are reported.
Status ReadSettings(const std::string& fileName, Settings& settings);
Status WriteSettings(const std::string& fileName, const Settings& settings);

// Moves (or adds) path to the newest end and keeps the ten newest.
void AddLast(Settings& settings, const std::string& path);
void ClearLast(Settings& settings);

// A "Reopen" menu entry to show: index 0 is the first entry (the newest project).
struct RecentMenuEntry {
    int index = 0;
    std::string caption;
    friend bool operator==(const RecentMenuEntry&, const RecentMenuEntry&) = default;
};
// The entries to make visible with their captions, newest first, at most ten. Entries beyond the
// list's length are not mentioned: they keep what they showed.
std::vector<RecentMenuEntry> ShowLast(const std::vector<std::string>& recent);

}  // namespace turnlet
