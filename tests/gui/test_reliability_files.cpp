// SPDX-License-Identifier: MIT
// The editor's files under attack: saves, settings and exports onto a full disk or into a read-only
// folder are reported and never pass for success, an earlier project or settings file keeps its
// bytes; and sources, projects and export folders whose names hold blanks, commas, "&", quotes,
// "#", "%" and Cyrillic letters work from adding to reopening, and on the command line.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>

#include "dialogs/export_dialog.h"
#include "gui_test_support.h"
#include "project/settings_file.h"
#include "scratch_mounts.h"
#include "tuning/keyframes.h"

using turnlet::testing::Editor;

namespace {

QByteArray Bytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void Set(QLineEdit* edit, const QString& text) {
    edit->setText(text);
    edit->textEdited(text);
}

// The real viewer template beside the test's program folder.
void CopyTemplate(Editor& e) {
    QFile::copy(QStringLiteral(TURNLET_VIEWER_TEMPLATE), e.path(QStringLiteral("Turnlet.html")));
}

// Blanks, a comma, "&", both quotes, "#", "%" and Cyrillic letters.
const QString kOdd = QStringLiteral(" ,&'\"#%Фото ё");

}  // namespace

class ReliabilityFilesTest : public QObject {
    Q_OBJECT

  private slots:
    void failedSavesAreReportedAndKeepTheEarlierFile() {
        if (!turnlet::testing::ScratchMountsUnavailable().empty())
            QSKIP(turnlet::testing::ScratchMountsUnavailable().c_str());
        Editor e;
        auto& f = e.form();
        e.add({e.picture(QStringLiteral("a.png"), 40, 30), e.picture(QStringLiteral("b.png"), 40, 30)});
        struct Case {
            const char* name;
            std::function<bool(const QString&)> mountBefore;  // prepares the folder before the first save
            std::function<bool(const QString&)> breakFolder;  // after it
        };
        const Case cases[] = {
            {"full disk", [](const QString& d) { return turnlet::testing::MountSmallDisk(d.toStdString(), 64); },
             [](const QString& d) {
                 turnlet::testing::FillDisk(d.toStdString());
                 return true;
             }},
            {"read-only folder", [](const QString& d) { return QDir().mkpath(d); },
             [](const QString& d) { return turnlet::testing::MakeReadOnly(d.toStdString()); }},
        };
        for (const Case& c : cases) {
            const QString folder = e.path(QString::fromLatin1(c.name));
            const QString file = folder + QStringLiteral("/p.trn.prj");
            QVERIFY(c.mountBefore(folder));
            const turnlet::testing::UnmountAtEnd unmount(folder.toStdString());
            e.dialogs.fileAnswers.push_back(file);
            f.Saveas1Click();
            QVERIFY2(QFile::exists(file), c.name);
            const QByteArray earlier = Bytes(file);
            const QString caption = f.windowTitle();
            f.TabSheet1->ComboBox1->setCurrentIndex(c.name[0] == 'f' ? 2 : 3);  // a change to save
            f.TabSheet1->ComboBox1Change();
            QVERIFY(f.session().modified());
            QVERIFY(c.breakFolder(folder));
            const qsizetype before = e.dialogs.messages.size();
            f.Save1Click();
            QCOMPARE(e.dialogs.messages.size(), before + 1);
            QVERIFY2(e.dialogs.messages.last().contains(file), qPrintable(e.dialogs.messages.last()));
            QCOMPARE(Bytes(file), earlier);
            QCOMPARE(f.windowTitle(), QStringLiteral("*") + caption);  // still unsaved
            QVERIFY(f.session().modified());
        }

        // The settings file, in a program folder that became read-only.
        const QString settings = QString::fromStdString(f.SettingsFile);
        f.SaveINI1Click();
        const QByteArray earlier = Bytes(settings);
        QVERIFY(!earlier.isEmpty());
        f.settings().languageCode = "ru";
        const QString program = QFileInfo(settings).absolutePath();
        QVERIFY(turnlet::testing::MakeReadOnly(program.toStdString()));
        const turnlet::testing::UnmountAtEnd unmount(program.toStdString());
        const qsizetype before = e.dialogs.messages.size();
        f.SaveINI1Click();
        QCOMPARE(e.dialogs.messages.size(), before + 1);
        QVERIFY2(e.dialogs.messages.last().contains(settings), qPrintable(e.dialogs.messages.last()));
        QCOMPARE(Bytes(settings), earlier);
    }

    void failedExportsAreReportedAndNeverFinish() {
        if (!turnlet::testing::ScratchMountsUnavailable().empty())
            QSKIP(turnlet::testing::ScratchMountsUnavailable().c_str());
        Editor e;
        CopyTemplate(e);
        auto& f = e.form();
        QStringList files;
        for (int i = 0; i < 3; ++i) files << e.picture(QStringLiteral("%1.png").arg(i), 200, 150);
        e.add(files);
        QVERIFY(e.waitForPreview(files.last()));
        turnlet::TForm8& d = e.windows().Form8();
        Set(d.Edit1, QStringLiteral("6"));
        Set(d.Edit4, QStringLiteral("200"));
        Set(d.Edit5, QStringLiteral("150"));
        f.Areaparams1Click();
        const QString full = e.path(QStringLiteral("full"));
        QVERIFY(turnlet::testing::MountSmallDisk(full.toStdString(), 64));
        const turnlet::testing::UnmountAtEnd unmountFull(full.toStdString());
        turnlet::testing::FillDisk(full.toStdString());
        const QString readOnly = e.path(QStringLiteral("read-only"));
        QDir().mkpath(readOnly);
        QVERIFY(turnlet::testing::MakeReadOnly(readOnly.toStdString()));
        const turnlet::testing::UnmountAtEnd unmountReadOnly(readOnly.toStdString());
        for (const QString& folder : {full, readOnly}) {
            Set(d.Edit2, folder);
            // The viewer page comes first: no frame is written.
            d.CheckBox2->setChecked(true);
            qsizetype before = e.dialogs.messages.size();
            d.Button2Click();
            QVERIFY(Editor::waitFor([&] { return !d.exporting(); }));
            QCOMPARE(e.dialogs.messages.size(), before + 1);
            QVERIFY2(e.dialogs.messages.last().contains(folder + QStringLiteral("/index.html")),
                     qPrintable(e.dialogs.messages.last()));
            // Without it the first frame fails, and the export ends there.
            d.CheckBox2->setChecked(false);
            before = e.dialogs.messages.size();
            d.Button2Click();
            QVERIFY(Editor::waitFor([&] { return !d.exporting(); }));
            QCOMPARE(e.dialogs.messages.size(), before + 1);
            QVERIFY2(e.dialogs.messages.last().contains(folder + QStringLiteral("/0001.jpg")),
                     qPrintable(e.dialogs.messages.last()));
            QVERIFY(!QFile::exists(folder + QStringLiteral("/0001.jpg")));
        }
        QVERIFY(!e.dialogs.messages.contains(QStringLiteral("Export finished!")));
    }

    void oddNamesWorkFromAddingToReopening() {
        Editor e;
        CopyTemplate(e);
        auto& f = e.form();
        const QString folder = e.path(QStringLiteral("photos") + kOdd);
        QVERIFY(QDir().mkpath(folder));
        QStringList files;
        for (int i = 0; i < 3; ++i) {
            const QString name = QStringLiteral("photos") + kOdd + QStringLiteral("/кадр%1").arg(i) + kOdd +
                                 (i == 1 ? QStringLiteral(".JPG") : QStringLiteral(".png"));
            files << e.picture(name, 60 + i, 40);
            QVERIFY(QFile::exists(files.last()));
        }
        e.add(files);
        QVERIFY(e.waitForPreview(files.last()));
        // A keyframe keyed by a path holding commas.
        f.session().SetFrameValues(1, {3, -2, 7.5, 0, 10, 0, 0});
        turnlet::TForm8& d = e.windows().Form8();
        const QString out = e.path(QStringLiteral("export") + kOdd);
        QVERIFY(QDir().mkpath(out));
        Set(d.Edit1, QStringLiteral("5"));
        Set(d.Edit2, out);
        Set(d.Edit4, QStringLiteral("60"));
        Set(d.Edit5, QStringLiteral("40"));
        const QString project = e.path(QStringLiteral("проект") + kOdd + QStringLiteral(".trn.prj"));
        e.dialogs.fileAnswers.push_back(project);
        f.Saveas1Click();
        QVERIFY(QFile::exists(project));
        QVERIFY(e.dialogs.messages.isEmpty());

        // Cleared, then opened again: everything as it was.
        const std::vector<std::string> sources = f.session().project().sources;
        const turnlet::Keyframes keyframes = f.session().project().keyframes;
        f.New1Click();
        QVERIFY(f.session().project().sources.empty());
        e.dialogs.fileAnswers.push_back(project);
        f.Open1Click();
        QVERIFY(e.dialogs.messages.isEmpty());
        QVERIFY(f.session().project().sources == sources);
        QVERIFY(f.session().project().keyframes == keyframes);
        QCOMPARE(f.session().frames()[1].values[turnlet::kAngle], 7.5);
        QCOMPARE(d.Edit2->text(), out);
        QVERIFY(e.waitForPreview(files[0]));

        // Exported into the odd folder, viewer page included.
        d.CheckBox2->setChecked(true);
        d.Button2Click();
        QVERIFY(Editor::waitFor([&] { return !d.exporting(); }));
        QCOMPARE(e.dialogs.messages, QStringList{QStringLiteral("Export finished!")});
        for (const char* name : {"0001.jpg", "0005.jpg", "index.html"}) QVERIFY2(QFile::exists(out + "/" + name), name);

        // Reopened from the recent list, which the settings file keeps.
        f.New1Click();
        f.Last11Click();
        QVERIFY(f.session().project().sources == sources);
        turnlet::Settings stored;
        QVERIFY(turnlet::ReadSettings(f.SettingsFile, stored).ok());
        QCOMPARE(QString::fromStdString(stored.recent.back()), project);

        // The command line exports the same project to the same bytes.
        const QString cliOut = e.path(QStringLiteral("command line") + kOdd);
        QProcess cli;
        cli.start(QStringLiteral(TURNLET_BIN_DIR "/turnlet-export"),
                  {project, QStringLiteral("--output"), cliOut, QStringLiteral("--quiet")});
        QVERIFY(cli.waitForFinished(60000));
        QCOMPARE(cli.exitCode(), 0);
        for (const char* name : {"0001.jpg", "0002.jpg", "0005.jpg"})
            QVERIFY2(Bytes(cliOut + "/" + name) == Bytes(out + "/" + name), name);
        QVERIFY(QFile::exists(cliOut + QStringLiteral("/index.html")));
    }
};

TURNLET_GUI_TEST_MAIN(ReliabilityFilesTest)
#include "test_reliability_files.moc"
