// SPDX-License-Identifier: MIT
// The interface language: the two "Language" entries and the translation table applied to every
// window.
#include "language.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QAction>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLibraryInfo>
#include <QLocale>
#include <QMenu>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTranslator>

#include <string_view>
#include <vector>

#include "dialogs.h"
#include "dialogs/about_box.h"
#include "dialogs/export_dialog.h"
#include "dialogs/parameters_dialog.h"
#include "dialogs/video_import_dialog.h"
#include "main_window.h"
#include "pages/frames_table_model.h"
#include "pages/tune_page.h"

namespace turnlet {
namespace {

QObject* FindIn(QObject* parent, const QString& name) {
    const QObjectList& children = parent->children();
    for (QObject* child : children)
        if (child->objectName() == name) return child;
    for (QObject* child : children) {
        if (qobject_cast<QDialog*>(child)) continue;  // another window
        if (QObject* found = FindIn(child, name)) return found;
    }
    return nullptr;
}

// The tab widget that shows page, if it is a page of one.
QTabWidget* TabsOf(QWidget* page) {
    auto* stack = qobject_cast<QStackedWidget*>(page->parentWidget());
    auto* tabs = stack ? qobject_cast<QTabWidget*>(stack->parentWidget()) : nullptr;
    return tabs && tabs->indexOf(page) >= 0 ? tabs : nullptr;
}

void SetControlText(QObject* control, const QString& text) {
    if (auto* action = qobject_cast<QAction*>(control)) {
        action->setText(text);
    } else if (auto* menu = qobject_cast<QMenu*>(control)) {
        menu->setTitle(text);
    } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        button->setText(text);
    } else if (auto* label = qobject_cast<QLabel*>(control)) {
        label->setText(text);
    } else if (auto* group = qobject_cast<QGroupBox*>(control)) {
        group->setTitle(text);
    } else if (auto* widget = qobject_cast<QWidget*>(control)) {
        if (QTabWidget* tabs = TabsOf(widget)) tabs->setTabText(tabs->indexOf(widget), text);
    }
}

}  // namespace

QWidget* LanguageWindow(TForm2& form, const LanguageRow& row) {
    const std::string_view window = row.window;
    if (window == "TForm2") return &form;
    if (window == "TForm3") return form.Form3;
    if (window == "TForm8") return form.Form8;
    if (window == "TForm9") return form.Form9;
    if (window == "TAboutBox") return form.AboutBox;
    return nullptr;
}

QObject* LanguageControl(TForm2& form, const LanguageRow& row) {
    QWidget* window = LanguageWindow(form, row);
    if (!window || row.control[0] == '\0') return window;
    return FindIn(window, QString::fromLatin1(row.control));
}

QString LanguageControlText(TForm2& form, const LanguageRow& row) {
    QObject* control = LanguageControl(form, row);
    if (!control) return {};
    if (row.headerColumn >= 0) return form.TabSheet3->FramesModel->header(row.headerColumn);
    if (row.control[0] == '\0') return static_cast<QWidget*>(control)->windowTitle();
    if (auto* action = qobject_cast<QAction*>(control)) return action->text();
    if (auto* menu = qobject_cast<QMenu*>(control)) return menu->title();
    if (auto* button = qobject_cast<QAbstractButton*>(control)) return button->text();
    if (auto* label = qobject_cast<QLabel*>(control)) return label->text();
    if (auto* group = qobject_cast<QGroupBox*>(control)) return group->title();
    if (auto* widget = qobject_cast<QWidget*>(control))
        if (QTabWidget* tabs = TabsOf(widget)) return tabs->tabText(tabs->indexOf(widget));
    return {};
}

namespace {

// Qt's own dialogs (file and colour choosers) speak the interface's language when Qt's
// translations are installed; without them they stay English and everything else still works.
void ApplyQtTranslation(Language language) {
    static QTranslator* translator = nullptr;
    if (translator) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
        translator = nullptr;
    }
    if (language != Language::Russian) return;
    auto* loaded = new QTranslator;
    if (!loaded->load(QLocale(QLocale::Russian), QStringLiteral("qtbase"), QStringLiteral("_"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete loaded;
        return;
    }
    QCoreApplication::installTranslator(loaded);
    translator = loaded;
}

void ApplyLanguage(TForm2& form, std::string_view code) {
    form.dialogs().setLanguage(LanguageOf(code));
    ApplyQtTranslation(LanguageOf(code));
    std::vector<LanguageRow> rows(LanguageTable().begin(), LanguageTable().end());
    rows.insert(rows.end(), AddedLanguageRows().begin(), AddedLanguageRows().end());
    for (const LanguageRow& row : rows) {
        const char* text = LanguageText(row, code);
        QObject* control = LanguageControl(form, row);
        if (!text || !control) continue;
        const QString shown = QString::fromUtf8(text);
        if (row.headerColumn >= 0) {
            form.TabSheet3->FramesModel->setHeader(row.headerColumn, shown);
        } else if (row.control[0] == '\0') {
            static_cast<QWidget*>(control)->setWindowTitle(shown);
        } else {
            SetControlText(control, shown);
        }
    }
    if (code == "en" || code == "ru") form.TabSheet3->SetConfidenceHeader(LanguageOf(code));
}

}  // namespace

void TForm2::English1Click() {
    const bool changed = settings_.languageCode != "en";
    settings_.languageCode = "en";
    ApplyLanguage(*this, settings_.languageCode);
    English1->setChecked(true);
    if (Form8) Form8->ShowRepeatNote();
    Showstatus1Click();
    ShowHistory();
    if (changed) settingsChanged();
}

void TForm2::N6Click() {
    const bool changed = settings_.languageCode != "ru";
    settings_.languageCode = "ru";
    ApplyLanguage(*this, settings_.languageCode);
    N6->setChecked(true);
    if (Form8) Form8->ShowRepeatNote();
    Showstatus1Click();
    ShowHistory();
    if (changed) settingsChanged();
}

}  // namespace turnlet
