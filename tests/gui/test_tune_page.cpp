// SPDX-License-Identifier: MIT
// The "Tune positions" page: choosing frames, pinning and dragging keyframes, the
// guard flags.
#include <QComboBox>
#include <QSlider>
#include <QTableView>

#include <stdexcept>

#include "controls.h"
#include "gui_test_support.h"
#include "parameters_dialog.h"
#include "picture_view.h"

using turnlet::testing::Editor;

namespace {

bool WaitForTuned(turnlet::TForm2& f) {
    return Editor::waitFor([&] { return !f.TunePictureWorker->busy() && !f.TuneRedrawPending; });
}

QString Cell(turnlet::TForm2& f, int frame, int column) {
    return QString::fromStdString(f.project.frames.at(frame + 1, column));
}

// Photographs of slightly different widths, frame i being "i.png"; the preview shown.
QStringList AddFrames(Editor& e, int count) {
    QStringList files;
    for (int i = 0; i < count; ++i) files << e.picture(QStringLiteral("%1.png").arg(i), 40 + i, 30);
    e.add(files);
    if (!e.waitForPreview(files.last())) qWarning("no preview");
    e.form().PageControl1->setCurrentIndex(2);
    return files;
}

void ShowFrame(turnlet::TForm2& f, int frame, int interlace, QSize view) {
    f.Image2->setGeometry(f.Image2->x(), f.Image2->y(), view.width(), view.height());
    f.ComboBox2->setCurrentIndex(interlace);
    f.TrackBar1->setValue(frame);
    f.ComboBox2Change();
}

}  // namespace

class TunePageTest : public QObject {
    Q_OBJECT

  private slots:
    void framesAreChosenByTableSliderAndWrappingButtonsWithoutKeyframes() {
        Editor e;
        const QStringList files = AddFrames(e, 5);
        auto& f = e.form();
        f.project.frames.set(2, 4, "12.75");  // frame 1: Angle, Brightness
        f.project.frames.set(2, 6, "-3.9");
        const struct {
            std::function<void()> act;
            int frame;
        } steps[] = {{[&] { f.StringGrid1->selectRow(1); }, 1},
                     {[&] { f.TrackBar1->setValue(3); }, 3},
                     {[&] { f.Button5Click(); }, 4},
                     {[&] { f.Button5Click(); }, 0},
                     {[&] { f.Button2Click(); }, 4},
                     {[&] { f.Button2Click(); }, 3}};
        for (const auto& s : steps) {
            s.act();
            QVERIFY(WaitForTuned(f));
            QCOMPARE(f.CurrentFrame, s.frame);
            QCOMPARE(f.StringGrid1->selectionModel()->currentIndex().row(), s.frame);
            QCOMPARE(f.StatusBar1->panelText(turnlet::kPathPanel), files[s.frame]);
        }
        f.TrackBar1->setValue(1);  // the dialog follows by the integer parts
        QCOMPARE(e.windows().Form9().TrackBar1->value(), 12);
        QCOMPARE(e.windows().Form9().TrackBar3->value(), -3);
        QCOMPARE(f.project.keyframes.rowCount(), 1);
    }

    void aClickPinsTheFrameAndClearingRemovesIt() {
        Editor e;
        const QStringList files = AddFrames(e, 10);
        auto& f = e.form();
        turnlet::ChangeKeyframe(f.project.keyframes, files[2].toStdString(), {0, 0, 0, 0, 0, 0, 0});
        turnlet::ChangeKeyframe(f.project.keyframes, files[6].toStdString(), {8, 0, 0, 0, 0, 0, 0});
        f.RestoreKeyframes();
        ShowFrame(f, 4, 0, {80, 60});
        f.Image2MouseDown(5, 5, Qt::RightButton);
        f.Image2MouseUp(5, 5, Qt::NoButton);
        QCOMPARE(Cell(f, 4, 1), QStringLiteral("Y"));
        turnlet::ChangeKeyframe(f.project.keyframes, files[6].toStdString(), {20, 0, 0, 0, 0, 0, 0});
        f.RestoreKeyframes();
        QCOMPARE(Cell(f, 4, 2), QStringLiteral("4"));  // pinned: it no longer follows frame 6
        f.Button3Click();                              // "Clear keyframe"
        QCOMPARE(Cell(f, 4, 2), QStringLiteral("10"));
        f.Button11Click();  // "Clear all keyframes", without a question
        QCOMPARE(Cell(f, 6, 2), QStringLiteral("0"));
        QVERIFY(e.dialogs.questions.isEmpty());
    }

    // A 2000-pixel-wide frame shown 200 pixels wide: 50 screen pixels are 500 frame pixels, in the
    // plain view and in the interlace view alike (whose picture is of the view's size).
    void aDragMovesTheFrameByThePointersTravelInBothViews() {
        Editor e;
        AddFrames(e, 3);
        auto& f = e.form();
        f.project.crop = {"0", "0", "2000", "1000"};
        for (int interlace : {0, 3}) {
            ShowFrame(f, 1, interlace, {200, 200});
            QVERIFY(WaitForTuned(f));
            QCOMPARE(f.Image2->pictureWidth(), 2000);  // the view stands for the full-size frame
            const double dx = Cell(f, 1, 2).toDouble();
            f.Image2MouseDown(100, 50, Qt::LeftButton);
            f.Image2MouseMove(120, 50, Qt::LeftButton);
            f.Image2MouseMove(150, 49, Qt::LeftButton);
            QCOMPARE(f.project.keyframes.rowCount(), interlace ? 2 : 1);  // no keyframe during the drag
            f.Image2MouseUp(150, 49, Qt::NoButton);
            QCOMPARE(Cell(f, 1, 2).toDouble() - dx, 500.0);
            QCOMPARE(f.project.keyframes.rowCount(), 2);
        }
    }

    // Leaving the view in the middle of a drag keeps what was dragged as a keyframe, as a release
    // there would, so the next rebuild of the table does not throw it away.
    void leavingTheViewDuringADragCommitsTheKeyframe() {
        Editor e;
        AddFrames(e, 4);
        auto& f = e.form();
        f.project.crop = {"0", "0", "40", "30"};
        ShowFrame(f, 2, 0, {80, 60});  // f = 2
        QVERIFY(WaitForTuned(f));
        f.Image2MouseDown(10, 10, Qt::LeftButton);
        f.Image2MouseMove(30, 16, Qt::LeftButton);
        f.Image2MouseLeave();
        f.Image2MouseMove(60, 40, Qt::LeftButton);  // the drag is over
        f.RestoreKeyframes();
        QCOMPARE(Cell(f, 2, 1), QStringLiteral("Y"));
        QCOMPARE(Cell(f, 2, 2), QStringLiteral("10"));
        QCOMPARE(Cell(f, 2, 3), QStringLiteral("3"));
        QVERIFY(!f.DragActive);
    }

    void theFrameIsKeptInRangeAndNoGuardFlagOutlivesAFailingStep() {
        Editor e;
        AddFrames(e, 6);
        auto& f = e.form();
        f.CurrentFrame = 40;
        f.Drawtunedimage1Click();
        QCOMPARE(f.TrackBar1->value(), 5);
        // Steps that throw give back the flags they hold.
        auto failing = QObject::connect(f.TrackBar1, &QSlider::valueChanged, [] { throw std::runtime_error("x"); });
        f.CurrentFrame = 1;
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, f.Drawtunedimage1Click());
        QVERIFY(!f.TuneSelectionSyncing);
        QObject::disconnect(failing);
        failing = QObject::connect(e.windows().Form9().TrackBar1, &QSlider::valueChanged,
                                   [] { throw std::runtime_error("x"); });
        f.project.frames.set(3, 4, "30");
        f.CurrentFrame = 2;
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, f.Drawtunedimage1Click());
        QVERIFY(!f.ControlsUpdating && !f.TuneSelectionSyncing);
        QObject::disconnect(failing);
    }
};

TURNLET_GUI_TEST_MAIN(TunePageTest)
#include "test_tune_page.moc"
