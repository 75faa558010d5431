// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "shell/align_texts.h"
#include "shell/catalogue.h"
#include "shell/video_texts.h"

namespace turnlet {
namespace {

std::set<std::string> Placeholders(const std::string& text) {
    std::set<std::string> found;
    for (std::size_t i = 0; i + 2 < text.size(); ++i)
        if (text[i] == '{' && text[i + 2] == '}') found.insert(text.substr(i, 3));
    return found;
}

// Every message exists in both languages and both fill in the same arguments, so no Russian text
// drops a file name the English one shows.
TEST(Catalogue, EveryMessageInBothLanguagesWithTheSameArguments) {
    int count = 0;
    for (int id = 0;; ++id) {
        const auto message = static_cast<Msg>(id);
        const std::string english = Tr(message, Language::English);
        if (english.empty()) break;
        const std::string russian = Tr(message, Language::Russian);
        EXPECT_FALSE(russian.empty()) << "message " << id;
        EXPECT_EQ(Placeholders(english), Placeholders(russian)) << english;
        ++count;
    }
    EXPECT_GT(count, 90);
}

TEST(MessageTexts, VideoImportInBothLanguages) {
    using Kind = VideoImportOutcome::Kind;
    struct Case {
        VideoImportOutcome outcome;
        Language language;
        const char* expected;
    } cases[] = {
        {{Kind::Failed, 1, 0, "", "x\ny\nclip.mp4: No such file or directory\n"},
         Language::English,
         "FFmpeg failed (exit code 1).\n\nx\ny\nclip.mp4: No such file or directory"},
        {{Kind::NotStarted, 0, 0, "No such file or directory", ""},
         Language::English,
         "/bin/ff: FFmpeg could not be started (No such file or directory)."},
        {{Kind::NotStarted, 0, 0, "", ""}, Language::Russian, "/bin/ff: не удалось запустить FFmpeg."},
        {{Kind::NothingWritten, 0, 0, "", "Output file is empty\n"},
         Language::English,
         "FFmpeg wrote no picture into /o.\n\nOutput file is empty"},
        {{Kind::Done, 0, 25, "", "noise"},
         Language::English,
         "25 pictures written to /o. Add them with \"Add images\"."},
        {{Kind::Done, 0, 25, "", ""},
         Language::Russian,
         "Записано картинок: 25, в /o. Добавьте их кнопкой \"Добавить\"."},
    };
    for (const Case& c : cases) EXPECT_EQ(DescribeVideoImport(c.outcome, "/bin/ff", "/o", c.language), c.expected);
}

TEST(MessageTexts, TurnEnd) {
    EXPECT_EQ(TurnEndText(false, 36, 0.914, 72, 0.3, Language::English),
              "Last frame of the turn: 36 (confidence 91%). Runner-up: frame 72 (30%).");
    EXPECT_EQ(TurnEndText(true, 36, 1.0, -1, 0.001, Language::English),
              "The set already is one full turn. Last frame of the turn: 36 (confidence 100%).");
    EXPECT_EQ(TurnEndText(false, 10, 0.5, -1, 0.25, Language::Russian),
              "Последний кадр оборота: 10 (уверенность 50 %). Второй вариант: полного оборота нет (25 %).");
}

}  // namespace
}  // namespace turnlet
