// SPDX-License-Identifier: MIT
// The main window.
#include "main_window.h"

#include <QLabel>

namespace turnlet {

TForm2::TForm2(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle("Turnlet");
    resize(911, 635);
    auto* placeholder = new QLabel(this);
    placeholder->setAlignment(Qt::AlignCenter);
    setCentralWidget(placeholder);
}

}  // namespace turnlet
