// SPDX-License-Identifier: MIT
// The About box.
#pragma once

#include <QDialog>

namespace turnlet {

class TForm2;

// Created once at start-up, after the main window, and kept until the end; its controls and
// handlers come with its own page of work.
class TAboutBox : public QDialog {
    Q_OBJECT

  public:
    explicit TAboutBox(TForm2& mainWindow);

  private:
    TForm2& mainWindow_;
};

}  // namespace turnlet
