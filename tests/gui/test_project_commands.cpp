// SPDX-License-Identifier: MIT
// The File menu through the windows: save names, Save -> Open, the recent list and its settings
// file, Reopen of a missing file, the command-line project and the unsaved-changes question.
#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QSpinBox>

#include <functional>

#include "controls.h"
#include "dialogs/export_dialog.h"
#include "gui_test_support.h"
#include "picture_view.h"
#include "pages/source_page.h"
#include "dialogs/video_import_dialog.h"

using turnlet::SaveChoice;
using turnlet::testing::Editor;

namespace {

QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void Write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
}

// The deferred start as it runs a second after start: the settings are read, the language applied.
void Start(Editor& e) {
    e.form().Timer1Timer();
}

}  // namespace

class ProjectCommandsTest : public QObject {
    Q_OBJECT

  private slots:
    void saveNames() {
        Editor e;
        Start(e);
        const struct {
            const char* typed;
            const char* written;
        } cases[] = {{"shot", "shot.trn.prj"}, {"A.TRN.PRJ", "A.TRN.PRJ"}, {"a.b", "a.b.trn.prj"}};
        for (const auto& c : cases) {
            e.dialogs.fileAnswers.push_back(e.path(QString::fromLatin1(c.typed)));
            e.form().Saveas1Click();
            QVERIFY2(QFile::exists(e.path(QString::fromLatin1(c.written))), c.written);
            QCOMPARE(e.form().windowTitle(), QStringLiteral("Turnlet - ") + e.path(QString::fromLatin1(c.written)));
        }
        QCOMPARE(e.dialogs.filters.value(0), QStringLiteral("Turnlet Project (*.trn.prj);;All files (*)"));
        // Save writes to the last name without asking.
        e.form().Save1Click();
        QCOMPARE(e.dialogs.filters.size(), 3);
    }

    void saveThenOpenRestoresTheProject() {
        Editor e;
        Start(e);
        auto& f = e.form();
        auto& d = e.windows().Form8();
        QStringList files;
        for (int i = 0; i < 5; ++i) files << e.picture(QStringLiteral("%1.png").arg(i), 40, 30);
        e.add(files);
        QVERIFY(e.waitForPreview(files[4]));
        f.TabSheet2->SpinEdit1->setValue(1);
        f.TabSheet2->SpinEdit2->setValue(3);
        f.session().SetCrop(turnlet::CropArea{2, 3, 20, 10});
        d.Edit1->setText(QStringLiteral("37"));
        d.Edit1Exit();
        d.ComboBox1->setCurrentIndex(1);
        const std::string saved = turnlet::WriteProjectText(f.session().project());
        e.dialogs.fileAnswers.push_back(e.path("turn"));
        f.Save1Click();
        QVERIFY(!f.session().modified());
        f.New1Click();
        QVERIFY(e.dialogs.questions.isEmpty());  // nothing unsaved
        QCOMPARE(f.TabSheet1->ListBox1->count(), 0);
        QCOMPARE(d.Edit1->text(), QStringLiteral("100"));
        QCOMPARE(d.ComboBox1->currentIndex(), 0);
        QCOMPARE(f.windowTitle(), QStringLiteral("Turnlet"));

        e.dialogs.fileAnswers.push_back(e.path("turn.trn.prj"));
        f.Open1Click();
        QCOMPARE(turnlet::WriteProjectText(f.session().project()), saved);
        QCOMPARE(f.TabSheet1->ListBox1->count(), 5);
        QCOMPARE(f.TabSheet1->ListBox1->currentRow(), 0);
        QCOMPARE(f.TabSheet2->SpinEdit1->value(), 1);
        QCOMPARE(f.TabSheet2->SpinEdit2->value(), 3);
        QCOMPARE(f.TabSheet1->Edit3->text(), QStringLiteral("20"));
        QCOMPARE(d.Edit1->text(), QStringLiteral("37"));
        QCOMPARE(d.ComboBox1->currentIndex(), 1);
        QCOMPARE(f.windowTitle(), QStringLiteral("Turnlet - ") + e.path("turn.trn.prj"));
        QVERIFY(e.waitForPreview(files[0]));
        QVERIFY(!f.session().modified());
    }

    // Photos moved since the project was saved: the previous project's picture goes, the missing
    // files are marked, and the folder they moved to is asked for and written into the paths.
    void movedPhotosAreMarkedAndLocated() {
        Editor e;
        Start(e);
        auto& f = e.form();
        QDir().mkpath(e.path("shoot"));
        const QStringList files{e.picture("shoot/a.png", 20, 10), e.picture("shoot/b.png", 30, 10)};
        e.add(files);
        f.session().SetFrameValues(1, {4, 0, 0, 0, 0, 0, 0});
        e.dialogs.fileAnswers.push_back(e.path("moved"));
        f.Save1Click();
        const QString other = e.picture("other.png", 40, 10);
        f.New1Click();
        e.add({other});
        QVERIFY(e.waitForPreview(other));
        QVERIFY(QDir().rename(e.path("shoot"), e.path("archive")));
        e.dialogs.saveAnswers.push_back(SaveChoice::Discard);
        e.dialogs.questionAnswers.push_back(false);
        e.dialogs.fileAnswers.push_back(e.path("moved.trn.prj"));
        f.Open1Click();
        QVERIFY(!f.TabSheet1->Image1->hasPicture());  // not the previous project's photo
        QCOMPARE(e.dialogs.questions.size(), 2);
        QVERIFY(e.dialogs.questions[1].startsWith(QStringLiteral("2 of the project's photos are not where")));
        QCOMPARE(f.TabSheet1->ListBox1->item(0)->foreground().color(), QColor(0xb0, 0, 0));
        QVERIFY(e.dialogs.messages.isEmpty());

        e.dialogs.questionAnswers.push_back(true);
        e.dialogs.folderAnswers.push_back(e.path("archive"));
        e.dialogs.fileAnswers.push_back(e.path("moved.trn.prj"));
        f.Open1Click();
        QCOMPARE(f.session().project().sources[1], e.path("archive/b.png").toStdString());
        QCOMPARE(f.session().project().keyframes[0].path, e.path("archive/b.png").toStdString());
        QVERIFY(f.session().modified());
        QVERIFY(e.waitForPreview(e.path("archive/a.png")));
        QVERIFY(e.dialogs.messages.isEmpty());
    }

    void recentListMenuAndSettingsFile() {
        Editor e;
        Write(e.path("Turnlet.ini"), "FFMPEG=/opt/ff/ffmpeg\r\nLANG=en\r\nLAST=/gone/old.trn.prj\r\n");
        Start(e);
        auto& f = e.form();
        QVERIFY(f.Last11->isVisible());
        QCOMPARE(f.Last11->text(), QStringLiteral("/gone/old.trn.prj"));
        // Eleven saves of different projects, one of them twice: ten entries, newest first.
        for (int i = 0; i < 11; ++i) {
            e.dialogs.fileAnswers.push_back(e.path(QStringLiteral("p%1").arg(i)));
            f.Saveas1Click();
        }
        f.Save1Click();
        const auto entries = f.ReopenEntries();
        for (int k = 0; k < 10; ++k) {
            QVERIFY(entries[k]->isVisible());
            QCOMPARE(entries[k]->data().toString(), e.path(QStringLiteral("p%1.trn.prj").arg(10 - k)));
        }
        // Written at once, not only at exit: a crash now loses nothing.
        const QByteArray ini = Read(e.path("Turnlet.ini"));
        QVERIFY(ini.startsWith("FFMPEG=/opt/ff/ffmpeg\r\nLANG=en\r\n"));
        QCOMPARE(ini.count("LAST="), 10);
        QVERIFY(ini.endsWith(("LAST=" + e.path("p10.trn.prj") + "\r\n").toUtf8()));

        // A path with "&" shows it as it is and reopens.
        e.dialogs.fileAnswers.push_back(e.path("salt & pepper"));
        f.Saveas1Click();
        QCOMPARE(f.Last11->text(), e.path("salt && pepper.trn.prj"));
        f.New1Click();
        f.Last11Click();
        QCOMPARE(f.session().fileName(), e.path("salt & pepper.trn.prj").toStdString());
        QCOMPARE(f.windowTitle(), QStringLiteral("Turnlet - ") + e.path("salt & pepper.trn.prj"));

        // Reopen of a file that is gone: the message names it, the project stays, so does the entry.
        QStringList files{e.picture("a.png", 8, 8)};
        e.add(files);
        QFile::remove(e.path("p10.trn.prj"));
        e.dialogs.saveAnswers.push_back(SaveChoice::Discard);
        f.Last21Click();
        QVERIFY(e.dialogs.messages.last().contains(e.path("p10.trn.prj")));
        QCOMPARE(f.TabSheet1->ListBox1->count(), 1);
        QCOMPARE(f.session().project().sources.size(), 1u);
        QCOMPARE(f.Last21->data().toString(), e.path("p10.trn.prj"));
        QVERIFY(f.OpenFileName.empty());  // the next Open asks again
    }

    void settingsWaitForTheirReadingAndFollowEveryChange() {
        Editor e(Editor::Start::Deferred);
        const QString ini = e.path("Turnlet.ini");
        Write(ini, "FFMPEG=/a/ffmpeg\r\nLANG=ru\r\nLAST=/x.trn.prj\r\n");
        // Before the deferred start nothing may replace the file with defaults.
        e.form().SaveINI1Click();
        QCOMPARE(Read(ini), QByteArray("FFMPEG=/a/ffmpeg\r\nLANG=ru\r\nLAST=/x.trn.prj\r\n"));
        Start(e);
        QVERIFY(e.form().N6->isChecked());
        // Choosing FFmpeg and the language write the file at once.
        auto& form3 = e.windows().Form3();
        e.dialogs.fileAnswers.push_back(QStringLiteral("/usr/bin/ffmpeg"));
        form3.Button1Click();
        QCOMPARE(form3.Edit1->text(), QStringLiteral("/usr/bin/ffmpeg"));
        QVERIFY(Read(ini).startsWith("FFMPEG=/usr/bin/ffmpeg\r\nLANG=ru\r\n"));
        e.form().English1Click();
        QVERIFY(Read(ini).contains("LANG=en\r\n"));
        // A cancelled chooser changes nothing.
        form3.Button1Click();
        QCOMPARE(e.form().settings().ffmpegPath, "/usr/bin/ffmpeg");
    }

    void aProjectNamedOnTheCommandLineOpensAfterTheStart() {
        Editor e(Editor::Start::Deferred);
        QStringList files{e.picture("a.png", 8, 8), e.picture("b.png", 8, 8)};
        e.add(files);
        e.dialogs.fileAnswers.push_back(e.path("cli"));
        e.form().Save1Click();
        e.form().New1Click();
        e.form().StartProjectFile = e.path("cli.trn.prj").toStdString();
        Start(e);
        QCOMPARE(e.form().TabSheet1->ListBox1->count(), 2);
        QCOMPARE(e.form().Last11->data().toString(), e.path("cli.trn.prj"));
        QCOMPARE(turnlet::ProjectFromArguments({"turnlet", "-style", "x.trn.prj"}), "x.trn.prj");
    }

    // Every command that throws the project away asks first when it has unsaved changes.
    void unsavedChangesAreNeverLostWithoutAQuestion() {
        struct Command {
            const char* name;
            std::function<void(Editor&)> run;
            std::function<bool(Editor&)> wentOn;  // the command did what it does
        };
        const auto cleared = [](Editor& e) { return e.form().session().project().sources.empty(); };
        const auto opened = [](Editor& e) {
            return e.form().windowTitle() == QStringLiteral("Turnlet - ") + e.path("other.trn.prj");
        };
        const Command commands[] = {
            {"New", [](Editor& e) { e.form().New1Click(); }, cleared},
            {"Clear list", [](Editor& e) { e.form().TabSheet1->Button10Click(); }, cleared},
            {"Open",
             [](Editor& e) {
                 e.dialogs.fileAnswers.push_back(e.path("other.trn.prj"));
                 e.form().Open1Click();
             },
             opened},
            {"Reopen", [](Editor& e) { e.form().Last11Click(); }, opened},
            {"Exit", [](Editor& e) { e.form().Exit1Click(); }, [](Editor& e) { return !e.form().isVisible(); }},
        };
        for (const Command& command : commands) {
            for (SaveChoice choice : {SaveChoice::Cancel, SaveChoice::Discard, SaveChoice::Save}) {
                Editor e;
                Start(e);
                auto& f = e.form();
                e.dialogs.fileAnswers.push_back(e.path("other"));
                f.Save1Click();  // an empty project to open, and the recent entry for Reopen
                f.New1Click();
                e.add({e.picture("a.png", 8, 8)});
                QVERIFY(f.session().modified());
                e.dialogs.saveAnswers.push_back(choice);
                if (choice == SaveChoice::Save) e.dialogs.fileAnswers.push_back(e.path("mine"));
                command.run(e);
                QVERIFY2(e.dialogs.questions.size() == 1, command.name);
                // The project thrown away is named: this one has no file yet, not the one saved before.
                QVERIFY2(e.dialogs.questions[0] ==
                             QStringLiteral("The project Untitled has changes that are not saved. Save them first?"),
                         command.name);
                QVERIFY2(command.wentOn(e) == (choice != SaveChoice::Cancel), command.name);
                if (choice == SaveChoice::Cancel) QCOMPARE(f.session().project().sources.size(), 1u);
                QCOMPARE(QFile::exists(e.path("mine.trn.prj")), choice == SaveChoice::Save);
                if (choice == SaveChoice::Save) QVERIFY(Read(e.path("mine.trn.prj")).contains("a.png"));
            }
        }
        // Without changes nothing is asked; a change undone by hand is no change.
        Editor e;
        auto& d = e.windows().Form8();
        d.Edit1->setText(QStringLiteral("50"));
        d.Edit1Exit();
        QVERIFY(e.form().session().modified());
        d.Edit1->setText(QStringLiteral("100"));
        d.Edit1Exit();
        e.form().New1Click();
        QVERIFY(e.dialogs.questions.isEmpty());
    }
};

TURNLET_GUI_TEST_MAIN(ProjectCommandsTest)
#include "test_project_commands.moc"
