// SPDX-License-Identifier: MIT
// The settings file and the recent projects' menu entries.
#include <QAction>

#include "dialogs.h"
#include "main_window.h"

namespace turnlet {

void TForm2::ReadINI1Click() {
    const Status status = ReadSettings(SettingsFile, settings_);
    // A file that cannot be read is never written over: its contents may still be good.
    settingsRead_ = status.ok();
    if (!status.ok()) dialogs_.message(this, QString::fromStdString(status.message()));
    Showlast1Click();
}

void TForm2::SaveINI1Click() {
    if (!settingsRead_ || SettingsFile.empty()) return;
    if (Status status = WriteSettings(SettingsFile, settings_); !status.ok())
        dialogs_.message(this, QString::fromStdString(status.message()));
}

void TForm2::Showlast1Click() {
    const std::array<QAction*, kRecentMenuEntries> entries = ReopenEntries();
    for (const RecentMenuEntry& entry : ShowLast(settings_.recent)) {
        QAction* action = entries[static_cast<std::size_t>(entry.index)];
        QString path = QString::fromStdString(entry.caption);
        action->setData(path);
        // "&" marks an accelerator in a menu caption; "&&" shows one "&" and the path stays whole.
        action->setText(path.replace(QLatin1Char('&'), QLatin1String("&&")));
        action->setVisible(true);
    }
}

void TForm2::Addlast1Click() {
    AddLast(settings_, session_.fileName());
    settingsChanged();
}

void TForm2::Clearlast1Click() {
    ClearLast(settings_);
    settingsChanged();
}

}  // namespace turnlet
