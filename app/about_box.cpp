// SPDX-License-Identifier: MIT
// The About box.
#include "about_box.h"

#include "main_window.h"

namespace turnlet {

TAboutBox::TAboutBox(TForm2& mainWindow) : QDialog(&mainWindow), mainWindow_(mainWindow) {
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About program"));
    resize(320, 232);
}

}  // namespace turnlet
