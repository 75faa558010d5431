// SPDX-License-Identifier: MIT
// Settings file reader, writer and the recent-projects list.
#include "project/settings_file.h"

#include <sys/stat.h>

#include <cerrno>

#include "base/files.h"
#include "base/text.h"

namespace turnlet {

std::string SettingsFilePath(const std::string& programDir) {
    return programDir + "/Turnlet.ini";
}

void ReadSettingsText(std::string_view text, Settings& settings) {
    settings.ffmpegPath.clear();
    settings.languageCode = "en";
    for (std::string_view line : SplitTextLines(text)) {
        if (line.starts_with("FFMPEG=")) settings.ffmpegPath = line.substr(7);
        if (line.starts_with("LANG=ru")) settings.languageCode = "ru";
        if (line.starts_with("LAST=")) settings.recent.emplace_back(line.substr(5));
    }
}

std::string WriteSettingsText(const Settings& settings) {
    std::vector<std::string> lines;
    lines.reserve(settings.recent.size() + 2);
    lines.push_back("FFMPEG=" + (HasLineBreak(settings.ffmpegPath) ? std::string() : settings.ffmpegPath));
    lines.push_back("LANG=" + (HasLineBreak(settings.languageCode) ? std::string("en") : settings.languageCode));
    for (const auto& path : settings.recent)
        if (!HasLineBreak(path)) lines.push_back("LAST=" + path);
    return JoinTextLines(lines);
}

Status ReadSettings(const std::string& fileName, Settings& settings) {
    settings.ffmpegPath.clear();
    settings.languageCode = "en";
    struct stat info {};
    if (::stat(fileName.c_str(), &info) != 0 && errno == ENOENT) return Status::Ok();
    std::string text;
    Status status = ReadWholeFile(fileName, text, kMaxSettingsFileBytes);
    if (!status.ok()) return status;
    ReadSettingsText(text, settings);
    return Status::Ok();
}

Status WriteSettings(const std::string& fileName, const Settings& settings) {
    return WriteFileAtomically(fileName, WriteSettingsText(settings));
}

void AddLast(Settings& settings, const std::string& path) {
    auto& recent = settings.recent;
    std::erase(recent, path);
    recent.push_back(path);
    if (recent.size() > static_cast<std::size_t>(kRecentMenuEntries))
        recent.erase(recent.begin(), recent.end() - kRecentMenuEntries);
}

void ClearLast(Settings& settings) {
    settings.recent.clear();
}

std::vector<RecentMenuEntry> ShowLast(const std::vector<std::string>& recent) {
    std::vector<RecentMenuEntry> entries;
    const std::size_t n = recent.size();
    for (std::size_t k = 1; k <= static_cast<std::size_t>(kRecentMenuEntries) && k <= n; ++k)
        entries.push_back({static_cast<int>(k - 1), recent[n - k]});
    return entries;
}

}  // namespace turnlet
