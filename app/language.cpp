// SPDX-License-Identifier: MIT
// The interface language: the two "Language" entries.
#include <QAction>

#include "main_window.h"

namespace turnlet {

// The translation of the controls' texts comes with the language tables; the code and the status
// bar, whose texts are chosen when shown, follow already.
void TForm2::English1Click() {
    settings.languageCode = "en";
    English1->setChecked(true);
    Showstatus1Click();
}

void TForm2::N6Click() {
    settings.languageCode = "ru";
    N6->setChecked(true);
    Showstatus1Click();
}

}  // namespace turnlet
