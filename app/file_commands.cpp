// SPDX-License-Identifier: MIT
// The "File" menu: New, Open, Save, Save as and the recent projects; the unsaved-changes question.
#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QTabWidget>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "controls.h"
#include "dialogs.h"
#include "main_window.h"

namespace turnlet {
namespace {

const char* const kProjectFilter = "Turnlet Project (*.trn.prj);;All files (*)";

}  // namespace

bool TForm2::AskToKeepChanges() {
    if (!session_.modified()) return true;
    // The project being thrown away, by its file, or "Untitled" when it has none.
    const std::string name = session_.fileName().empty() ? Tr(Msg::Untitled, language()) : session_.fileName();
    switch (dialogs_.askToSave(this, QString::fromStdString(Tr(Msg::UnsavedChanges, language(), {name})))) {
        case SaveChoice::Save:
            return SaveProjectCommand(session_.fileName());
        case SaveChoice::Discard:
            return true;
        case SaveChoice::Cancel:
            break;
    }
    return false;
}

void TForm2::New1Click() {
    if (!AskToKeepChanges()) return;
    session_.NewProject();
}

void TForm2::Open1Click() {
    // A request from a "Reopen" entry is used once, whatever happens.
    std::string path = std::move(OpenFileName);
    OpenFileName.clear();
    if (!AskToKeepChanges()) return;
    if (path.empty()) {
        path = dialogs_
                   .openFile(this, QStringLiteral("Open"), QString::fromLatin1(kProjectFilter),
                             QString::fromStdString(session_.fileName()))
                   .toStdString();
        if (path.empty()) return;
    }
    // A file that cannot be read leaves the open project exactly as it was.
    if (Status status = session_.Open(path); !status.ok()) {
        dialogs_.message(this, QString::fromStdString(status.message()));
        return;
    }
    // Page 0 without the page-change handler.
    PageControl1->blockSignals(true);
    PageControl1->setCurrentIndex(0);
    PageControl1->blockSignals(false);
    Addlast1Click();
    Showlast1Click();
    LocateMovedSources();
}

void TForm2::LocateMovedSources() {
    // One folder at a time: photos taken from several folders may have moved from each.
    for (int folders = 0; folders < 16; ++folders) {
        const auto& sources = session_.project().sources;
        std::error_code error;
        const auto missing = std::find_if(sources.begin(), sources.end(), [&](const std::string& path) {
            return !std::filesystem::exists(path, error);
        });
        if (missing == sources.end()) return;
        const std::size_t count =
            static_cast<std::size_t>(std::count_if(sources.begin(), sources.end(), [&](const std::string& path) {
                return !std::filesystem::exists(path, error);
            }));
        const std::string first = *missing;
        const std::string oldFolder = std::filesystem::path(first).parent_path().string();
        if (!dialogs_.question(
                this, QString::fromStdString(Tr(Msg::MissingSources, language(), {std::to_string(count), first}))))
            return;
        const QString folder = dialogs_.chooseFolder(this, QString::fromUtf8(Tr(Msg::LocateSourcesTitle, language())),
                                                     QString::fromStdString(oldFolder));
        if (folder.isEmpty() || folder.toStdString() == oldFolder) return;
        session_.LocateSources(oldFolder, QDir::cleanPath(folder).toStdString());
    }
}

bool TForm2::SaveProjectCommand(std::string name) {
    if (name.empty()) {
        name = dialogs_.saveFile(this, QStringLiteral("Save as"), QString::fromLatin1(kProjectFilter), QString())
                   .toStdString();
        if (name.empty() || !NameToSaveUnder(name)) return false;
    }
    if (Status status = session_.Save(name); !status.ok()) {
        dialogs_.message(this, QString::fromStdString(status.message()));
        return false;
    }
    Addlast1Click();
    Showlast1Click();
    return true;
}

void TForm2::Save1Click() {
    SaveProjectCommand(session_.fileName());
}

bool TForm2::NameToSaveUnder(const std::string& typed) {
    // A pattern typed into the chooser is no name: it would become a file called "*.jpg.trn.prj".
    const std::string base = std::filesystem::path(typed).filename().string();
    if (base.find_first_of("*?[]") != std::string::npos) {
        dialogs_.message(this, QString::fromStdString(Tr(Msg::BadFileName, language(), {base})));
        return false;
    }
    // The file really written has the extension added: that is the one to ask about.
    const std::string name = ProjectFileNameForSave(typed);
    std::error_code error;
    if (name == session_.fileName() || !std::filesystem::exists(name, error)) return true;
    return dialogs_.question(this, QString::fromStdString(Tr(Msg::ReplaceFile, language(), {name})));
}

void TForm2::Saveas1Click() {
    const QString name = dialogs_.saveFile(this, QStringLiteral("Save as"), QString::fromLatin1(kProjectFilter),
                                           QString::fromStdString(session_.fileName()));
    if (name.isEmpty() || !NameToSaveUnder(name.toStdString())) return;
    SaveProjectCommand(name.toStdString());
}

void TForm2::ReopenEntry(int entry) {
    const std::array<QAction*, kRecentMenuEntries> entries = ReopenEntries();
    // The entry keeps the path itself; its caption is only for showing.
    OpenFileName = entries[static_cast<std::size_t>(entry)]->data().toString().toStdString();
    if (OpenFileName.empty()) return;
    Open1Click();
}

void TForm2::OpenStartProject() {
    if (StartProjectFile.empty()) return;
    OpenFileName = QFileInfo(QString::fromStdString(StartProjectFile)).absoluteFilePath().toStdString();
    StartProjectFile.clear();
    Open1Click();
}

void TForm2::Last11Click() {
    ReopenEntry(0);
}
void TForm2::Last21Click() {
    ReopenEntry(1);
}
void TForm2::Last31Click() {
    ReopenEntry(2);
}
void TForm2::Last41Click() {
    ReopenEntry(3);
}
void TForm2::Last51Click() {
    ReopenEntry(4);
}
void TForm2::Last61Click() {
    ReopenEntry(5);
}
void TForm2::Last71Click() {
    ReopenEntry(6);
}
void TForm2::Last81Click() {
    ReopenEntry(7);
}
void TForm2::Last91Click() {
    ReopenEntry(8);
}
void TForm2::Last101Click() {
    ReopenEntry(9);
}

}  // namespace turnlet
