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
#include "gui_test_support.h"
#include "tuning/frames_table.h"

using turnlet::testing::Editor;
using turnlet::testing::Shake;

namespace {

bool WaitForAlign(turnlet::TForm2& f) {
    return Editor::waitFor([&] { return !f.AlignWorker->busy() && !f.AlignProgressDialog; }, 60000);
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
        const turnlet::TextGrid before = f.project.frames;

        f.Button12->click();
        QVERIFY(f.AlignProgressDialog != nullptr);
        QVERIFY(f.AlignProgressDialog->isVisible());
        // The progress window's own Cancel button, as the user presses it.
        QPushButton* cancel = f.AlignProgressDialog->findChild<QPushButton*>();
        QVERIFY(cancel != nullptr);
        cancel->click();
        QVERIFY(WaitForAlign(f));
        QCOMPARE(f.project.frames, before);
        QCOMPARE(f.project.keyframes.rowCount(), 1);

        // The menu entry runs the same command; this time to the end.
        f.Autoalign1->trigger();
        QVERIFY(f.AlignProgressDialog != nullptr);
        QVERIFY(WaitForAlign(f));
        QCOMPARE(f.project.keyframes.rowCount(), 13);
        for (int k = 0; k < 12; ++k) {
            QCOMPARE(QString::fromStdString(f.project.frames.at(k + 1, 1)), QStringLiteral("Y"));
            const double dx = std::stod(f.project.frames.at(k + 1, 2));
            const double dy = std::stod(f.project.frames.at(k + 1, 3));
            QVERIFY2(std::abs(dx + (shakes[k].dx - shakes[0].dx)) < 0.5, f.project.frames.at(k + 1, 2).c_str());
            QVERIFY2(std::abs(dy + (shakes[k].dy - shakes[0].dy)) < 0.5, f.project.frames.at(k + 1, 3).c_str());
        }
        QVERIFY(e.dialogs.messages.isEmpty());

        // Run again: what the last run wrote is no keyframe set by hand, so nobody is asked.
        f.Button12->click();
        QVERIFY(WaitForAlign(f));
        QCOMPARE(e.dialogs.questions.size(), 0);
        QCOMPARE(f.project.keyframes.rowCount(), 13);

        // A keyframe changed by hand since: the question comes, No keeps it and the rest are aligned.
        turnlet::ChangeKeyframe(f.project.keyframes, f.project.sources[3], {7, 7, 0, 0, 0, 0, 0});
        f.RestoreKeyframes();
        e.dialogs.questionAnswers.push_back(false);
        f.Button12->click();
        QVERIFY(WaitForAlign(f));
        QCOMPARE(e.dialogs.questions.size(), 1);
        QCOMPARE(QString::fromStdString(f.project.frames.at(4, 2)), QStringLiteral("7"));
        QCOMPARE(f.project.keyframes.rowCount(), 13);
        QVERIFY(std::abs(std::stod(f.project.frames.at(6, 2)) + (shakes[5].dx - shakes[0].dx)) < 0.5);
    }

    void aFrameThatCannotBeAlignedKeepsItsValuesAndIsShownAndListed() {
        Editor e;
        std::vector<Shake> shakes;
        for (int i = 0; i < 6; ++i) shakes.push_back({i * 1.5, -i * 1.0, 0, 1});
        AddShots(e, shakes, 3);
        auto& f = e.form();
        f.PageControl1->setCurrentIndex(2);
        f.project.frames.set(4, 2, "2.5");  // frame 3's DX before the run
        f.Button12->click();
        QVERIFY(WaitForAlign(f));
        QVERIFY(Editor::waitFor([&] { return !e.dialogs.messages.isEmpty(); }));
        QVERIFY2(e.dialogs.messages.last().endsWith(QStringLiteral(": 3")), qPrintable(e.dialogs.messages.last()));
        QCOMPARE(f.CurrentFrame, 3);
        QCOMPARE(f.StringGrid1->selectionModel()->currentIndex().row(), 3);
        QCOMPARE(QString::fromStdString(f.project.frames.at(4, 2)), QStringLiteral("2.5"));
        QCOMPARE(QString::fromStdString(f.project.frames.at(4, 1)), QStringLiteral("Y"));
        QVERIFY(std::abs(std::stod(f.project.frames.at(6, 2)) + 7.5) < 0.5);  // frame 5 aligned
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
        f.BitBtn3->click();
        QVERIFY(WaitForAlign(f));
        QCOMPARE(f.SpinEdit2->value(), 5);
        QCOMPARE(f.project.lastFrame, 5);
        QCOMPARE(f.project.frames.rowCount(), 7);  // the table follows the range
        // The user is told the frame and how sure the search is.
        QVERIFY(Editor::waitFor([&] { return e.dialogs.messages.size() == 1; }));
        QVERIFY2(e.dialogs.messages.last().startsWith(QStringLiteral("Last frame of the turn: 5 (confidence ")),
                 qPrintable(e.dialogs.messages.last()));

        // From frame 6 on nothing comes round again: nothing is set and the user is told.
        f.SpinEdit2->setValue(8);
        f.SpinEdit1->setValue(6);
        f.BitBtn3->click();
        QVERIFY(WaitForAlign(f));
        QCOMPARE(f.SpinEdit2->value(), 8);
        QVERIFY(Editor::waitFor([&] { return e.dialogs.messages.size() == 2; }));
        QCOMPARE(e.dialogs.messages.last(), QStringLiteral("No full turn found."));
    }

    void buttonsAndMenuEntrySpeakRussian() {
        Editor e;
        auto& f = e.form();
        f.N6Click();
        QCOMPARE(f.Button12->text(), QStringLiteral("Автовыравнивание"));
        QCOMPARE(f.Autoalign1->text(), QStringLiteral("Автовыравнивание"));
        QCOMPARE(f.BitBtn3->text(), QStringLiteral("Найти конец оборота"));
        f.English1Click();
        QCOMPARE(f.BitBtn3->text(), QStringLiteral("Find end of turn"));
    }
};

TURNLET_GUI_TEST_MAIN(AlignCommandsTest)
#include "test_align_commands.moc"
