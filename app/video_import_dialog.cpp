// SPDX-License-Identifier: MIT
// The "Import from video" dialog: FFmpeg splits a video into numbered pictures.
#include "video_import_dialog.h"

#include "main_window.h"

namespace turnlet {

TForm3::TForm3(TForm2& mainWindow) : QDialog(&mainWindow), mainWindow_(mainWindow) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Import from video"));
}

}  // namespace turnlet
