// SPDX-License-Identifier: MIT
// The export dialog: number, type, size and folder of the output frames; progress and preview.
#pragma once

#include <QDialog>

namespace turnlet {

class PictureView;
class TForm2;

// Created once at start-up, after the main window, and kept until the end; its controls and
// handlers come with its own page of work.
class TForm8 : public QDialog {
    Q_OBJECT

  public:
    explicit TForm8(TForm2& mainWindow);

    // Preview of the frame written last.
    PictureView* Image1 = nullptr;

  private:
    TForm2& mainWindow_;
};

}  // namespace turnlet
