// SPDX-License-Identifier: MIT
// The "Import from video" dialog: FFmpeg splits a video into numbered pictures.
#include "dialogs/video_import_dialog.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QStandardPaths>
#include <QUrl>

#include "dialogs.h"
#include "app_context.h"
#include "named_widget.h"
#include "source/video_import.h"

namespace turnlet {
namespace {

// Both the Linux and the Windows name of the program are offered.
const char* const kFfmpegFilter = "FFMPEG (ffmpeg ffmpeg.exe);;All files (*)";
const char* const kVideoFilter = "Video files (*.avi *.mpg *.mpeg *.mp4 *.mov);;All files (*)";
const char* const kDownloadPage = "https://ffmpeg.org/download.html";

}  // namespace

TForm3::TForm3(AppContext& app, QWidget* parent) : QDialog(parent), app_(app) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Import from video"));
    setFixedSize(620, 214);
    auto label = [this](const char* name, const char* caption, QRect geometry) {
        return Named(new QLabel(QString::fromUtf8(caption), this), name, geometry);
    };
    auto button = [this](const char* name, const char* caption, QRect geometry) {
        auto* b = Named(new QPushButton(QString::fromUtf8(caption), this), name, geometry);
        b->setAutoDefault(false);
        return b;
    };
    Label2 = label("Label2", "FFMPEG", {8, 12, 145, 17});
    Edit1 = Named(new QLineEdit(this), "Edit1", {156, 9, 346, 23});
    // Typed or chosen with "Select": a program on another path, or just "ffmpeg" found on the PATH.
    connect(Edit1, &QLineEdit::editingFinished, this, [this] {
        const std::string path = Edit1->text().trimmed().toStdString();
        if (path == app_.settings().ffmpegPath) return;
        app_.settings().ffmpegPath = path;
        app_.settingsChanged();
    });
    Button1 = button("Button1", "Select", {508, 8, 104, 25});
    Button2 = button("Button2", "Not installed?", {156, 36, 150, 25});
    Label1 = label("Label1", "Source video", {8, 76, 145, 17});
    Edit2 = Named(new QLineEdit(this), "Edit2", {156, 73, 346, 23});
    Button3 = button("Button3", "Select", {508, 72, 104, 25});
    Label3 = label("Label3", "Pictures directory", {8, 108, 145, 17});
    Edit3 = Named(new QLineEdit(this), "Edit3", {156, 105, 346, 23});
    Button4 = button("Button4", "Select", {508, 104, 104, 25});
    Label4 = label("Label4", "Images format", {8, 140, 145, 17});
    ComboBox1 = Named(new QComboBox(this), "ComboBox1", {156, 137, 100, 23});
    ComboBox1->addItems({QStringLiteral("JPEG"), QStringLiteral("PNG"), QStringLiteral("BMP")});
    Button5 = button("Button5", "Extract video to pictures directory", {8, 178, 300, 27});
    Button6 = button("Button6", "Close", {508, 178, 104, 27});
    connect(Button1, &QPushButton::clicked, this, &TForm3::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm3::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TForm3::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &TForm3::Button4Click);
    connect(Button5, &QPushButton::clicked, this, &TForm3::Button5Click);
    connect(Button6, &QPushButton::clicked, this, &TForm3::Button6Click);
}

TForm3::~TForm3() {
    if (process_) {
        process_->disconnect(this);
        process_->kill();
        process_->waitForFinished(5000);
    }
}

void TForm3::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TForm3::FormShow() {
    Edit1->setText(Text(app_.settings().ffmpegPath));
}

void TForm3::Button1Click() {
    QString start = Text(app_.settings().ffmpegPath);
    if (start.isEmpty()) start = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    const QString path =
        app_.dialogs().openFile(this, QStringLiteral("FFMPEG"), QString::fromLatin1(kFfmpegFilter), start);
    if (path.isEmpty()) return;
    app_.settings().ffmpegPath = path.toStdString();
    Edit1->setText(path);
    app_.settingsChanged();
}

void TForm3::Button2Click() {
    app_.dialogs().openUrl(QUrl(QString::fromLatin1(kDownloadPage)));
}

void TForm3::Button3Click() {
    const QString path =
        app_.dialogs().openFile(this, Label1->text(), QString::fromLatin1(kVideoFilter), Edit2->text());
    if (!path.isEmpty()) Edit2->setText(path);
}

void TForm3::Button4Click() {
    const QString folder = app_.dialogs().chooseFolder(this, Label3->text(), Edit3->text());
    if (!folder.isEmpty()) Edit3->setText(folder);
}

void TForm3::Button6Click() {
    close();
}

int TForm3::CountPictures(bool sinceStart) const {
    int count = 0;
    const QFileInfoList entries = QDir(folder_).entryInfoList(QDir::Files);
    for (const QFileInfo& entry : entries) {
        if (!IsExtractedPictureName(entry.fileName().toStdString(), typeIndex_)) continue;
        if (sinceStart && entry.lastModified() < started_) continue;
        ++count;
    }
    return count;
}

void TForm3::Button5Click() {
    if (process_) return;
    Dialogs& dialogs = app_.dialogs();
    const QString ffmpeg = Text(app_.settings().ffmpegPath);
    const QString video = Edit2->text();
    folder_ = Edit3->text();
    typeIndex_ = ComboBox1->currentIndex();
    if (ffmpeg.isEmpty()) {
        dialogs.message(this, QStringLiteral("Choose the FFmpeg program first (\"Select\" beside FFMPEG)."));
        return;
    }
    if (video.isEmpty() || !QFileInfo::exists(video) || QFileInfo(video).isDir()) {
        dialogs.message(this, video.isEmpty() ? QStringLiteral("Choose the source video first.")
                                              : video + QStringLiteral(": the video file does not exist."));
        return;
    }
    if (folder_.isEmpty() || !QFileInfo(folder_).isDir()) {
        dialogs.message(this, folder_.isEmpty() ? QStringLiteral("Choose the pictures directory first.")
                                                : folder_ + QStringLiteral(": the folder does not exist."));
        return;
    }
    const bool replace = CountPictures(false) > 0;
    if (replace && !dialogs.question(this, folder_ + QStringLiteral(" already holds numbered pictures of this "
                                                                    "format. Replace them?")))
        return;

    QStringList arguments;
    for (const std::string& argument : FfmpegArguments(video.toStdString(), folder_.toStdString(), typeIndex_, replace))
        arguments << Text(argument);
    // Second precision: a file system may keep no finer times.
    started_ = QDateTime::currentDateTime().addSecs(-1);
    cancelled_ = false;
    process_ = new QProcess(this);
    process_->setProgram(ffmpeg);
    process_->setArguments(arguments);
    // FFmpeg must never wait for an answer on its input.
    process_->setStandardInputFile(QProcess::nullDevice());
    process_->setStandardOutputFile(QProcess::nullDevice());
    errors_.clear();
    connect(process_, &QProcess::readyReadStandardError, this, [this] {
        // Only the last lines are ever shown.
        errors_ += process_->readAllStandardError();
        if (errors_.size() > 64 * 1024) errors_.remove(0, errors_.size() - 16 * 1024);
    });
    connect(process_, &QProcess::finished, this, [this](int exitCode, QProcess::ExitStatus status) {
        Finished(true, status == QProcess::CrashExit, exitCode, QString());
    });
    connect(process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) Finished(false, false, 0, process_->errorString());
    });

    busy_ = new QProgressDialog(QStringLiteral("FFmpeg is extracting the pictures of\n%1").arg(video),
                                QStringLiteral("Cancel"), 0, 0, this);
    busy_->setWindowTitle(windowTitle());
    busy_->setWindowModality(Qt::WindowModal);
    busy_->setMinimumDuration(0);
    busy_->setAutoClose(false);
    busy_->setAutoReset(false);
    connect(busy_, &QProgressDialog::canceled, this, [this] {
        if (!process_) return;
        cancelled_ = true;
        process_->kill();
    });
    Button5->setEnabled(false);
    busy_->show();
    process_->start();
}

void TForm3::Finished(bool started, bool crashed, int exitCode, const QString& startError) {
    if (!process_) return;
    VideoImportOutcome outcome;
    errors_ += process_->readAllStandardError();
    outcome.messages = QString::fromLocal8Bit(errors_).toStdString();
    outcome.exitCode = exitCode;
    outcome.startError = startError.toStdString();
    outcome.pictures = started ? CountPictures(true) : 0;
    using Kind = VideoImportOutcome::Kind;
    if (!started)
        outcome.kind = Kind::NotStarted;
    else if (crashed)
        outcome.kind = Kind::Crashed;
    else if (exitCode != 0)
        outcome.kind = Kind::Failed;
    else if (outcome.pictures == 0)
        outcome.kind = Kind::NothingWritten;
    else
        outcome.kind = Kind::Done;

    process_->deleteLater();
    process_ = nullptr;
    busy_->deleteLater();
    busy_->hide();
    busy_ = nullptr;
    Button5->setEnabled(true);
    if (cancelled_) return;  // the user ended it and knows
    app_.dialogs().message(this, Text(DescribeVideoImport(outcome, app_.settings().ffmpegPath, folder_.toStdString())));
}

}  // namespace turnlet
