// SPDX-License-Identifier: MIT
// The parameters dialog: angle, scale and tone of the current frame.
#include "parameters_dialog.h"

#include "main_window.h"

namespace turnlet {

TForm9::TForm9(TForm2& mainWindow) : QDialog(&mainWindow), mainWindow_(mainWindow) {
    setObjectName(QStringLiteral("Form9"));
    setWindowTitle(QStringLiteral("Parameters"));
    resize(628, 207);
    // A tool window the user keeps open beside the main window while stepping through the frames.
    setModal(false);
}

}  // namespace turnlet
