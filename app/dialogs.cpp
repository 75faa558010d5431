// SPDX-License-Identifier: MIT
// The real dialogs and the scripted ones.
#include "dialogs.h"

#include <QColorDialog>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

#include "project/project.h"

namespace turnlet {
namespace {

template <class T>
T Take(std::deque<T>& answers, T fallback) {
    if (answers.empty()) return fallback;
    T answer = std::move(answers.front());
    answers.pop_front();
    return answer;
}

}  // namespace

QStringList QtDialogs::openFiles(QWidget* parent, const QString& title, const QString& filter) {
    return QFileDialog::getOpenFileNames(parent, title, QString(), filter);
}

QString QtDialogs::openFile(QWidget* parent, const QString& title, const QString& filter, const QString& start) {
    return QFileDialog::getOpenFileName(parent, title, start, filter);
}

QString QtDialogs::saveFile(QWidget* parent, const QString& title, const QString& filter, const QString& start) {
    // The caller adds the extension and asks before replacing the file it will really write.
    return QFileDialog::getSaveFileName(parent, title, start, filter, nullptr, QFileDialog::DontConfirmOverwrite);
}

QString QtDialogs::chooseFolder(QWidget* parent, const QString& title, const QString& start) {
    // Any name is taken, so a folder that does not exist yet can be named; the caller makes it.
    QFileDialog chooser(parent, title, start);
    chooser.setFileMode(QFileDialog::AnyFile);
    chooser.setOption(QFileDialog::ShowDirsOnly, true);
    chooser.setOption(QFileDialog::DontUseNativeDialog, true);
    chooser.setOption(QFileDialog::DontConfirmOverwrite, true);
    chooser.setAcceptMode(QFileDialog::AcceptOpen);
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) return {};
    return chooser.selectedFiles().constFirst();
}

std::optional<QColor> QtDialogs::chooseColor(QWidget* parent, const QColor& initial) {
    const QColor color = QColorDialog::getColor(initial, parent);
    if (!color.isValid()) return std::nullopt;
    return color;
}

void QtDialogs::message(QWidget* parent, const QString& text) {
    QMessageBox::information(parent, QString::fromUtf8(kProgramTitle), text);
}

bool QtDialogs::messageWithAction(QWidget* parent, const QString& text, const QString& action) {
    QMessageBox box(QMessageBox::Information, QString::fromUtf8(kProgramTitle), text, QMessageBox::Ok, parent);
    QPushButton* further = box.addButton(action, QMessageBox::ActionRole);
    box.exec();
    return box.clickedButton() == further;
}

bool QtDialogs::question(QWidget* parent, const QString& text) {
    return QMessageBox::question(parent, QString::fromUtf8(kProgramTitle), text) == QMessageBox::Yes;
}

SaveChoice QtDialogs::askToSave(QWidget* parent, const QString& text) {
    const auto answer =
        QMessageBox::warning(parent, QString::fromUtf8(kProgramTitle), text,
                             QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    if (answer == QMessageBox::Save) return SaveChoice::Save;
    if (answer == QMessageBox::Discard) return SaveChoice::Discard;
    return SaveChoice::Cancel;
}

bool QtDialogs::openUrl(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}

QStringList ScriptedDialogs::openFiles(QWidget*, const QString&, const QString& filter) {
    filters << filter;
    return Take(openFilesAnswers, QStringList());
}

QString ScriptedDialogs::openFile(QWidget*, const QString&, const QString& filter, const QString&) {
    filters << filter;
    return Take(fileAnswers, QString());
}

QString ScriptedDialogs::saveFile(QWidget*, const QString&, const QString& filter, const QString&) {
    filters << filter;
    return Take(fileAnswers, QString());
}

QString ScriptedDialogs::chooseFolder(QWidget*, const QString&, const QString&) {
    return Take(folderAnswers, QString());
}

std::optional<QColor> ScriptedDialogs::chooseColor(QWidget*, const QColor& initial) {
    colorsOffered << initial;
    return Take(colorAnswers, std::optional<QColor>());
}

void ScriptedDialogs::message(QWidget*, const QString& text) {
    messages << text;
}

bool ScriptedDialogs::messageWithAction(QWidget*, const QString& text, const QString&) {
    messages << text;
    return Take(actionAnswers, false);
}

bool ScriptedDialogs::question(QWidget*, const QString& text) {
    questions << text;
    return Take(questionAnswers, false);
}

SaveChoice ScriptedDialogs::askToSave(QWidget*, const QString& text) {
    questions << text;
    return Take(saveAnswers, SaveChoice::Discard);
}

bool ScriptedDialogs::openUrl(const QUrl& url) {
    openedUrls << url;
    return openUrlResult;
}

}  // namespace turnlet
