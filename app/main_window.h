// SPDX-License-Identifier: MIT
// The main window.
#pragma once

#include <QMainWindow>

namespace turnlet {

class TForm2 : public QMainWindow {
    Q_OBJECT

  public:
    explicit TForm2(QWidget* parent = nullptr);
};

}  // namespace turnlet
