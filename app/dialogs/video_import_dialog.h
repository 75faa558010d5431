// SPDX-License-Identifier: MIT
// The "Import from video" dialog: FFmpeg splits a video into numbered pictures.
#pragma once

#include <QDateTime>
#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QProcess;
class QProgressDialog;
class QPushButton;

namespace turnlet {

class AppContext;

// Created once at start-up, after the main window, and kept until the end. FFmpeg runs as a
// program with an argument list (never through a shell) while the dialog stays responsive; a
// busy indicator offers Cancel, and the end of every run is told to the user.
class TForm3 : public QDialog {
    Q_OBJECT

  public:
    TForm3(AppContext& app, QWidget* parent);
    ~TForm3() override;

    QLabel *Label1 = nullptr, *Label2 = nullptr, *Label3 = nullptr, *Label4 = nullptr;
    QLineEdit *Edit1 = nullptr, *Edit2 = nullptr, *Edit3 = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QPushButton *Button1 = nullptr, *Button2 = nullptr, *Button3 = nullptr, *Button4 = nullptr, *Button5 = nullptr,
                *Button6 = nullptr;

    void FormShow();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void Button5Click();
    void Button6Click();

    // While FFmpeg runs.
    bool extracting() const { return process_ != nullptr; }
    // The busy indicator of the run in progress (null otherwise); its Cancel ends FFmpeg.
    QProgressDialog* busyIndicator() const { return busy_; }

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void Finished(bool started, bool crashed, int exitCode, const QString& startError);
    int CountPictures(bool sinceStart) const;

    AppContext& app_;
    QProcess* process_ = nullptr;
    QProgressDialog* busy_ = nullptr;
    bool cancelled_ = false;
    QString folder_;
    int typeIndex_ = 0;
    QDateTime started_;
    QByteArray errors_;  // FFmpeg's error output, its tail
};

}  // namespace turnlet
