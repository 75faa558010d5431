// SPDX-License-Identifier: MIT
// The main window TForm2: the project, the program-wide flags, the three pages, menus and workers.
#pragma once

#include <QMainWindow>
#include <QSize>

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "align/align_job.h"
#include "gui_worker.h"
#include "project/project.h"
#include "project/settings_file.h"
#include "shell/layout.h"
#include "shell/status_texts.h"
#include "source/crop_selection.h"
#include "source/show_source.h"
#include "tuning/frame_edits.h"
#include "view_requests.h"

class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressDialog;
class QPushButton;
class QSlider;
class QSpinBox;
class QTableView;
class QTimer;

namespace turnlet {

class CropOutline;
class Dialogs;
class FramesTableModel;
class PageControl;
class PictureView;
class SourceListBox;
class StatusPanels;
class TAboutBox;
class TForm3;
class TForm8;
class TForm9;

// The state lives in the project and the members below; the widgets show it, and their change
// handlers write it back. Handlers are grouped by page, each page in its own source file:
// main_window.cpp (window, menus, timers), source_page.cpp, crop_selection.cpp, status_bar.cpp,
// firstlast_page.cpp, tune_page.cpp, file_commands.cpp, settings_commands.cpp, language.cpp.
class TForm2 : public QMainWindow {
    Q_OBJECT

  public:
    // programDir: where the settings file, the viewer template and the user guide are.
    TForm2(Dialogs& dialogs, std::string programDir, QWidget* parent = nullptr);
    ~TForm2() override;  // runs FormDestroy

    // Start-up hands over the windows created after this one.
    void attachForms(TForm3* form3, TAboutBox* aboutBox, TForm8* form8, TForm9* form9);
    Dialogs& dialogs() { return dialogs_; }

    // ---- The project and the program-wide values and flags ----
    Project project;    // sources, rotation, crop, frames, keyframes, export settings, ImagesLoaded
    Settings settings;  // FFmpeg path, interface language, recent projects
    bool ControlsUpdating = false;
    bool TuneSelectionSyncing = false;
    bool TuneRedrawPending = false;
    bool FirstLastRedrawPending = false;
    // A preview request found its worker busy; the retry timer shows the selected item later.
    bool SourceRedrawPending = false;
    // The window grew past what the preview's display copy can show sharply; the retry timer makes
    // a larger copy of the same picture.
    bool SourceResizePending = false;
    bool DragActive = false;
    int CurrentFrame = 0;
    CropArea Area;                // from the crop fields, by Areaparams1Click
    QSize InterlaceViewSize;      // Image5's size, likewise
    std::string ShownSourcePath;  // the source image whose preview Image1 shows

    // ---- The other windows ----
    TForm3* Form3 = nullptr;
    TAboutBox* AboutBox = nullptr;
    TForm8* Form8 = nullptr;
    TForm9* Form9 = nullptr;

    // ---- Controls ----
    QWidget* ClientArea = nullptr;
    PageControl* PageControl1 = nullptr;
    StatusPanels* StatusBar1 = nullptr;
    QWidget *TabSheet1 = nullptr, *TabSheet2 = nullptr, *TabSheet3 = nullptr;
    // "Import images"
    QPushButton *Button8 = nullptr, *Button9 = nullptr, *Button10 = nullptr;
    SourceListBox* ListBox1 = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QPushButton* Button1 = nullptr;
    QLabel *Label1 = nullptr, *Label2 = nullptr, *Label3 = nullptr, *Label4 = nullptr;
    QLineEdit *Edit1 = nullptr, *Edit2 = nullptr, *Edit3 = nullptr, *Edit4 = nullptr;
    PictureView* Image1 = nullptr;
    CropOutline* Shape1 = nullptr;
    // "First and last frames"
    PageControl* PageControl2 = nullptr;
    QWidget *TabSheet5 = nullptr, *TabSheet6 = nullptr;
    PictureView *Image3 = nullptr, *Image4 = nullptr, *Image5 = nullptr;
    QLabel *Label5 = nullptr, *Label6 = nullptr;
    QSpinBox *SpinEdit1 = nullptr, *SpinEdit2 = nullptr;
    QPushButton *BitBtn1 = nullptr, *BitBtn2 = nullptr;
    QPushButton* BitBtn3 = nullptr;  // "Find end of turn"
    // "Tune positions"
    QTableView* StringGrid1 = nullptr;
    FramesTableModel* FramesModel = nullptr;
    PictureView* Image2 = nullptr;
    QSlider* TrackBar1 = nullptr;
    QPushButton *Button2 = nullptr, *Button3 = nullptr, *Button11 = nullptr, *Button4 = nullptr, *Button5 = nullptr;
    QPushButton* Button12 = nullptr;  // "Auto-align"
    QLabel* Label9 = nullptr;
    QComboBox* ComboBox2 = nullptr;
    QTimer *Timer1 = nullptr, *Timer2 = nullptr;

    // ---- Menus ----
    QMenu *File1 = nullptr, *Reopen1 = nullptr, *Language1 = nullptr, *Options1 = nullptr, *Help1 = nullptr;
    QAction *New1 = nullptr, *Open1 = nullptr, *Save1 = nullptr, *Saveas1 = nullptr, *Exit1 = nullptr;
    QAction *Last11 = nullptr, *Last21 = nullptr, *Last31 = nullptr, *Last41 = nullptr, *Last51 = nullptr;
    QAction *Last61 = nullptr, *Last71 = nullptr, *Last81 = nullptr, *Last91 = nullptr, *Last101 = nullptr;
    QAction *Export1 = nullptr, *English1 = nullptr, *N6 = nullptr, *Backgroundcolor1 = nullptr;
    QAction* Autoalign1 = nullptr;  // "Options" > "Auto-align"
    QAction *Context1 = nullptr, *About1 = nullptr;
    QMenu* PopupMenu1 = nullptr;  // the source list's context menu
    QAction* Delete1 = nullptr;
    // Internal operations: a menu never shown, so each refresh command has a name.
    QMenu* PopupMenu2 = nullptr;
    QAction *Showsource1 = nullptr, *Drawselection1 = nullptr, *Drawfirstandlast1 = nullptr;
    QAction *Recalculatepositions1 = nullptr, *Drawtunedimage1 = nullptr, *ReadINI1 = nullptr, *SaveINI1 = nullptr;
    QAction *Showstatus1 = nullptr, *Areaparams1 = nullptr, *Showlast1 = nullptr, *Addlast1 = nullptr;
    QAction* Clearlast1 = nullptr;

    // ---- Workers (created idle with the window, ended with it) ----
    std::unique_ptr<GuiWorker<ShowSourceRequest>> ShowSourceWorker;
    std::unique_ptr<GuiWorker<FirstLastRequest>> ShowFirstLastWorker;
    std::unique_ptr<GuiWorker<TuneRequest>> TunePictureWorker;
    // "Auto-align" and "Find end of turn", one at a time.
    std::unique_ptr<GuiWorker<AlignJobRequest>> AlignWorker;
    // Shown while AlignWorker runs, with its Cancel; null otherwise.
    QProgressDialog* AlignProgressDialog = nullptr;
    // The preview job; tests hold a request in progress through it.
    ShowSource& ShowSourceJob() { return *showSourceJob_; }
    // The comparison and tuned-frame jobs, likewise.
    ShowFirstLast& ShowFirstLastJob() { return *firstLastJob_; }
    TunePicture& TunePictureJob() { return *tuneJob_; }

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

    // ---- "Import images" (source_page.cpp) ----
    void Button8Click();
    void Button9Click();
    void Button10Click();
    void Delete1Click();
    void Showsource1Click();
    void ComboBox1Change();
    void ShowSourceHandOver(const ShowSourceResult& result);
    // Remakes the shown preview's display copy for the preview's present size.
    void RedrawSourceForSize();

    // ---- Crop selection (crop_selection.cpp) ----
    void Image1MouseDown(int x, int y, Qt::MouseButtons buttons);
    void Image1MouseMove(int x, int y, Qt::MouseButtons buttons);
    void Image1MouseUp(int x, int y, Qt::MouseButtons buttons);
    void Image1MouseLeave();
    // Shape1's positions are in the page's coordinates.
    void Shape1MouseDown(int pageX, int pageY, Qt::MouseButtons buttons);
    void Shape1MouseMove(int pageX, int pageY, Qt::MouseButtons buttons);
    void Shape1MouseUp();
    void Shape1MouseLeave();
    void Drawselection1Click();
    void Button1Click();

    // ---- Status bar and area rectangle (status_bar.cpp) ----
    void Showstatus1Click();
    void Areaparams1Click();

    // ---- "First and last frames" (firstlast_page.cpp) ----
    void SpinEdit1Change();
    void SpinEdit2Change();
    void BitBtn1Click();
    void BitBtn2Click();
    void Drawfirstandlast1Click();
    void ShowFirstLastHandOver(const FirstLastResult& result);
    // The comparison request's common part: rotation, area, view sizes (no paths).
    FirstLastRequest ComparisonRequest() const;
    // Whether the "First and last frames" page is in view.
    bool ComparisonShown() const;
    // "Find end of turn": looks for the frame that shows the first view again on the worker; the
    // last frame is then set through SpinEdit2.
    void BitBtn3Click();

    // ---- "Tune positions" (tune_page.cpp) ----
    void Recalculatepositions1Click();
    void RestoreKeyframes();
    void Drawtunedimage1Click();
    void StringGrid1Click();
    void StringGrid1DblClick();
    void TrackBar1Change();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void Button5Click();
    void Button11Click();
    void ComboBox2Change();
    void Image2MouseDown(int x, int y, Qt::MouseButtons buttons);
    void Image2MouseMove(int x, int y, Qt::MouseButtons buttons);
    void Image2MouseUp(int x, int y, Qt::MouseButtons buttons);
    void Image2MouseLeave();
    void TunePictureHandOver(const TuneResult& result);
    // "Auto-align": every frame's shift, tilt and exposure found on the worker, then written as
    // keyframes on this thread (Cancel leaves the tables as they were).
    void Button12Click();
    // Cancel of the progress window: the run ends early and its result is dropped.
    void AlignCancel();
    void AlignHandOver(const AlignJobResult& result);
    // The frames-table row of the frame shown (the selected row, CurrentFrame + 1).
    int SelectedFrameRow() const;
    // The frames table, slider and interlace list rebuilt for the present range and keyframes.
    void RebuildFramesTable();

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
    // Whether the project differs from what was last opened, saved or started anew.
    bool ProjectModified() const;
    void MarkProjectSaved();
    // Before the project is thrown away: with unsaved changes, asks Save / Discard / Cancel. True
    // when the caller may go on.
    bool AskToKeepChanges();
    void OpenStartProject();

    // ---- Settings file and recent projects (settings_commands.cpp) ----
    void ReadINI1Click();
    void SaveINI1Click();
    void Showlast1Click();
    void Addlast1Click();
    void Clearlast1Click();
    // Turnlet.ini's full path (beside the program, or in the user's configuration folder).
    std::string SettingsFile;
    // Where a new project's export directory goes ("<folder>/result"); the program's folder when empty.
    std::string ExportBaseDir;
    // Writes the settings at once after a change, so a crash loses nothing.
    void SettingsChanged();

    // ---- Interface language (language.cpp) ----
    void English1Click();
    void N6Click();

    // ---- Shared by the pages ----
    // The source path at a source index, or nothing when the list has no such item.
    const std::string* SourceAt(int index) const;
    void SetStatusPanel(int panel, const std::string& text);
    // The preview's picture size and position, for the crop mapping.
    CropView PreviewGeometry() const;
    // Model to widgets, without running change handlers.
    void ShowCropFields();
    void ShowCropOutline();
    void ShowFrameNumbers();
    // The frames table's view after the table changed.
    void RefreshFramesTable();
    // Every control that shows the project, from the project (after New or reading a file):
    // source list, rotation, crop fields and outline, frame numbers, frames table, caption.
    void ShowProjectInControls();
    // "Reopen" entries, newest project first.
    std::array<QAction*, kRecentMenuEntries> ReopenEntries() const {
        return {Last11, Last21, Last31, Last41, Last51, Last61, Last71, Last81, Last91, Last101};
    }
    // A worker's failed request, told to the user with the file's name.
    void ReportFailure(const Status& status);
    const MainWindowLayout& windowLayout() const { return layout_; }

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void CreateWorkers();
    void BuildMenus();
    void BuildPages();
    void ApplyLayout();
    void StopWorkers();
    void ReopenEntry(int entry);
    // Save1Click's work; false when nothing was written (cancelled or failed).
    bool SaveProjectCommand();
    // What New1Click does once the user agreed.
    void NewProject();
    // The size a preview's display copy must cover: the preview's, in device pixels.
    QSize DisplayBound() const;
    // A view's size in device pixels.
    static QSize DevicePixels(const QWidget* view);
    // The shift drag on the tuned view ends: the frame becomes a keyframe with its row's values.
    void CommitShiftDrag();

    Dialogs& dialogs_;
    MainWindowLayout layout_;
    std::unique_ptr<ShowSource> showSourceJob_;
    std::unique_ptr<ShowFirstLast> firstLastJob_;
    std::unique_ptr<TunePicture> tuneJob_;
    std::unique_ptr<AlignJob> alignJob_;
    std::shared_ptr<AlignProgress> alignProgress_;
    QTimer* alignProgressTimer_ = nullptr;
    bool alignReplaceManual_ = false;
    // The keyframe rows the last Auto-align wrote, by source: one still so is no value set by hand,
    // and the next run replaces it without asking.
    std::map<std::string, std::vector<std::string>> alignWritten_;
    bool WrittenByAutoAlign(const std::string& path) const;
    // Starts request on AlignWorker with the progress window; false when the worker is busy.
    bool StartAlignJob(AlignJobRequest request, const char* label);
    void EndAlignProgress();
    // The crop the tuned view uses, as a rectangle of the turned source.
    PixelRect TunedCropRect() const;
    ShiftDrag shiftDrag_{DragActive};
    // A worker's failure is being shown: while its message is open, that worker's further failures
    // are not shown again, so a file that cannot be read does not stack one message per retry.
    bool reportingFirstLast_ = false, reportingTune_ = false;
    CropSelection crop_;
    // Counts New: a preview handed over for a project since closed is not shown.
    std::uint64_t sourceGeneration_ = 0;
    bool destroyed_ = false;
    std::string savedProjectText_;
    // Until the settings file was read, writing it would replace the user's settings with defaults.
    bool settingsRead_ = false;
};

}  // namespace turnlet
