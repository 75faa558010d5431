// SPDX-License-Identifier: MIT
// The "Import from video" dialog: FFmpeg splits a video into numbered pictures.
#pragma once

#include <QDialog>

namespace turnlet {

class TForm2;

// Created once at start-up, after the main window, and kept until the end; its controls and
// handlers come with its own page of work.
class TForm3 : public QDialog {
    Q_OBJECT

  public:
    explicit TForm3(TForm2& mainWindow);

  private:
    TForm2& mainWindow_;
};

}  // namespace turnlet
