// SPDX-License-Identifier: MIT
// Start-up: the application object, the look the windows were laid out for, and the five windows.
#pragma once

#include <QApplication>
#include <QStringList>

#include <memory>
#include <string>

namespace turnlet {

class Dialogs;
class TAboutBox;
class TForm2;
class TForm3;
class TForm8;
class TForm9;

// An exception that escapes an event handler is shown to the user and the program goes on with the
// next event, instead of ending it.
class TurnletApplication : public QApplication {
    Q_OBJECT

  public:
    TurnletApplication(int& argc, char** argv);
    void setDialogs(Dialogs* dialogs) { dialogs_ = dialogs; }
    bool notify(QObject* receiver, QEvent* event) override;

  private:
    Dialogs* dialogs_ = nullptr;
};

// Qt tells on the terminal when the session has no runtime folder (XDG_RUNTIME_DIR), then uses
// one of its own; Turnlet keeps nothing there. Everything else Qt reports still reaches the terminal.
// Call before the application object exists.
void QuietBenignQtNotices();

// The style and font every window's design geometry assumes.
void SetUpLook(QApplication& app);

// The folder of the running executable, without a trailing separator.
std::string ProgramDirectory();

// Where one run finds its files and keeps its settings.
struct ProgramPlaces {
    // The viewer template, the user guide, the About pictures and the icon: the executable's folder
    // (a build or a portable copy), or PREFIX/share/turnlet for a program installed in PREFIX/bin.
    std::string resourceDir;
    // Turnlet.ini beside the program when that folder is writable and the program is not an
    // installed one; otherwise in the user's configuration folder.
    std::string settingsFile;
    // The folder a new project's export directory goes into ("<folder>/result"): the program's
    // own folder, or for an installed program one in the user's pictures folder.
    std::string exportBaseDir;
};
ProgramPlaces FindProgramPlaces(const std::string& executableDir);

// The project file named on the command line (the first argument that is no option), or empty.
std::string ProjectFromArguments(const QStringList& arguments);

// The five windows of one run, created in this order and kept until the end: the main window,
// the video import dialog, the About box, the export dialog and the parameters dialog.
class TurnletWindows {
  public:
    TurnletWindows(Dialogs& dialogs, std::string programDir);
    ~TurnletWindows();
    TurnletWindows(const TurnletWindows&) = delete;
    TurnletWindows& operator=(const TurnletWindows&) = delete;

    TForm2& Form2() { return *form2_; }
    TForm3& Form3();
    TAboutBox& AboutBox();
    TForm8& Form8();
    TForm9& Form9();

  private:
    std::unique_ptr<TForm2> form2_;
};

// Puts a window in the middle of the screen's available area.
void CentreOnScreen(QWidget& window);

}  // namespace turnlet
