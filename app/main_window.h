// SPDX-License-Identifier: MIT
// The main window TForm2: the frame around the three pages, with the menus, the status bar and the timers.
#pragma once

#include <QMainWindow>
#include <QSize>

#include <array>
#include <memory>
#include <string>

#include "app_context.h"
#include "project/settings_file.h"
#include "session/editor_session.h"
#include "shell/layout.h"

class QAction;
class QMenu;
class QTimer;

namespace turnlet {

class AlignRunner;
class Dialogs;
class FirstLastPage;
class PageControl;
class SourcePage;
class StatusPanels;
class TAboutBox;
class TForm3;
class TForm8;
class TForm9;
class TunePage;

// Owns the editor session and the pages; the pages and dialogs talk to the session (and to the few
// services of AppContext), never to this window. What is left here: the menus, the page control,
// the status bar, the settings and the recent projects, and the file commands.
class TForm2 : public QMainWindow, public AppContext {
    Q_OBJECT

  public:
    // resourceDir: where the viewer template, the user guide and the About pictures are;
    // exportBaseDir: where a new project's export folder goes ("<folder>/result").
    TForm2(Dialogs& dialogs, std::string resourceDir, std::string exportBaseDir, QWidget* parent = nullptr);
    ~TForm2() override;  // runs FormDestroy

    // ---- AppContext ----
    EditorSession& session() override { return session_; }
    Dialogs& dialogs() override { return dialogs_; }
    Settings& settings() override { return settings_; }
    void settingsChanged() override { SaveINI1Click(); }
    const std::string& resourceDir() const override { return resourceDir_; }
    void setStatusPanel(int panel, const std::string& text) override;
    void reportFailure(const Status& status) override;
    QSize previewPictureSize() const override;
    int currentPage() const override;

    // ---- The other windows ----
    TForm3* Form3 = nullptr;
    TAboutBox* AboutBox = nullptr;
    TForm8* Form8 = nullptr;
    TForm9* Form9 = nullptr;

    // ---- Controls ----
    QWidget* ClientArea = nullptr;
    PageControl* PageControl1 = nullptr;
    StatusPanels* StatusBar1 = nullptr;
    SourcePage* TabSheet1 = nullptr;     // "Import images"
    FirstLastPage* TabSheet2 = nullptr;  // "First and last frames"
    TunePage* TabSheet3 = nullptr;       // "Tune positions"
    QTimer *Timer1 = nullptr, *Timer2 = nullptr;
    // Shared by the pages: "Auto-align" and "Find end of turn", one at a time.
    AlignRunner* Align = nullptr;
    // The program's one drag flag, shared by the crop and the shift drags.
    bool DragActive = false;
    // The crop as the first/last view and the export dialog last took it.
    CropArea Area;

    // ---- Menus ----
    QMenu *File1 = nullptr, *Reopen1 = nullptr, *Editmenu1 = nullptr, *Language1 = nullptr, *Options1 = nullptr,
          *Help1 = nullptr;
    QAction *New1 = nullptr, *Open1 = nullptr, *Save1 = nullptr, *Saveas1 = nullptr, *Exit1 = nullptr;
    QAction *Last11 = nullptr, *Last21 = nullptr, *Last31 = nullptr, *Last41 = nullptr, *Last51 = nullptr;
    QAction *Last61 = nullptr, *Last71 = nullptr, *Last81 = nullptr, *Last91 = nullptr, *Last101 = nullptr;
    QAction *Undo1 = nullptr, *Redo1 = nullptr;
    QAction *Export1 = nullptr, *English1 = nullptr, *N6 = nullptr, *Backgroundcolor1 = nullptr;
    QAction* Autoalign1 = nullptr;  // "Options" > "Auto-align"
    QAction *Context1 = nullptr, *About1 = nullptr;
    // Internal operations: a menu never shown, so each refresh command has a name.
    QMenu* PopupMenu2 = nullptr;
    QAction *Showsource1 = nullptr, *Drawselection1 = nullptr, *Drawfirstandlast1 = nullptr;
    QAction *Recalculatepositions1 = nullptr, *Drawtunedimage1 = nullptr, *ReadINI1 = nullptr, *SaveINI1 = nullptr;
    QAction *Showstatus1 = nullptr, *Areaparams1 = nullptr, *Showlast1 = nullptr, *Addlast1 = nullptr;
    QAction* Clearlast1 = nullptr;

    // Start-up hands over the windows created after this one.
    void attachForms(TForm3* form3, TAboutBox* aboutBox, TForm8* form8, TForm9* form9);

    // ---- Window (main_window.cpp) ----
    void FormResize();
    void FormDestroy();
    void PageControl1Change();
    void Timer1Timer();
    void Timer2Timer();
    void Backgroundcolor1Click();
    void Context1Click();
    void Exit1Click();
    void About1Click();
    void Export1Click();
    void Undo1Click();
    void Redo1Click();
    // The status bar's summary.
    void Showstatus1Click();
    // The area the first/last view and the export dialog use.
    void Areaparams1Click();

    // ---- File menu (file_commands.cpp) ----
    void New1Click();
    void Open1Click();
    void Save1Click();
    void Saveas1Click();
    void Last11Click();
    void Last21Click();
    void Last31Click();
    void Last41Click();
    void Last51Click();
    void Last61Click();
    void Last71Click();
    void Last81Click();
    void Last91Click();
    void Last101Click();
    // The open dialog's file name: when set, Open reads it without asking (the "Reopen" entries).
    std::string OpenFileName;
    // A project named on the command line, opened after the deferred start.
    std::string StartProjectFile;
    // Before the project is thrown away: with unsaved changes, asks Save / Discard / Cancel. True
    // when the caller may go on.
    bool AskToKeepChanges();
    void OpenStartProject();
    // After Open: photos not where the project says are looked for in a folder the user names, and
    // the paths rewritten.
    void LocateMovedSources();

    // ---- Settings file and recent projects (settings_commands.cpp) ----
    void ReadINI1Click();
    void SaveINI1Click();
    void Showlast1Click();
    void Addlast1Click();
    void Clearlast1Click();
    // Turnlet.ini's full path (beside the program, or in the user's configuration folder).
    std::string SettingsFile;

    // ---- Interface language (language.cpp) ----
    void English1Click();
    void N6Click();

    // "Reopen" entries, newest project first.
    std::array<QAction*, kRecentMenuEntries> ReopenEntries() const {
        return {Last11, Last21, Last31, Last41, Last51, Last61, Last71, Last81, Last91, Last101};
    }
    const MainWindowLayout& windowLayout() const { return layout_; }

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void BuildMenus();
    void BuildPages();
    void ApplyLayout();
    void StopWorkers();
    void ReopenEntry(int entry);
    // Save1Click's work; false when nothing was written (cancelled or failed).
    bool SaveProjectCommand(std::string name);
    // Whether a name typed into "Save as" may be saved under: no pattern, and a file it would
    // replace only when the user agrees.
    bool NameToSaveUnder(const std::string& typed);
    void SessionChanged(Changes changes);
    // The caption: the program, the project's file, and a mark while it has unsaved changes.
    void ShowCaption();
    void ShowHistory();

    Dialogs& dialogs_;
    Settings settings_;
    std::string resourceDir_;
    EditorSession session_;
    MainWindowLayout layout_;
    bool destroyed_ = false;
    // Until the settings file was read, writing it would replace the user's settings with defaults.
    bool settingsRead_ = false;
};

}  // namespace turnlet
