// SPDX-License-Identifier: MIT
// The parameters dialog: angle, scale and tone of the current frame.
#pragma once

#include <QDialog>

namespace turnlet {

class TForm2;

// Created once at start-up, after the main window, and kept until the end; its controls and
// handlers come with its own page of work.
class TForm9 : public QDialog {
    Q_OBJECT

  public:
    explicit TForm9(TForm2& mainWindow);

  private:
    TForm2& mainWindow_;
};

}  // namespace turnlet
