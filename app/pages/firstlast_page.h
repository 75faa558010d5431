// SPDX-License-Identifier: MIT
// The "First and last frames" page: the two frame numbers, the pair buttons, the comparison worker.
#pragma once

#include <QSize>
#include <QWidget>

#include <cstdint>
#include <memory>

#include "gui_worker.h"
#include "session/editor_session.h"
#include "shell/layout.h"
#include "view_requests.h"

class QLabel;
class QPushButton;
class QSpinBox;

namespace turnlet {

class AlignRunner;
class AppContext;
class PageControl;
class PictureView;

// TabSheet2. Shows the session's frame range and compares its two ends, side by side or woven.
class FirstLastPage : public QWidget {
    Q_OBJECT

  public:
    FirstLastPage(AppContext& app, AlignRunner& align, QWidget* parent = nullptr);
    ~FirstLastPage() override;

    PageControl* PageControl2 = nullptr;
    QWidget *TabSheet5 = nullptr, *TabSheet6 = nullptr;
    PictureView *Image3 = nullptr, *Image4 = nullptr, *Image5 = nullptr;
    QLabel *Label5 = nullptr, *Label6 = nullptr;
    QSpinBox *SpinEdit1 = nullptr, *SpinEdit2 = nullptr;
    QPushButton *BitBtn1 = nullptr, *BitBtn2 = nullptr;
    QPushButton* BitBtn3 = nullptr;  // "Find end of turn"

    std::unique_ptr<GuiWorker<FirstLastRequest>> ShowFirstLastWorker;
    ShowFirstLast& ShowFirstLastJob() { return *job_; }
    bool FirstLastRedrawPending = false;
    // Image5's size when the comparison was last asked for.
    QSize InterlaceViewSize;

    void SpinEdit1Change();
    void SpinEdit2Change();
    void BitBtn1Click();
    void BitBtn2Click();
    void Drawfirstandlast1Click();
    void ShowFirstLastHandOver(const FirstLastResult& result);
    // The comparison request's common part: rotation, area, view sizes (no paths).
    FirstLastRequest ComparisonRequest();
    // Whether the page is in view.
    bool ComparisonShown() const;
    // "Find end of turn": looks for the frame that shows the first view again on the worker; the
    // last frame is then set through SpinEdit2.
    void BitBtn3Click();

    void Retry();
    void Place(const MainWindowLayout& layout);
    void StopWorker();

  private:
    void SessionChanged(Changes changes);
    void ShowFrameNumbers();
    // One side asked for after its number changed (an empty path keeps the other side).
    void DrawSide(bool first);
    EditorSession& session() const;

    AppContext& app_;
    AlignRunner& align_;
    std::unique_ptr<ShowFirstLast> job_;
    std::uint64_t generation_ = 0;
    // Set while a handler's own command runs: it asks for the side it changed itself.
    bool ownChange_ = false;
    // A failure is being shown: further failures of the same worker are not stacked behind it.
    bool reporting_ = false;
};

}  // namespace turnlet
