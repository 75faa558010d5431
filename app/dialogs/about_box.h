// SPDX-License-Identifier: MIT
// The About box.
#pragma once

#include <QDialog>

#include <array>

class QFrame;
class QLabel;
class QPushButton;
class QTimer;

namespace turnlet {

class AppContext;

// Created once at start-up, after the main window, and kept until the end. A figure turns its
// eyes toward the mouse pointer: its timer runs for the whole program.
class TAboutBox : public QDialog {
    Q_OBJECT

  public:
    TAboutBox(AppContext& app, QWidget* parent);

    QFrame* Panel1 = nullptr;
    QLabel *ProductName = nullptr, *Version = nullptr, *Copyright = nullptr, *Comments = nullptr;
    // The figure looking up-left, up, up-right, left, ahead, right, down-left, down, down-right.
    std::array<QLabel*, 9> Images{};
    QPushButton* OKButton = nullptr;
    QTimer* Timer1 = nullptr;

    void FormShow();
    void Timer1Timer();
    void CommentsClick();
    // Timer1Timer for a given pointer position on the screen.
    void LookAt(QPoint pointer);
    // The picture shown now (0..8), or -1 before the first tick.
    int shownPicture() const;

  protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    AppContext& app_;
};

}  // namespace turnlet
