// SPDX-License-Identifier: MIT
// What the pages and dialogs may use of the program: the session and a few services, not the main window.
#pragma once

#include <QSize>

#include <string>

#include "base/status.h"
#include "project/settings_file.h"
#include "session/editor_session.h"
#include "shell/catalogue.h"

namespace turnlet {

class Dialogs;

class AppContext {
  public:
    virtual ~AppContext() = default;

    virtual EditorSession& session() = 0;
    virtual Dialogs& dialogs() = 0;
    // The FFmpeg path, the interface language and the recent projects.
    virtual Settings& settings() = 0;
    // Writes the settings at once after a change, so a crash loses nothing.
    virtual void settingsChanged() = 0;
    // The viewer template, the user guide, the About pictures.
    virtual const std::string& resourceDir() const = 0;
    Language language() { return LanguageOf(settings().languageCode); }

    virtual void setStatusPanel(int panel, const std::string& text) = 0;
    // A failure told to the user with the file's name.
    virtual void reportFailure(const Status& status) = 0;
    // The turned source the preview shows: the area when the project has no crop.
    virtual QSize previewPictureSize() const = 0;
    // The crop as every view and the export cut it.
    CropArea area() {
        const QSize size = previewPictureSize();
        return ResolveCrop(session().project().crop, size.width(), size.height());
    }
    // The page in view: 0 "Import images", 1 "First and last frames", 2 "Tune positions".
    virtual int currentPage() const = 0;
};

}  // namespace turnlet
