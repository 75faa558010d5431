// SPDX-License-Identifier: MIT
// Start-up of the editor.
#include "application.h"
#include "dialogs.h"
#include "main_window.h"
#include "termination_signals.h"

#include <cstdio>
#include <cstring>

#include "base/version.h"

namespace {

const char kUsage[] =
    "Usage: turnlet [PROJECT.trn.prj]\n"
    "\n"
    "Starts the Turnlet editor, which turns photographs taken all the way round an object into an\n"
    "evenly spaced, aligned, cropped and tone-corrected set of frames with an HTML5 360 degree viewer\n"
    "page. A project named on the command line is opened once the window shows.\n"
    "\n"
    "  --help          this text\n"
    "  --version       the version\n"
    "\n"
    "Qt's own options (-platform, -style ...) are passed on to Qt.\n";

// --help and --version are answered before the application object exists, so they need no display.
// Returns -1 when the editor should start.
int AnswerInformationArguments(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::fputs(turnlet::VersionText("turnlet").c_str(), stdout);
            return 0;
        }
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (const int status = AnswerInformationArguments(argc, argv); status >= 0) return status;
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
