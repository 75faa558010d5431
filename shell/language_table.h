// SPDX-License-Identifier: MIT
// The interface texts of every window in English and Russian, one row per control.
#pragma once

#include <span>
#include <string_view>

namespace turnlet {

// One control's (or one window's) text. control is the control's object name; an empty control
// stands for the window's own caption. headerColumn >= 0 names a column header of the frames table
// (control "StringGrid1").
struct LanguageRow {
    const char* window;  // "TForm2", "TForm3", "TForm8", "TForm9", "TAboutBox"
    const char* control;
    int headerColumn;
    const char* english;
    const char* russian;
};

// The editor's original texts.
inline constexpr int kLanguageRows = 78;

// The rows in the order they are applied.
std::span<const LanguageRow> LanguageTable();

// Controls added since: applied after the table, in the same way.
std::span<const LanguageRow> AddedLanguageRows();

// The row's English text for "en", its Russian text for "ru", nullptr for any other code.
const char* LanguageText(const LanguageRow& row, std::string_view languageCode);

}  // namespace turnlet
