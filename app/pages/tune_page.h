// SPDX-License-Identifier: MIT
// The "Tune positions" page: the frames table, the frame slider, the interlace choice, the shift drag,
// the tuned view and Auto-align.
#pragma once

#include <QSize>
#include <QWidget>

#include <cstdint>
#include <memory>

#include "gui_worker.h"
#include "session/editor_session.h"
#include "shell/catalogue.h"
#include "shell/layout.h"
#include "tuning/frame_edits.h"
#include "view_requests.h"

class QComboBox;
class QLabel;
class QPushButton;
class QSlider;
class QTableView;

namespace turnlet {

class AlignRunner;
class AppContext;
class FramesTableModel;
class PictureView;

// TabSheet3. Steps through the frames of the turn, shows each as it will be exported, and makes
// frames keyframes through the session.
class TunePage : public QWidget {
    Q_OBJECT

  public:
    TunePage(AppContext& app, AlignRunner& align, bool& dragActive, QWidget* parent = nullptr);
    ~TunePage() override;

    QTableView* StringGrid1 = nullptr;
    FramesTableModel* FramesModel = nullptr;
    PictureView* Image2 = nullptr;
    QSlider* TrackBar1 = nullptr;
    QPushButton *Button2 = nullptr, *Button3 = nullptr, *Button11 = nullptr, *Button4 = nullptr, *Button5 = nullptr;
    QPushButton* Button12 = nullptr;  // "Auto-align"
    QLabel* Label9 = nullptr;
    QComboBox* ComboBox2 = nullptr;

    std::unique_ptr<GuiWorker<TuneRequest>> TunePictureWorker;
    TunePicture& TunePictureJob() { return *job_; }
    bool TuneRedrawPending = false;
    bool TuneSelectionSyncing = false;
    int CurrentFrame = 0;

    // The slider and the interlace list for the present range.
    void Recalculatepositions1Click();
    // The frames table's view after the frames changed.
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
    // keyframes (Cancel leaves them as they were).
    void Button12Click();
    // The confidence column's header in language.
    void SetConfidenceHeader(Language language);
    // The frame the table shows selected (CurrentFrame when none is).
    int SelectedFrame() const;

    // Entering the page: a frame beyond the slider shows the last one.
    void Entered();
    void Retry();
    void Place(const MainWindowLayout& layout);
    void StopWorker();

  signals:
    // "Parameters" or a double click on the table.
    void parametersAsked();
    // The frame whose values the parameters dialog shows.
    void frameShown(int frame);

  private:
    void SessionChanged(Changes changes);
    void EndShiftDrag();
    static QSize DevicePixels(const QWidget* view);
    EditorSession& session() const;

    AppContext& app_;
    AlignRunner& align_;
    bool& dragActive_;
    ShiftDrag shiftDrag_;
    int dragFrame_ = 0;
    bool gesture_ = false;
    std::unique_ptr<TunePicture> job_;
    std::uint64_t generation_ = 0;
    bool reporting_ = false;
};

}  // namespace turnlet
