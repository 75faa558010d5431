// SPDX-License-Identifier: MIT
// The export dialog: number, type, size and folder of the output frames; progress and preview.
#pragma once

#include <QDialog>

#include <functional>
#include <memory>

#include "export/export_engine.h"
#include "project/project.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSlider;

namespace turnlet {

class ExportRunner;
class PictureView;
class AppContext;

// Created once at start-up, after the main window, and kept until the end. Its fields show the
// session's export settings, and every edit changes them through the session. An export is a plan
// frozen when it starts: while it runs the fields are locked. It serves its export's hand-overs on
// the GUI thread, so it stays usable while an export runs, even while shown modally.
class TForm8 : public QDialog, public ExportObserver {
    Q_OBJECT

  public:
    TForm8(AppContext& app, QWidget* parent);
    ~TForm8() override;

    QLabel *Label1 = nullptr, *Label2 = nullptr, *Label3 = nullptr, *Label4 = nullptr, *Label5 = nullptr,
           *Label6 = nullptr;
    // Beside the number of frames: says when frames will repeat.
    QLabel* Label7 = nullptr;
    // Under the size: says when the frames will not have the crop's shape.
    QLabel* Label8 = nullptr;
    QLineEdit *Edit1 = nullptr, *Edit2 = nullptr, *Edit3 = nullptr, *Edit4 = nullptr, *Edit5 = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QSlider* TrackBar1 = nullptr;
    QCheckBox *CheckBox1 = nullptr, *CheckBox2 = nullptr;
    // "Smooth resize": a smaller frame averages the area each of its pixels covers.
    QCheckBox* CheckBox3 = nullptr;
    // "Half and double sizes": the viewer page also gets frame sets at half and twice the size;
    // only with a viewer page (hidden for BMP, off while "Make HTML5 viewer" is).
    QCheckBox* CheckBox4 = nullptr;
    QPushButton *Button1 = nullptr, *Button2 = nullptr, *Button3 = nullptr, *Button4 = nullptr, *Button5 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    // Preview of the frame written last.
    PictureView* Image1 = nullptr;

    void FormShow();
    void Edit1Exit();
    void Button1Click();
    void ComboBox1Change();
    void TrackBar1Change();
    void Edit3Exit();
    void Edit4Exit();
    void Edit5Exit();
    void Button5Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();

    // The session's export settings into the fields.
    void ShowFields();
    // The note beside the number of frames, in the interface language.
    void ShowRepeatNote();
    // The note under the size when it would stretch the frames.
    void ShowShapeNote();
    // True while an export of this dialog (or one it replaced) has not ended.
    bool exporting() const;
    // The current export's session (ExportCounter), null before the first start.
    const ExportSession* session() const;

    // ExportObserver
    void exportProgress(int position) override;
    void exportPreview(const Picture& frame) override;
    void exportPreviewCleared() override;
    void exportEnded(const ExportOutcome& outcome) override;

  protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

  private:
    void BuildControls();
    // The fields are read once, when an export starts: while it runs they are locked.
    void LockFields(bool locked);
    // The folder exists, or the user agreed to have it made and it was; false otherwise.
    bool EnsureFolder(const std::string& folder);
    // Whether the dialog may close: asks to stop a running export first.
    bool MayClose();

    // Each edit is a command of the session; typing into a field is one step until it is left.
    void Change(const std::function<void(ExportSettings&)>& edit);
    void Typed(const std::function<void(ExportSettings&)>& edit);
    void EndTyping();

    AppContext& app_;
    bool ownEdit_ = false;  // the dialog's own edit: its fields already show it
    bool typing_ = false;
    // Set only while Edit3Exit moves the slider, so the slider does not write back into Edit3.
    bool qualityGuard_ = false;
    bool updating_ = false;
    std::unique_ptr<ExportRunner> runner_;
};

}  // namespace turnlet
