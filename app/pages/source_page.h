// SPDX-License-Identifier: MIT
// The "Import images" page: the source list, the rotation, the crop and the preview worker.
#pragma once

#include <QSize>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <string>

#include "gui_worker.h"
#include "session/editor_session.h"
#include "shell/layout.h"
#include "source/crop_selection.h"
#include "source/show_source.h"

class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;

namespace turnlet {

class AppContext;
class CropOutline;
class PictureView;
class SourceListBox;

// TabSheet1. Shows the session's sources, rotation and crop, and changes them through its commands.
class SourcePage : public QWidget {
    Q_OBJECT

  public:
    SourcePage(AppContext& app, bool& dragActive, QWidget* parent = nullptr);
    ~SourcePage() override;

    QPushButton *Button8 = nullptr, *Button9 = nullptr, *Button10 = nullptr;
    SourceListBox* ListBox1 = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QPushButton* Button1 = nullptr;
    QLabel *Label1 = nullptr, *Label2 = nullptr, *Label3 = nullptr, *Label4 = nullptr;
    QLineEdit *Edit1 = nullptr, *Edit2 = nullptr, *Edit3 = nullptr, *Edit4 = nullptr;
    PictureView* Image1 = nullptr;
    CropOutline* Shape1 = nullptr;
    QMenu* PopupMenu1 = nullptr;  // the source list's context menu
    QAction* Delete1 = nullptr;

    // Created idle with the page, ended with it.
    std::unique_ptr<GuiWorker<ShowSourceRequest>> ShowSourceWorker;
    // The preview job; tests hold a request in progress through it.
    ShowSource& ShowSourceJob() { return *job_; }
    // The source image whose preview Image1 shows.
    std::string ShownSourcePath;
    // A preview request found its worker busy; the retry timer shows the selected item later.
    bool SourceRedrawPending = false;
    // The window grew past what the preview's display copy can show sharply; the retry timer makes
    // a larger copy of the same picture.
    bool SourceResizePending = false;

    void Button8Click();
    void Button9Click();
    void Button10Click();
    void Delete1Click();
    void Showsource1Click();
    void ComboBox1Change();
    void ShowSourceHandOver(const ShowSourceResult& result);
    // Remakes the shown preview's display copy for the preview's present size.
    void RedrawSourceForSize();
    void Image1MouseDown(int x, int y, Qt::MouseButtons buttons);
    void Image1MouseMove(int x, int y, Qt::MouseButtons buttons);
    void Image1MouseUp(int x, int y, Qt::MouseButtons buttons);
    void Image1MouseLeave();
    // Shape1's positions are in the page's coordinates.
    void Shape1MouseDown(int pageX, int pageY, Qt::MouseButtons buttons);
    void Shape1MouseMove(int pageX, int pageY, Qt::MouseButtons buttons);
    void Shape1MouseUp();
    void Shape1MouseLeave();
    // The outline and the fields from the session's crop.
    void Drawselection1Click();
    // "No crop".
    void Button1Click();
    // A crop field typed into: the crop follows at once when all four are whole numbers.
    void CropFieldEdited();
    // A crop field left: the crop is kept on the picture and the fields show it.
    void CropFieldFinished();

    // The retry timer's tick.
    void Retry();
    void Place(const MainWindowLayout& layout);
    // The window was resized: a preview too small for the new size is made again.
    void Resized();
    // The preview's picture size and position, for the crop mapping.
    CropView PreviewGeometry() const;
    // Stops the worker; the page is being taken down.
    void StopWorker();

  signals:
    void importVideoAsked();
    void clearListAsked();
    // A preview reached the screen; newSize when the picture's size differs from the last one.
    void previewShown(bool newSize);

  private:
    void SessionChanged(Changes changes);
    // fresh: a project just opened or made, shown from its first photo.
    void ShowSources(bool fresh);
    void ShowCropFields();
    // Restarts with the next request: a preview still on its way belongs to another project.
    void Forget();
    QSize DisplayBound() const;
    EditorSession& session() const;

    AppContext& app_;
    CropSelection crop_;
    std::unique_ptr<ShowSource> job_;
    // Counts replaced projects: a preview handed over for a project since closed is not shown.
    std::uint64_t generation_ = 0;
    bool updating_ = false;
    bool gesture_ = false;  // a mouse drag of the crop is one step of the history
    bool typing_ = false;   // so is typing into the crop fields
    bool adding_ = false;   // "Add images" shows the last photo added itself
};

}  // namespace turnlet
