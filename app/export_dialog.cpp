// SPDX-License-Identifier: MIT
// The export dialog: number, type, size and folder of the output frames; progress and preview.
#include "export_dialog.h"

#include "main_window.h"
#include "picture_view.h"

namespace turnlet {

TForm8::TForm8(TForm2& mainWindow) : QDialog(&mainWindow), mainWindow_(mainWindow) {
    setObjectName(QStringLiteral("Form8"));
    setWindowTitle(QStringLiteral("Export "));
    resize(771, 262);
    Image1 = new PictureView(this, PictureView::Anchor::Centre);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(530, 8, 233, 237);
}

}  // namespace turnlet
