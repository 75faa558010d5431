// SPDX-License-Identifier: MIT
// Start-up: the application object, the look, the five windows.
#include "application.h"

#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QIcon>
#include <QScreen>
#include <QStandardPaths>
#include <QStyleFactory>

#include <unistd.h>

#include <exception>

#include "base/program_files.h"
#include "dialogs.h"
#include "dialogs/about_box.h"
#include "dialogs/export_dialog.h"
#include "dialogs/parameters_dialog.h"
#include "dialogs/video_import_dialog.h"
#include "main_window.h"
#include "project/settings_file.h"

namespace turnlet {

TurnletApplication::TurnletApplication(int& argc, char** argv) : QApplication(argc, argv) {
    // Names the user's configuration folder (~/.config/turnlet) of an installed program.
    setApplicationName(QStringLiteral("turnlet"));
}

bool TurnletApplication::notify(QObject* receiver, QEvent* event) {
    QString failure;
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::bad_alloc&) {
        failure = QStringLiteral("Not enough memory for this command.");
    } catch (const std::exception& e) {
        failure = QString::fromUtf8(e.what());
    } catch (...) {
        failure = QStringLiteral("Unexpected failure.");
    }
    if (dialogs_) dialogs_->message(nullptr, failure);
    return false;
}

namespace {

QtMessageHandler previousHandler = nullptr;

void FilterNotices(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtWarningMsg && message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set"))) return;
    if (previousHandler) previousHandler(type, context, message);
}

}  // namespace

void QuietBenignQtNotices() {
    previousHandler = qInstallMessageHandler(FilterNotices);
}

void SetUpLook(QApplication& app) {
    // One style on every desktop, so the designed geometry holds everywhere.
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) app.setStyle(fusion);
    QFont font(QStringLiteral("DejaVu Sans Condensed"));
    font.setPointSize(8);
    app.setFont(font);
}

std::string ProgramDirectory() {
    return QCoreApplication::applicationDirPath().toStdString();
}

ProgramPlaces FindProgramPlaces(const std::string& executableDir) {
    const bool installed = RunsInstalled(executableDir);
    ProgramPlaces places;
    places.resourceDir = ResourceDirectory(executableDir);
    if (!installed && ::access(executableDir.c_str(), W_OK) == 0) {
        places.settingsFile = SettingsFilePath(executableDir);
        return places;
    }
    const QString config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    QDir().mkpath(config);
    places.settingsFile = SettingsFilePath(config.toStdString());
    QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (pictures.isEmpty()) pictures = QDir::homePath();
    places.exportBaseDir = (pictures + QStringLiteral("/Turnlet")).toStdString();
    return places;
}

std::string ProjectFromArguments(const QStringList& arguments) {
    for (qsizetype i = 1; i < arguments.size(); ++i)
        if (!arguments[i].startsWith(QLatin1Char('-'))) return arguments[i].toStdString();
    return {};
}

TurnletWindows::TurnletWindows(Dialogs& dialogs, std::string programDir) {
    const ProgramPlaces places = FindProgramPlaces(programDir);
    form2_ = std::make_unique<TForm2>(dialogs, places.resourceDir, places.exportBaseDir);
    // The dialogs are children of the main window: centred on it, and ended with it.
    TForm2& main = *form2_;
    auto* form3 = new TForm3(main, &main);
    auto* aboutBox = new TAboutBox(main, &main);
    auto* form8 = new TForm8(main, &main);
    auto* form9 = new TForm9(main, &main);
    form2_->attachForms(form3, aboutBox, form8, form9);
    form2_->SettingsFile = places.settingsFile;
    const QString icon = QString::fromStdString(places.resourceDir) + QStringLiteral("/turnlet.png");
    if (QFileInfo::exists(icon)) QApplication::setWindowIcon(QIcon(icon));
}

TurnletWindows::~TurnletWindows() = default;

TForm3& TurnletWindows::Form3() {
    return *form2_->Form3;
}
TAboutBox& TurnletWindows::AboutBox() {
    return *form2_->AboutBox;
}
TForm8& TurnletWindows::Form8() {
    return *form2_->Form8;
}
TForm9& TurnletWindows::Form9() {
    return *form2_->Form9;
}

void CentreOnScreen(QWidget& window) {
    const QScreen* screen = window.screen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    window.move(area.center() - QPoint(window.width() / 2, window.height() / 2));
}

}  // namespace turnlet
