// SPDX-License-Identifier: MIT
// File -> Batch export: the open project as the template for many product folders, run on a worker.
#pragma once

#include <QDialog>

#include <memory>
#include <string>
#include <vector>

#include "base/tasks.h"
#include "batch/batch_record.h"
#include "batch/batch_run.h"
#include "gui_worker.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTreeWidget;

namespace turnlet {

class AppContext;

// What one run of the batch takes: everything copied when Start is pressed.
struct BatchRequest {
    BatchSettings settings;
    std::vector<std::string> folders;
    CancelToken stop;
};

// Made when the menu entry is chosen and shown modally; the batch runs on a worker while the dialog
// shows each product's progress and result, so the window stays responsive. Closing it while a
// batch runs asks first and then stops the batch (the product in hand is redone next time).
class BatchDialog : public QDialog {
    Q_OBJECT

  public:
    BatchDialog(AppContext& app, QWidget* parent);
    ~BatchDialog() override;

    QListWidget* FolderList = nullptr;
    QPushButton *AddFolderButton = nullptr, *AddInsideButton = nullptr, *RemoveButton = nullptr;
    QLineEdit* OutputEdit = nullptr;
    QPushButton* BrowseButton = nullptr;
    QCheckBox *AlignBox = nullptr, *FindLastBox = nullptr, *ForceBox = nullptr;
    QSpinBox* JobsBox = nullptr;
    QProgressBar* ProductsBar = nullptr;
    QLabel* ProgressLabel = nullptr;
    QTreeWidget* ResultList = nullptr;
    QLabel* SummaryLabel = nullptr;
    QPushButton *StartButton = nullptr, *StopButton = nullptr, *OpenFolderButton = nullptr, *CloseButton = nullptr;

    bool running() const { return running_; }
    // The rows of the last run, once it has ended.
    const std::vector<ProductResult>& results() const { return results_; }

    void AddFolderClick();
    void AddInsideClick();
    void RemoveClick();
    void BrowseClick();
    void StartClick();
    void StopClick();
    void OpenFolderClick();

    // Close: while a batch runs, asks whether to stop it, and closes once it has ended.
    void reject() override;

  signals:
    // A run has ended and its report is written (or could not be).
    void batchEnded();

  private:
    class Observer;
    void AddFolders(const QStringList& folders);
    void ShowRunning();
    void Progress(int index, ProductStage stage, int done, int total);
    void ProductEnded(const ProductResult& result);
    void Ended(std::vector<ProductResult> results);
    std::string Text(int message) const;

    AppContext& app_;
    bool running_ = false;
    bool closeWhenEnded_ = false;
    int total_ = 0, finished_ = 0;
    double startedAt_ = 0;
    std::string current_;
    std::vector<ProductResult> results_;
    CancelToken stop_;
    std::unique_ptr<Observer> observer_;
    // Last: stopped and joined first, while what its job reaches still exists.
    std::unique_ptr<GuiWorker<BatchRequest>> worker_;
};

}  // namespace turnlet
