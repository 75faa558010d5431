// SPDX-License-Identifier: MIT
// File -> Batch export: the open project as the template for many product folders, run on a worker.
#include "dialogs/batch_dialog.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <chrono>
#include <filesystem>

#include "app_context.h"
#include "batch/batch_report.h"
#include "dialogs.h"
#include "export/viewer_page.h"
#include "named_widget.h"
#include "shell/batch_texts.h"
#include "shell/catalogue.h"

namespace turnlet {
namespace {

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

std::string MinutesSeconds(double seconds) {
    const long s = static_cast<long>(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    return text;
}

}  // namespace

// Carries the batch's calls from its threads onto the GUI thread (queued, so no lane waits).
class BatchDialog::Observer : public BatchObserver {
  public:
    explicit Observer(BatchDialog* dialog) : dialog_(dialog) {}
    void productStarted(int, const std::string& name) override {
        QMetaObject::invokeMethod(
            dialog_, [d = dialog_, name] { d->current_ = name; }, Qt::QueuedConnection);
    }
    void productProgress(int index, ProductStage stage, int done, int total) override {
        QMetaObject::invokeMethod(
            dialog_, [d = dialog_, index, stage, done, total] { d->Progress(index, stage, done, total); },
            Qt::QueuedConnection);
    }
    void productEnded(int, const ProductResult& result) override {
        QMetaObject::invokeMethod(
            dialog_, [d = dialog_, result] { d->ProductEnded(result); }, Qt::QueuedConnection);
    }

  private:
    BatchDialog* dialog_;
};

BatchDialog::BatchDialog(AppContext& app, QWidget* parent) : QDialog(parent), app_(app) {
    setObjectName(QStringLiteral("BatchDialog"));
    setWindowTitle(Q(Text(static_cast<int>(Msg::BatchTitle))));
    auto text = [this](Msg m) { return Q(Text(static_cast<int>(m))); };
    auto* layout = new QVBoxLayout(this);

    layout->addWidget(new QLabel(text(Msg::BatchFoldersLabel), this));
    FolderList = Named(new QListWidget(this), "FolderList");
    FolderList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    layout->addWidget(FolderList, 2);
    auto* folderButtons = new QHBoxLayout;
    AddFolderButton = Named(new QPushButton(text(Msg::BatchAddFolder), this), "AddFolderButton");
    AddInsideButton = Named(new QPushButton(text(Msg::BatchAddFoldersInside), this), "AddInsideButton");
    RemoveButton = Named(new QPushButton(text(Msg::BatchRemoveFolders), this), "RemoveButton");
    folderButtons->addWidget(AddFolderButton);
    folderButtons->addWidget(AddInsideButton);
    folderButtons->addWidget(RemoveButton);
    folderButtons->addStretch();
    layout->addLayout(folderButtons);

    layout->addWidget(new QLabel(text(Msg::BatchOutputLabel), this));
    auto* output = new QHBoxLayout;
    OutputEdit = Named(new QLineEdit(Q(app_.session().project().exportSettings.directory), this), "OutputEdit");
    BrowseButton = Named(new QPushButton(text(Msg::BatchBrowse), this), "BrowseButton");
    output->addWidget(OutputEdit, 1);
    output->addWidget(BrowseButton);
    layout->addLayout(output);

    AlignBox = Named(new QCheckBox(text(Msg::BatchAlign), this), "AlignBox");
    FindLastBox = Named(new QCheckBox(text(Msg::BatchFindLast), this), "FindLastBox");
    ForceBox = Named(new QCheckBox(text(Msg::BatchForce), this), "ForceBox");
    layout->addWidget(AlignBox);
    layout->addWidget(FindLastBox);
    layout->addWidget(ForceBox);
    auto* jobs = new QHBoxLayout;
    jobs->addWidget(new QLabel(text(Msg::BatchJobs), this));
    JobsBox = Named(new QSpinBox(this), "JobsBox");
    JobsBox->setRange(1, PoolThreads());
    JobsBox->setValue(1);
    jobs->addWidget(JobsBox);
    jobs->addStretch();
    layout->addLayout(jobs);

    ProductsBar = Named(new QProgressBar(this), "ProductsBar");
    ProductsBar->setValue(0);
    ProgressLabel = Named(new QLabel(this), "ProgressLabel");
    layout->addWidget(ProductsBar);
    layout->addWidget(ProgressLabel);
    ResultList = Named(new QTreeWidget(this), "ResultList");
    ResultList->setRootIsDecorated(false);
    ResultList->setHeaderLabels({text(Msg::BatchColumnProduct), text(Msg::BatchColumnStatus),
                                 text(Msg::BatchColumnFrames), text(Msg::BatchColumnMessage)});
    layout->addWidget(ResultList, 3);
    SummaryLabel = Named(new QLabel(this), "SummaryLabel");
    SummaryLabel->setWordWrap(true);
    SummaryLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(SummaryLabel);

    auto* buttons = new QHBoxLayout;
    StartButton = Named(new QPushButton(text(Msg::BatchStart), this), "StartButton");
    StopButton = Named(new QPushButton(text(Msg::BatchStop), this), "StopButton");
    OpenFolderButton = Named(new QPushButton(text(Msg::OpenFolder), this), "OpenFolderButton");
    CloseButton = Named(new QPushButton(text(Msg::BatchClose), this), "CloseButton");
    buttons->addWidget(StartButton);
    buttons->addWidget(StopButton);
    buttons->addStretch();
    buttons->addWidget(OpenFolderButton);
    buttons->addWidget(CloseButton);
    layout->addLayout(buttons);
    StartButton->setDefault(true);
    resize(720, 620);

    connect(AddFolderButton, &QPushButton::clicked, this, &BatchDialog::AddFolderClick);
    connect(AddInsideButton, &QPushButton::clicked, this, &BatchDialog::AddInsideClick);
    connect(RemoveButton, &QPushButton::clicked, this, &BatchDialog::RemoveClick);
    connect(BrowseButton, &QPushButton::clicked, this, &BatchDialog::BrowseClick);
    connect(StartButton, &QPushButton::clicked, this, &BatchDialog::StartClick);
    connect(StopButton, &QPushButton::clicked, this, &BatchDialog::StopClick);
    connect(OpenFolderButton, &QPushButton::clicked, this, &BatchDialog::OpenFolderClick);
    connect(CloseButton, &QPushButton::clicked, this, &BatchDialog::reject);

    observer_ = std::make_unique<Observer>(this);
    worker_ = std::make_unique<GuiWorker<BatchRequest>>(
        this,
        [this](const BatchRequest& request, Worker&) {
            std::vector<ProductResult> results = RunBatch(request.settings, request.folders, *observer_, request.stop);
            QMetaObject::invokeMethod(
                this, [this, results = std::move(results)]() mutable { Ended(std::move(results)); },
                Qt::QueuedConnection);
            return Status::Ok();
        },
        [this](const Status& status) {
            // Only what escaped the batch itself (each product's failure is in its row).
            running_ = false;
            ShowRunning();
            app_.reportFailure(status);
        });
    ShowRunning();
}

BatchDialog::~BatchDialog() {
    stop_.cancel();
    worker_.reset();
}

std::string BatchDialog::Text(int message) const {
    return Tr(static_cast<Msg>(message), app_.language());
}

void BatchDialog::AddFolders(const QStringList& folders) {
    for (const QString& folder : folders) {
        const QString path = QDir::cleanPath(folder);
        if (path.isEmpty() || !FolderList->findItems(path, Qt::MatchExactly).isEmpty()) continue;
        FolderList->addItem(path);
    }
    ShowRunning();
}

void BatchDialog::AddFolderClick() {
    const QString folder = app_.dialogs().chooseFolder(this, Q(Text(static_cast<int>(Msg::BatchAddFolder))), {});
    if (!folder.isEmpty()) AddFolders({folder});
}

void BatchDialog::AddInsideClick() {
    const QString parent = app_.dialogs().chooseFolder(this, Q(Text(static_cast<int>(Msg::BatchAddFoldersInside))), {});
    if (parent.isEmpty()) return;
    QStringList folders;
    for (const QFileInfo& info : QDir(parent).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name))
        folders << info.absoluteFilePath();
    AddFolders(folders);
}

void BatchDialog::RemoveClick() {
    for (QListWidgetItem* item : FolderList->selectedItems()) delete item;
    ShowRunning();
}

void BatchDialog::BrowseClick() {
    const QString folder =
        app_.dialogs().chooseFolder(this, Q(Text(static_cast<int>(Msg::BatchOutputLabel))), OutputEdit->text());
    if (!folder.isEmpty()) OutputEdit->setText(folder);
}

void BatchDialog::StartClick() {
    if (running_) return;
    if (FolderList->count() == 0) {
        app_.dialogs().message(this, Q(Text(static_cast<int>(Msg::BatchNoFolders))));
        return;
    }
    if (OutputEdit->text().trimmed().isEmpty()) {
        app_.dialogs().message(this, Q(Text(static_cast<int>(Msg::BatchNoOutput))));
        return;
    }
    BatchRequest request;
    // The open project as it stands is the template; its text tells a later run what changed.
    request.settings.templateProject = app_.session().project();
    request.settings.templateText = WriteProjectText(request.settings.templateProject);
    request.settings.root = OutputEdit->text().trimmed().toStdString();
    request.settings.viewerTemplate = app_.resourceDir() + "/" + kViewerTemplateName;
    request.settings.ffmpegPath = app_.settings().ffmpegPath;
    request.settings.align = AlignBox->isChecked();
    request.settings.findLast = FindLastBox->isChecked();
    request.settings.force = ForceBox->isChecked();
    request.settings.jobs = JobsBox->value();
    const Language language = app_.language();
    request.settings.describe = [language](BatchFailure failure, const std::vector<std::string>& details) {
        return BatchFailureText(failure, details, language);
    };
    for (int i = 0; i < FolderList->count(); ++i) request.folders.push_back(FolderList->item(i)->text().toStdString());
    std::error_code ec;
    std::filesystem::create_directories(request.settings.root, ec);
    if (ec) {
        app_.reportFailure(Status::Error(request.settings.root, ec.message()));
        return;
    }
    stop_ = CancelToken();
    request.stop = stop_;
    total_ = static_cast<int>(request.folders.size());
    finished_ = 0;
    current_.clear();
    results_.clear();
    startedAt_ = Now();
    ResultList->clear();
    SummaryLabel->clear();
    ProgressLabel->clear();
    ProductsBar->setRange(0, total_);
    ProductsBar->setValue(0);
    if (!worker_->tryWake(std::move(request))) return;
    running_ = true;
    ShowRunning();
}

void BatchDialog::StopClick() {
    if (!running_) return;
    stop_.cancel();
    ProgressLabel->setText(Q(Text(static_cast<int>(Msg::BatchStopping))));
}

void BatchDialog::OpenFolderClick() {
    app_.dialogs().openUrl(QUrl::fromLocalFile(OutputEdit->text().trimmed()));
}

void BatchDialog::reject() {
    if (!running_) {
        QDialog::reject();
        return;
    }
    if (!app_.dialogs().question(this, Q(Text(static_cast<int>(Msg::BatchStopQuestion))))) return;
    closeWhenEnded_ = true;
    StopClick();
}

void BatchDialog::ShowRunning() {
    for (QWidget* control :
         std::initializer_list<QWidget*>{FolderList, AddFolderButton, AddInsideButton, RemoveButton, OutputEdit,
                                         BrowseButton, AlignBox, FindLastBox, ForceBox, JobsBox})
        control->setEnabled(!running_);
    StartButton->setEnabled(!running_ && FolderList->count() > 0);
    StopButton->setEnabled(running_);
    OpenFolderButton->setEnabled(!running_ && !results_.empty());
}

void BatchDialog::Progress(int, ProductStage stage, int done, int total) {
    if (!running_ || stop_.cancelled()) return;
    const Msg stages[] = {Msg::BatchStageFindingTurn, Msg::BatchStageAligning, Msg::BatchStageExporting};
    std::string line =
        Tr(Msg::BatchProgress, app_.language(),
           {std::to_string(finished_), std::to_string(total_), current_,
            Text(static_cast<int>(stages[static_cast<int>(stage)])), std::to_string(done), std::to_string(total)});
    // The export is most of a product's time; the other stages count as its first tenth.
    const double part =
        total > 0 ? (stage == ProductStage::Exporting ? 0.1 + 0.9 * done / total : 0.1 * done / total) : 0;
    const double progress = finished_ + part;
    if (progress > 0.05 && total_ > 0) {
        const double left = (Now() - startedAt_) * (total_ - progress) / progress;
        line += ", " + Tr(Msg::BatchTimeLeft, app_.language(), {MinutesSeconds(left)});
    }
    ProgressLabel->setText(Q(line));
}

void BatchDialog::ProductEnded(const ProductResult& result) {
    ++finished_;
    ProductsBar->setValue(finished_);
    auto* row = new QTreeWidgetItem(ResultList);
    row->setText(0, Q(result.name));
    row->setText(1, Q(ProductStateText(result.state, app_.language())));
    row->setText(2, QString::number(result.framesWritten));
    row->setText(3, Q(result.message));
    row->setToolTip(0, Q(result.folder));
    row->setToolTip(3, Q(result.message));
    ResultList->scrollToItem(row);
}

void BatchDialog::Ended(std::vector<ProductResult> results) {
    running_ = false;
    results_ = std::move(results);
    int counts[4] = {};
    for (const ProductResult& r : results_) ++counts[static_cast<int>(r.state)];
    std::string summary = Tr(
        Msg::BatchSummary, app_.language(),
        {std::to_string(counts[0]), std::to_string(counts[1]), std::to_string(counts[2]), std::to_string(counts[3])});
    const std::string report =
        (std::filesystem::path(OutputEdit->text().trimmed().toStdString()) / "turnlet-batch-report").string();
    if (Status status = WriteReport(report, results_); status.ok())
        summary += "\n" + Tr(Msg::BatchReportWritten, app_.language(), {report + ".csv, " + report + ".json"});
    else
        summary += "\n" + Tr(Msg::BatchReportFailed, app_.language(), {status.message()});
    ProgressLabel->clear();
    SummaryLabel->setText(Q(summary));
    ShowRunning();
    emit batchEnded();
    if (closeWhenEnded_) {
        closeWhenEnded_ = false;
        QDialog::reject();
    }
}

}  // namespace turnlet
