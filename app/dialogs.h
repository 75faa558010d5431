// SPDX-License-Identifier: MIT
// The one seam through which the editor asks the user or hands something to the desktop.
#pragma once

#include <QColor>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <deque>
#include <optional>

class QWidget;

namespace turnlet {

// The answer to "save the changes first?".
enum class SaveChoice { Save, Discard, Cancel };

// File choosers, colour and folder dialogs, message boxes and the desktop's "open". The windows use
// nothing else for these, so tests answer them without a person.
class Dialogs {
  public:
    virtual ~Dialogs() = default;
    // Filters in Qt's form: "Name (*.a *.b);;Other (*.c)". Empty results mean the user cancelled.
    virtual QStringList openFiles(QWidget* parent, const QString& title, const QString& filter) = 0;
    virtual QString openFile(QWidget* parent, const QString& title, const QString& filter, const QString& start) = 0;
    virtual QString saveFile(QWidget* parent, const QString& title, const QString& filter, const QString& start) = 0;
    virtual QString chooseFolder(QWidget* parent, const QString& title, const QString& start) = 0;
    virtual std::optional<QColor> chooseColor(QWidget* parent, const QColor& initial) = 0;
    // A modal message with an OK button.
    virtual void message(QWidget* parent, const QString& text) = 0;
    // A modal message with OK and a button for a further step (such as "Open folder"); true when
    // the user chose that step.
    virtual bool messageWithAction(QWidget* parent, const QString& text, const QString& action) = 0;
    // A modal Yes/No question; true for Yes.
    virtual bool question(QWidget* parent, const QString& text) = 0;
    // A modal Save / Discard / Cancel question before something is thrown away.
    virtual SaveChoice askToSave(QWidget* parent, const QString& text) = 0;
    // Opens a web address or a local file with the desktop's default application.
    virtual bool openUrl(const QUrl& url) = 0;
};

// The real dialogs.
class QtDialogs final : public Dialogs {
  public:
    QStringList openFiles(QWidget* parent, const QString& title, const QString& filter) override;
    QString openFile(QWidget* parent, const QString& title, const QString& filter, const QString& start) override;
    QString saveFile(QWidget* parent, const QString& title, const QString& filter, const QString& start) override;
    QString chooseFolder(QWidget* parent, const QString& title, const QString& start) override;
    std::optional<QColor> chooseColor(QWidget* parent, const QColor& initial) override;
    void message(QWidget* parent, const QString& text) override;
    bool messageWithAction(QWidget* parent, const QString& text, const QString& action) override;
    bool question(QWidget* parent, const QString& text) override;
    SaveChoice askToSave(QWidget* parent, const QString& text) override;
    bool openUrl(const QUrl& url) override;
};

// Answers given in advance and taken in order; everything asked is recorded. A dialog without a
// scripted answer is cancelled, a question without one is answered No (Discard for askToSave).
class ScriptedDialogs final : public Dialogs {
  public:
    std::deque<QStringList> openFilesAnswers;
    std::deque<QString> fileAnswers;  // openFile and saveFile
    std::deque<QString> folderAnswers;
    std::deque<std::optional<QColor>> colorAnswers;
    std::deque<bool> questionAnswers;
    std::deque<bool> actionAnswers;  // messageWithAction; none: OK
    std::deque<SaveChoice> saveAnswers;
    bool openUrlResult = true;

    QStringList filters;  // of every file dialog, in order
    QList<QColor> colorsOffered;
    QStringList messages;
    QStringList questions;  // question and askToSave
    QList<QUrl> openedUrls;

    QStringList openFiles(QWidget* parent, const QString& title, const QString& filter) override;
    QString openFile(QWidget* parent, const QString& title, const QString& filter, const QString& start) override;
    QString saveFile(QWidget* parent, const QString& title, const QString& filter, const QString& start) override;
    QString chooseFolder(QWidget* parent, const QString& title, const QString& start) override;
    std::optional<QColor> chooseColor(QWidget* parent, const QColor& initial) override;
    void message(QWidget* parent, const QString& text) override;
    bool messageWithAction(QWidget* parent, const QString& text, const QString& action) override;
    bool question(QWidget* parent, const QString& text) override;
    SaveChoice askToSave(QWidget* parent, const QString& text) override;
    bool openUrl(const QUrl& url) override;
};

}  // namespace turnlet
