// SPDX-License-Identifier: MIT
// The translation table applied to the running windows.
#pragma once

#include <QString>

#include "shell/language_table.h"

class QObject;
class QWidget;

namespace turnlet {

class TForm2;

// The window a row belongs to, or null when that window does not exist.
QWidget* LanguageWindow(TForm2& form, const LanguageRow& row);
// The control a row names within its window (the window itself for its caption); null when the
// window has no such control. Other windows inside it (the dialogs) are not searched.
QObject* LanguageControl(TForm2& form, const LanguageRow& row);
// The text a row's control shows now.
QString LanguageControlText(TForm2& form, const LanguageRow& row);

}  // namespace turnlet
