// SPDX-License-Identifier: MIT
// "Auto-align" and "Find end of turn": the worker runs while the window stays live, Cancel changes
// nothing, results arrive as keyframes and as the last frame through SpinEdit2.
#include <QAction>
#include <QProgressDialog>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>

#include "../align/align_test_support.h"
#include "controls.h"
#include "align_runner.h"
#include "gui_test_support.h"
#include "tuning/frames_table.h"

using turnlet::testing::Editor;
using turnlet::testing::Shake;

namespace {

bool WaitForAlign(turnlet::TForm2& f) {
    return Editor::waitFor([&] { return !f.Align->AlignWorker->busy() && !f.Align->AlignProgressDialog; }, 60000);
}

// Photographs of a shaken camera, frame i being "i.png" (frame `unrelated` something else
// entirely); the preview shown.
QStringList AddShots(Editor& e, const std::vector<Shake>& shakes, int unrelated = -1) {
    QStringList files;
    for (std::size_t i = 0; i < shakes.size(); ++i) {
        const QString file = e.path(QStringLiteral("%1.png").arg(i));
        turnlet::Picture picture = turnlet::testing::ShakenPhoto(240, 180, shakes[i]);
        if (static_cast<int>(i) == unrelated)
            for (int y = 0; y < picture.height(); ++y)
                for (int x = 0; x < picture.width(); ++x)
                    for (int c = 0; c < 3; ++c)
                        picture.pixel(x, y)[c] =
                            static_cast<std::uint8_t>(40 + 170 * turnlet::testing::Lattice(x / 23, y / 17, 100 + c));
        turnlet::SavePicture(picture, file.toStdString(), 90);
        files << file;
    }
    e.add(files);
    if (!e.waitForPreview(files.last())) qWarning("no preview");
    return files;
}

}  // namespace

class AlignCommandsTest : public QObject {
    Q_OBJECT

  private slots:
    void autoAlignWritesKeyframesAndCancelLeavesTheTables() {
        Editor e;
        std::vector<Shake> shakes;
        for (int i = 0; i < 12; ++i) shakes.push_back({(i % 5) * 2.0 - 4, (i % 3) * 1.5 - 1.5, 0, 1});
        AddShots(e, shakes);
        auto& f = e.form();
        f.PageControl1->setCurrentIndex(2);
        const turnlet::FrameRows before = f.session().frames();

        f.TabSheet3->Button12->click();
        QVERIFY(f.Align->AlignProgressDialog != nullptr);
        QVERIFY(f.Align->AlignProgressDialog->isVisible());
        // The progress window's own Cancel button, as the user presses it.
        QPushButton* cancel = f.Align->AlignProgressDialog->findChild<QPushButton*>();
        QVERIFY(cancel != nullptr);
        cancel->click();
        QVERIFY(WaitForAlign(f));
        QVERIFY(f.session().frames() == before);
        QCOMPARE(f.session().project().keyframes.size(), 0u);
        QVERIFY(!f.Undo1->text().contains(QStringLiteral("auto-align")));

        // The menu entry runs the same command; this time to the end.
        f.Autoalign1->trigger();
        QVERIFY(f.Align->AlignProgressDialog != nullptr);
        QVERIFY(WaitForAlign(f));
        QCOMPARE(f.session().project().keyframes.size(), 12u);
        const turnlet::FrameRows& frames = f.session().frames();
        for (int k = 0; k < 12; ++k) {
            QVERIFY(frames[k].key);
            QVERIFY(std::abs(frames[k].values[turnlet::kDX] + (shakes[k].dx - shakes[0].dx)) < 0.5);
            QVERIFY(std::abs(frames[k].values[turnlet::kDY] + (shakes[k].dy - shakes[0].dy)) < 0.5);
        }
        QVERIFY(e.dialogs.messages.isEmpty());
        // The whole run is one step of the history.
        QVERIFY(f.Undo1->text().contains(QStringLiteral("auto-align")));
        f.Undo1->trigger();
        QCOMPARE(f.session().project().keyframes.size(), 0u);
        f.Redo1->trigger();
        QCOMPARE(f.session().project().keyframes.size(), 12u);

        // Run again: what the last run wrote is no keyframe set by hand, so nobody is asked.
        f.TabSheet3->Button12->click();
        QVERIFY(WaitForAlign(f));
        QCOMPARE(e.dialogs.questions.size(), 0);
        QCOMPARE(f.session().project().keyframes.size(), 12u);

        // A keyframe changed by hand since: the question comes, No keeps it and the rest are aligned.
        f.session().SetFrameValues(3, {7, 7, 0, 0, 0, 0, 0});
        e.dialogs.questionAnswers.push_back(false);
        f.TabSheet3->Button12->click();
        QVERIFY(WaitForAlign(f));
        QCOMPARE(e.dialogs.questions.size(), 1);
        QCOMPARE(f.session().frames()[3].values[turnlet::kDX], 7.0);
        QCOMPARE(f.session().project().keyframes.size(), 12u);
        QVERIFY(std::abs(f.session().frames()[5].values[turnlet::kDX] + (shakes[5].dx - shakes[0].dx)) < 0.5);
    }

    void aFrameThatCannotBeAlignedKeepsItsValuesAndIsShownAndListed() {
        Editor e;
        std::vector<Shake> shakes;
        for (int i = 0; i < 6; ++i) shakes.push_back({i * 1.5, -i * 1.0, 0, 1});
        AddShots(e, shakes, 3);
        auto& f = e.form();
        f.PageControl1->setCurrentIndex(2);
        // Frame 3's DX before the run, between keyframes on its neighbours.
        f.session().SetFrameValues(2, {2.5, 0, 0, 0, 0, 0, 0});
        f.session().SetFrameValues(4, {2.5, 0, 0, 0, 0, 0, 0});
        f.TabSheet3->Button12->click();
        QVERIFY(WaitForAlign(f));
        QVERIFY(Editor::waitFor([&] { return !e.dialogs.messages.isEmpty(); }));
        QVERIFY2(e.dialogs.messages.last().endsWith(QStringLiteral(": 3")), qPrintable(e.dialogs.messages.last()));
        QCOMPARE(f.TabSheet3->CurrentFrame, 3);
        QCOMPARE(f.TabSheet3->StringGrid1->selectionModel()->currentIndex().row(), 3);
        QCOMPARE(f.session().frames()[3].values[turnlet::kDX], 2.5);
        QVERIFY(f.session().frames()[3].key);
        QVERIFY(std::abs(f.session().frames()[5].values[turnlet::kDX] + 7.5) < 0.5);  // frame 5 aligned
    }

    void findEndSetsTheLastFrameThroughItsSpinEdit() {
        Editor e;
        // Frames 1 to 5 and 7, 8 show other parts of the photograph; frame 6 the first view again.
        std::vector<Shake> shakes;
        for (int i = 0; i < 9; ++i) {
            const bool repeat = i == 0 || i == 6;
            shakes.push_back({repeat ? i * 0.3 : 300.0 + 170 * i, repeat ? 0 : -120.0 * (i % 3), 0, 1});
        }
        AddShots(e, shakes);
        auto& f = e.form();
        f.PageControl1->setCurrentIndex(1);
        f.TabSheet2->BitBtn3->click();
        QVERIFY(WaitForAlign(f));
        QCOMPARE(f.TabSheet2->SpinEdit2->value(), 5);
        QCOMPARE(f.session().project().lastFrame, 5);
        QCOMPARE(f.session().frames().size(), 6u);  // the table follows the range
        QCOMPARE(f.TabSheet3->StringGrid1->model()->rowCount(), 6);
        // The user is told the frame and how sure the search is.
        QVERIFY(Editor::waitFor([&] { return e.dialogs.messages.size() == 1; }));
        QVERIFY2(e.dialogs.messages.last().startsWith(QStringLiteral("Last frame of the turn: 5 (confidence ")),
                 qPrintable(e.dialogs.messages.last()));

        // From frame 6 on nothing comes round again: nothing is set and the user is told.
        f.TabSheet2->SpinEdit2->setValue(8);
        f.TabSheet2->SpinEdit1->setValue(6);
        f.TabSheet2->BitBtn3->click();
        QVERIFY(WaitForAlign(f));
        QCOMPARE(f.TabSheet2->SpinEdit2->value(), 8);
        QVERIFY(Editor::waitFor([&] { return e.dialogs.messages.size() == 2; }));
        QCOMPARE(e.dialogs.messages.last(), QStringLiteral("No full turn found."));
    }

    void buttonsAndMenuEntrySpeakRussian() {
        Editor e;
        auto& f = e.form();
        f.N6Click();
        QCOMPARE(f.TabSheet3->Button12->text(), QStringLiteral("Автовыравнивание"));
        QCOMPARE(f.Autoalign1->text(), QStringLiteral("Автовыравнивание"));
        QCOMPARE(f.TabSheet2->BitBtn3->text(), QStringLiteral("Найти конец оборота"));
        f.English1Click();
        QCOMPARE(f.TabSheet2->BitBtn3->text(), QStringLiteral("Find end of turn"));
    }
};

TURNLET_GUI_TEST_MAIN(AlignCommandsTest)
#include "test_align_commands.moc"
