// SPDX-License-Identifier: MIT
// Settings file and the recent-projects list.
#include <gtest/gtest.h>

#include "project/settings_file.h"
#include "temp_folder.h"

namespace turnlet {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

std::vector<std::string> Paths(int from, int to) {
    std::vector<std::string> paths;
    for (int i = from; i <= to; ++i) paths.push_back("/p/" + std::to_string(i) + ".trn.prj");
    return paths;
}

TEST(SettingsText, WriterOrder) {
    Settings s;
    s.ffmpegPath = "/usr/bin/ffmpeg";
    s.languageCode = "ru";
    s.recent = {"/w/vase.trn.prj", "/w/shoe.trn.prj"};
    EXPECT_EQ(WriteSettingsText(s),
              "FFMPEG=/usr/bin/ffmpeg\r\nLANG=ru\r\nLAST=/w/vase.trn.prj\r\nLAST=/w/shoe.trn.prj\r\n");
    EXPECT_EQ(WriteSettingsText(Settings{}), "FFMPEG=\r\nLANG=en\r\n");
}

TEST(SettingsText, Language) {
    struct Case {
        const char* line;
        const char* code;
    };
    const Case cases[] = {{"LANG=ru", "ru"}, {"LANG=RU", "en"},   {"LANG=russian", "ru"},
                          {"LANG=en", "en"}, {"LANG=r", "en"},    {" LANG=ru", "en"},
                          {"lang=ru", "en"}, {"LANG=ru\r", "ru"}, {"LANG=de", "en"}};
    for (const auto& c : cases) {
        Settings s;
        s.languageCode = "ru";  // the reader starts from "en" whatever was there
        ReadSettingsText(std::string(c.line) + "\n", s);
        EXPECT_EQ(s.languageCode, c.code) << c.line;
    }
}

TEST(SettingsText, FfmpegLastLineWins) {
    Settings s;
    s.ffmpegPath = "/old";
    ReadSettingsText("FFMPEG=/a/ffmpeg\r\nFFMPEG=/b/my ffmpeg\r\n", s);
    EXPECT_EQ(s.ffmpegPath, "/b/my ffmpeg");
    ReadSettingsText("LANG=ru\r\n", s);
    EXPECT_EQ(s.ffmpegPath, "");
    ReadSettingsText("FFMPEG=\r\n", s);
    EXPECT_EQ(s.ffmpegPath, "");
}

TEST(SettingsText, EveryLastLineIsAppendedAndNothingIsCut) {
    Settings s;
    s.recent = {"/already/there"};
    std::string text = "FFMPEG=/f\r\nLANG=en\r\n";
    for (const auto& path : Paths(1, 12)) text += "LAST=" + path + "\r\n";
    ReadSettingsText(text, s);
    ASSERT_EQ(s.recent.size(), 13u);
    EXPECT_EQ(s.recent.front(), "/already/there");
    EXPECT_EQ(s.recent.back(), "/p/12.trn.prj");
}

TEST(SettingsText, ValuesWithLineBreaksAreNotWritten) {
    Settings s;
    s.ffmpegPath = "/bin/ff\nLAST=/x";
    s.recent = {"/ok.trn.prj", "/evil\r\nFFMPEG=/tmp/evil"};
    EXPECT_EQ(WriteSettingsText(s), "FFMPEG=\r\nLANG=en\r\nLAST=/ok.trn.prj\r\n");
}

TEST(RecentList, SavingTheSameProjectKeepsOneEntryAtTheNewestEnd) {
    Settings s;
    for (const auto& path : Paths(1, 4)) AddLast(s, path);
    for (int i = 0; i < 3; ++i) AddLast(s, "/p/2.trn.prj");
    EXPECT_EQ(s.recent, (std::vector<std::string>{"/p/1.trn.prj", "/p/3.trn.prj", "/p/4.trn.prj", "/p/2.trn.prj"}));
    AddLast(s, "/p/2.TRN.PRJ");  // case matters
    EXPECT_EQ(s.recent.size(), 5u);
}

TEST(RecentList, EleventhProjectDropsTheOldest) {
    Settings s;
    for (const auto& path : Paths(1, 10)) AddLast(s, path);
    ASSERT_EQ(s.recent, Paths(1, 10));
    AddLast(s, "/p/11.trn.prj");
    EXPECT_EQ(s.recent, Paths(2, 11));
}

TEST(RecentList, TwelveReadEntries) {
    TempFolder folder;
    ASSERT_TRUE(folder.ok());
    std::string text;
    for (const auto& path : Paths(1, 12)) text += "LAST=" + path + "\r\n";
    const std::string file = SettingsFilePath(folder.path());
    WriteBytes(file, text);

    Settings s;
    ASSERT_TRUE(ReadSettings(file, s).ok());
    ASSERT_EQ(s.recent, Paths(1, 12));

    std::vector<RecentMenuEntry> shown = ShowLast(s.recent);
    ASSERT_EQ(shown.size(), 10u);
    for (int k = 0; k < 10; ++k) {
        EXPECT_EQ(shown[k].index, k);
        EXPECT_EQ(shown[k].caption, "/p/" + std::to_string(12 - k) + ".trn.prj");
    }

    ASSERT_TRUE(WriteSettings(file, s).ok());
    Settings again;
    ASSERT_TRUE(ReadSettings(file, again).ok());
    EXPECT_EQ(again.recent, Paths(1, 12));
    EXPECT_EQ(ReadBytes(file), WriteSettingsText(s));

    AddLast(again, "/p/13.trn.prj");
    EXPECT_EQ(again.recent, Paths(4, 13));
}

TEST(RecentList, ShowLastMentionsOnlyExistingEntries) {
    EXPECT_TRUE(ShowLast({}).empty());
    EXPECT_EQ(ShowLast({"/a", "/b", "/c"}), (std::vector<RecentMenuEntry>{{0, "/c"}, {1, "/b"}, {2, "/a"}}));
}

TEST(SettingsFile, MissingFileGivesDefaults) {
    TempFolder folder;
    ASSERT_TRUE(folder.ok());
    Settings s;
    s.ffmpegPath = "/x";
    s.languageCode = "ru";
    s.recent = {"/kept"};
    EXPECT_TRUE(ReadSettings(SettingsFilePath(folder.path()), s).ok());
    EXPECT_EQ(s.ffmpegPath, "");
    EXPECT_EQ(s.languageCode, "en");
    EXPECT_EQ(s.recent, std::vector<std::string>{"/kept"});
}

TEST(SettingsFile, RoundTripAndErrors) {
    TempFolder folder;
    ASSERT_TRUE(folder.ok());
    Settings s;
    s.ffmpegPath = "/opt/ff mpeg/ffmpeg";
    s.languageCode = "ru";
    s.recent = {"/w/кадр, 1.trn.prj", "/w/b.trn.prj"};
    const std::string file = folder.file("Turnlet.ini");
    ASSERT_TRUE(WriteSettings(file, s).ok());
    Settings read;
    ASSERT_TRUE(ReadSettings(file, read).ok());
    EXPECT_EQ(read.ffmpegPath, s.ffmpegPath);
    EXPECT_EQ(read.languageCode, "ru");
    EXPECT_EQ(read.recent, s.recent);

    Status status = ReadSettings(folder.path(), read);
    EXPECT_FALSE(status.ok());
    EXPECT_EQ(status.file(), folder.path());
    status = WriteSettings(folder.file("Turnlet.ini/x"), s);
    EXPECT_FALSE(status.ok());
    EXPECT_EQ(ReadBytes(file), WriteSettingsText(s));
}

TEST(SettingsFile, ReaderNeverFails) {
    std::string bytes;
    for (int i = 0; i < 100000; ++i) bytes += static_cast<char>((i * 7919) % 251);
    Settings s;
    EXPECT_NO_THROW(ReadSettingsText(bytes, s));
    EXPECT_NO_THROW(ReadSettingsText("LAST=" + std::string(10 << 20, 'y'), s));
    EXPECT_EQ(s.recent.back().size(), 10u << 20);
}

}  // namespace
}  // namespace turnlet
