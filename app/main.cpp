// SPDX-License-Identifier: MIT
// Start-up of the editor.
#include "application.h"
#include "dialogs.h"
#include "main_window.h"
#include "termination_signals.h"

int main(int argc, char** argv) {
    turnlet::QuietBenignQtNotices();
    turnlet::TurnletApplication app(argc, argv);
    turnlet::SetUpLook(app);
    turnlet::QtDialogs dialogs;
    app.setDialogs(&dialogs);
    turnlet::TurnletWindows windows(dialogs, turnlet::ProgramDirectory());
    turnlet::TForm2& mainWindow = windows.Form2();
    // "turnlet PROJECT.trn.prj" (a file manager's "open with") opens it after the deferred start.
    mainWindow.StartProjectFile = turnlet::ProjectFromArguments(QCoreApplication::arguments());
    turnlet::CloseOnTerminationSignals(&mainWindow, [&mainWindow] { mainWindow.Exit1Click(); });
    turnlet::CentreOnScreen(mainWindow);
    mainWindow.show();
    return app.exec();
}
