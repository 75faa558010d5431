// SPDX-License-Identifier: MIT
// The translation table: its size, its exact texts and that every row names one control once.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "shell/language_table.h"

namespace turnlet {
namespace {

const LanguageRow* Find(std::string_view window, std::string_view control, int column = -1) {
    for (const LanguageRow& row : LanguageTable())
        if (row.window == window && row.control == control && row.headerColumn == column) return &row;
    return nullptr;
}

TEST(LanguageTable, HasEveryRowOnceWithBothTexts) {
    ASSERT_EQ(LanguageTable().size(), static_cast<std::size_t>(kLanguageRows));
    std::set<std::tuple<std::string, std::string, int>> seen;
    std::vector<LanguageRow> rows(LanguageTable().begin(), LanguageTable().end());
    rows.insert(rows.end(), AddedLanguageRows().begin(), AddedLanguageRows().end());
    for (const LanguageRow& row : rows) {
        EXPECT_TRUE(seen.emplace(row.window, row.control, row.headerColumn).second)
            << row.window << " " << row.control << " " << row.headerColumn;
        EXPECT_STRNE(row.english, "");
        EXPECT_STRNE(row.russian, "");
    }
}

TEST(LanguageTable, ExactTexts) {
    struct Case {
        const char* window;
        const char* control;
        int column;
        const char* english;
        const char* russian;
    };
    const Case cases[] = {
        {"TForm2", "File1", -1, "&File", "&Файл"},
        {"TForm2", "N6", -1, "&Русский", "&Русский"},
        {"TForm2", "English1", -1, "&English", "&English"},
        {"TForm2", "Label9", -1, "Interlace with", "Показать с"},
        {"TForm2", "TabSheet6", -1, "Interlace mode", "Черезстрочный режим"},
        {"TForm2", "StringGrid1", 1, "Keyframe", "Ключевой"},
        {"TForm2", "StringGrid1", 4, "Angle", "Угол"},
        {"TForm2", "StringGrid1", 8, "Gamma", "Гамма"},
        {"TAboutBox", "", -1, "About", "О программе"},
        {"TForm3", "Button5", -1, "Extract video to pictures directory", "Конвертировать видео в изображения"},
        {"TForm8", "", -1, "Export", "Экспорт"},
        {"TForm8", "CheckBox2", -1, "Make HTML5 viewer", "Создать HTML5 просмотровщик"},
        {"TForm9", "Button1", -1, "Default values", "Значения по умолчанию"},
    };
    for (const Case& c : cases) {
        const LanguageRow* row = Find(c.window, c.control, c.column);
        ASSERT_NE(row, nullptr) << c.window << " " << c.control;
        EXPECT_STREQ(LanguageText(*row, "en"), c.english);
        EXPECT_STREQ(LanguageText(*row, "ru"), c.russian);
        EXPECT_EQ(LanguageText(*row, "EN"), nullptr);
    }
    // The headers of columns 0, 2 and 3 are the same in both languages and not in the table.
    EXPECT_EQ(Find("TForm2", "StringGrid1", 2), nullptr);
}

}  // namespace
}  // namespace turnlet
