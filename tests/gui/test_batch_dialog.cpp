// SPDX-License-Identifier: MIT
// File -> Batch export: the open project as the template, folders picked, run on a worker, stopped, reported.
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>

#include <filesystem>

#include "dialogs/batch_dialog.h"
#include "gui_test_support.h"
#include "tools/sample_scene.h"

using turnlet::testing::Editor;
namespace fs = std::filesystem;

namespace {

// count photos of a turn in folder.
void Product(const QString& folder, int count, int width = 160, int height = 120) {
    fs::create_directories(folder.toStdString());
    for (int f = 0; f < count; ++f) {
        const turnlet::Picture p =
            turnlet::RenderSampleFrame(width, height, turnlet::SampleTurnRadians(360, f, count), f, 1, 1);
        turnlet::SavePicture(p, (folder + QStringLiteral("/f%1.jpg").arg(f + 1)).toStdString(), 90);
    }
}

// The editor's project without a viewer page (the program folder of a test has no template) and
// with a frame per photo.
void SetUp(Editor& e) {
    turnlet::ExportSettings settings = e.form().session().project().exportSettings;
    settings.html5Viewer = false;
    settings.frames = 6;
    settings.width = 80;
    settings.height = 60;
    e.form().session().SetExportSettings(settings);
}

}  // namespace

class BatchDialogTest : public QObject {
    Q_OBJECT

  private slots:
    void menuEntryInBothLanguages() {
        Editor e;
        QVERIFY(e.form().Batchexport1);
        QCOMPARE(e.form().Batchexport1->text(), QStringLiteral("&Batch export…"));
        e.form().N6Click();
        QCOMPARE(e.form().Batchexport1->text(), QStringLiteral("Пак&етный экспорт…"));
        turnlet::BatchDialog d(e.form(), &e.form());
        QCOMPARE(d.windowTitle(), QStringLiteral("Пакетный экспорт"));
        QCOMPARE(d.StartButton->text(), QStringLiteral("Начать"));
    }

    void runsTheFoldersAndReports() {
        Editor e;
        SetUp(e);
        const QString shoot = e.path(QStringLiteral("shoot"));
        Product(shoot + "/cup", 6);
        Product(shoot + "/vase", 6);
        fs::create_directories((shoot + "/empty").toStdString());
        turnlet::BatchDialog d(e.form(), &e.form());
        QVERIFY(!d.StartButton->isEnabled());
        e.dialogs.folderAnswers.push_back(shoot);
        d.AddInsideClick();
        QCOMPARE(d.FolderList->count(), 3);
        QVERIFY(d.StartButton->isEnabled());
        const QString out = e.path(QStringLiteral("out"));
        d.OutputEdit->setText(out);
        d.StartClick();
        QVERIFY(d.running());
        QVERIFY(!d.FolderList->isEnabled());
        QVERIFY(Editor::waitFor([&] { return !d.running(); }));
        QCOMPARE(d.ResultList->topLevelItemCount(), 3);
        QCOMPARE(d.results().size(), std::size_t(3));
        QCOMPARE(d.results()[0].name, std::string("cup"));
        QCOMPARE(d.results()[1].state, turnlet::ProductState::Failed);  // "empty", in name order
        QCOMPARE(d.results()[2].state, turnlet::ProductState::Done);
        QVERIFY(d.SummaryLabel->text().startsWith(QStringLiteral("2 done, 0 done earlier, 1 failed, 0 stopped.")));
        QVERIFY(fs::exists((out + "/vase/0006.jpg").toStdString()));
        QVERIFY(fs::exists((out + "/turnlet-batch-report.json").toStdString()));
        QVERIFY(d.OpenFolderButton->isEnabled());

        // Again in Russian: the products done are skipped, the failure is worded in Russian.
        e.form().N6Click();
        turnlet::BatchDialog again(e.form(), &e.form());
        e.dialogs.folderAnswers.push_back(shoot);
        again.AddInsideClick();
        again.OutputEdit->setText(out);
        again.StartClick();
        QVERIFY(Editor::waitFor([&] { return !again.running(); }));
        QCOMPARE(again.ResultList->topLevelItem(0)->text(1), QStringLiteral("Готово ранее"));
        QVERIFY(again.ResultList->topLevelItem(1)->text(3).contains(QStringLiteral("нет снимков")));
    }

    void stopLeavesNoPartialProduct() {
        Editor e;
        SetUp(e);
        const QString shoot = e.path(QStringLiteral("shoot"));
        for (const char* name : {"a", "b", "c"}) Product(shoot + "/" + name, 24, 1200, 900);
        turnlet::BatchDialog d(e.form(), &e.form());
        e.dialogs.folderAnswers.push_back(shoot);
        d.AddInsideClick();
        const QString out = e.path(QStringLiteral("out"));
        d.OutputEdit->setText(out);
        d.show();
        d.StartClick();
        QVERIFY(d.isVisible());
        // Closing while it runs asks, then stops and closes once the batch has ended.
        e.dialogs.questionAnswers.push_back(true);
        d.reject();
        QCOMPARE(e.dialogs.questions.size(), 1);
        QVERIFY(Editor::waitFor([&] { return !d.running(); }));
        QVERIFY(!d.isVisible());
        int stopped = 0;
        for (const turnlet::ProductResult& r : d.results()) {
            const bool there = fs::exists((out.toStdString() + "/" + r.name));
            QCOMPARE(there, r.state == turnlet::ProductState::Done);
            stopped += r.state == turnlet::ProductState::Stopped;
        }
        QVERIFY(stopped >= 1);
        QVERIFY(!fs::exists((out + "/.turnlet-batch").toStdString()));
    }
};

TURNLET_GUI_TEST_MAIN(BatchDialogTest)
#include "test_batch_dialog.moc"
