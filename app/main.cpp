// SPDX-License-Identifier: MIT
// Start-up of the editor.
#include <QApplication>

#include "main_window.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    turnlet::TForm2 mainWindow;
    mainWindow.show();
    return app.exec();
}
