// SPDX-License-Identifier: MIT
// The "Tune positions" page: the tuned view, choosing frames, the shift drag and its keyframe, the
// guard flags, and a file that cannot be read.
#include <QTableView>
#include <QComboBox>
#include <QFile>
#include <QSlider>
#include <QTableView>

#include <stdexcept>

#include "frames_table_model.h"
#include "controls.h"
#include "gui_test_support.h"
#include "parameters_dialog.h"
#include "picture_view.h"
#include "tuning/tune_picture.h"

using turnlet::testing::Editor;

namespace {

// Waits until the tuned view has drawn the latest request and the worker is idle.
bool WaitForTuned(Editor& e) {
    auto& f = e.form();
    return Editor::waitFor([&] { return !f.TunePictureWorker->busy() && !f.TuneRedrawPending; }) &&
           Editor::waitFor([&] {
               QCoreApplication::processEvents();
               return !f.TunePictureWorker->busy() && !f.TuneRedrawPending;
           });
}

QString Cell(turnlet::TForm2& f, int frame, int column) {
    return QString::fromStdString(f.project.frames.at(frame + 1, column));
}

// Photographs whose pixels differ from frame to frame, "4.png" being frame 4.
QStringList Frames(Editor& e, int count, int width = 40, int height = 30) {
    QStringList files;
    for (int i = 0; i < count; ++i) files << e.picture(QStringLiteral("%1.png").arg(i), width + i, height);
    return files;
}

}  // namespace

class TunePageTest : public QObject {
    Q_OBJECT

  private slots:
    void theViewShowsTheFrameAsTheRendererMakesIt() {
        Editor e;
        const QStringList files = Frames(e, 4);
        e.add(files);
        auto& f = e.form();
        QVERIFY(e.waitForPreview(files[3]));
        f.project.crop = {"2", "3", "30", "20"};
        f.project.frames.set(3, 2, "10.9");  // DX of frame 2: the picture moves by 10
        f.project.frames.set(3, 4, "90");
        f.PageControl1->setCurrentIndex(2);
        turnlet::Picture source, zero, expected, work;
        QVERIFY(turnlet::LoadPicture(files[2].toStdString(), source).ok());
        QVERIFY(turnlet::LoadPicture(files[0].toStdString(), zero).ok());
        turnlet::TuneRequest r;
        r.MainTuneParams = {2, 3, 30, 20, -10, 0, 0x00FFFFFF, -90, 0, 0, 0, 0};
        r.InterlaceTuneParams = {2, 3, 30, 20, 0, 0, 0x00FFFFFF, 0, 0, 0, 0, 0};
        struct Case {
            QSize view;
            int interlace;
            QSize display;
        };
        const Case cases[] = {
            {{15, 10}, 0, {15, 10}},    // a smaller view: the frame resized to it
            {{100, 90}, 0, {30, 20}},   // a larger one: the whole frame, never enlarged
            {{100, 90}, 1, {100, 66}},  // woven with frame 0 at the view's fit
        };
        for (const Case& c : cases) {
            f.Image2->setGeometry(f.Image2->x(), f.Image2->y(), c.view.width(), c.view.height());
            f.ComboBox2->setCurrentIndex(c.interlace);
            f.TrackBar1->setValue(2);
            f.ComboBox2Change();
            QVERIFY(WaitForTuned(e));
            QCOMPARE(f.Image2->pictureWidth(), 30);  // the full-size frame, in either view
            QCOMPARE(f.Image2->pictureHeight(), 20);
            QCOMPARE(f.Image2->displaySize(), c.display);
            QCOMPARE(f.StatusBar1->panelText(turnlet::kPathPanel), files[2]);
            r.viewWidth = c.view.width();
            r.viewHeight = c.view.height();
            r.TuneInterlacePath = c.interlace ? "frame 0" : "";
            turnlet::RenderTunedView(source, zero, r, expected, work);
            if (c.display == f.Image2->shownSize()) {
                f.Image2->repaint();
                QCOMPARE(f.Image2->shownImage(), turnlet::ToQImage(expected));
            }
        }
    }

    void framesAreChosenByTableSliderAndWrappingButtons() {
        Editor e;
        const QStringList files = Frames(e, 5);
        e.add(files);
        auto& f = e.form();
        f.PageControl1->setCurrentIndex(2);
        struct Step {
            const char* what;
            std::function<void()> act;
            int frame;
        };
        const Step steps[] = {
            {"table row 1", [&] { f.StringGrid1->selectRow(1); }, 1},
            {"slider 3", [&] { f.TrackBar1->setValue(3); }, 3},
            {"next", [&] { f.Button5Click(); }, 4},
            {"next wraps", [&] { f.Button5Click(); }, 0},
            {"previous wraps", [&] { f.Button2Click(); }, 4},
            {"previous", [&] { f.Button2Click(); }, 3},
        };
        for (const Step& s : steps) {
            s.act();
            QVERIFY2(WaitForTuned(e), s.what);
            QVERIFY2(f.CurrentFrame == s.frame, s.what);
            QCOMPARE(f.TrackBar1->value(), s.frame);
            QCOMPARE(f.StringGrid1->selectionModel()->currentIndex().row(), s.frame);
            QCOMPARE(f.StatusBar1->panelText(turnlet::kPathPanel), files[s.frame]);
        }
        // Stepping through frames makes no keyframe, and the dialog's sliders follow each frame.
        f.project.frames.set(2, 4, "12.75");
        f.project.frames.set(2, 6, "-3.9");
        f.TrackBar1->setValue(1);
        QCOMPARE(e.windows().Form9().TrackBar1->value(), 12);
        QCOMPARE(e.windows().Form9().TrackBar3->value(), -3);
        f.Button5Click();
        QCOMPARE(e.windows().Form9().TrackBar1->value(), 0);
        QCOMPARE(f.project.keyframes.rowCount(), 1);
        for (int frame = 0; frame < 5; ++frame) QVERIFY(Cell(f, frame, 1).isEmpty());
    }

    void aClickPinsTheFrameAndClearingRemovesIt() {
        Editor e;
        const QStringList files = Frames(e, 10);
        e.add(files);
        auto& f = e.form();
        f.PageControl1->setCurrentIndex(2);
        // Keyframes at frames 2 (DX 0) and 6 (DX 8): frame 4 is interpolated to 4.
        turnlet::ChangeKeyframe(f.project.keyframes, files[2].toStdString(), {0, 0, 0, 0, 0, 0, 0});
        turnlet::ChangeKeyframe(f.project.keyframes, files[6].toStdString(), {8, 0, 0, 0, 0, 0, 0});
        f.RestoreKeyframes();
        f.CurrentFrame = 4;
        f.Drawtunedimage1Click();
        QVERIFY(WaitForTuned(e));
        f.Image2MouseDown(5, 5, Qt::RightButton);
        f.Image2MouseUp(5, 5, Qt::NoButton);
        QVERIFY(!f.DragActive);
        QCOMPARE(Cell(f, 4, 1), QStringLiteral("Y"));
        // Pinned: its DX no longer follows its neighbours.
        turnlet::ChangeKeyframe(f.project.keyframes, files[6].toStdString(), {20, 0, 0, 0, 0, 0, 0});
        f.RestoreKeyframes();
        QCOMPARE(Cell(f, 4, 2), QStringLiteral("4"));
        QCOMPARE(Cell(f, 5, 2), QStringLiteral("12"));

        f.Button3Click();  // "Clear keyframe" on frame 4
        QVERIFY(Cell(f, 4, 1).isEmpty());
        QCOMPARE(Cell(f, 4, 2), QStringLiteral("10"));
        f.CurrentFrame = 7;  // not a keyframe: nothing changes but the view is drawn again
        f.Drawtunedimage1Click();
        const turnlet::TextGrid before = f.project.frames;
        f.Button3Click();
        QVERIFY(f.project.frames == before);
        f.Button11Click();  // "Clear all keyframes": everything back to 0 at once
        QCOMPARE(f.project.keyframes.rowCount(), 1);
        for (int frame = 0; frame < 10; ++frame) QCOMPARE(Cell(f, frame, 2), QStringLiteral("0"));
        QVERIFY(e.dialogs.questions.isEmpty());
    }

    // A 2000-pixel-wide frame shown 200 pixels wide: 50 screen pixels are 500 frame pixels, in the
    // plain view and in the interlace view alike (which holds a picture of the view's size).
    void aDragMovesTheFrameByThePointersTravelInBothViews() {
        Editor e;
        const QStringList files = Frames(e, 3);
        e.add(files);
        auto& f = e.form();
        QVERIFY(e.waitForPreview(files[2]));
        f.project.crop = {"0", "0", "2000", "1000"};
        f.PageControl1->setCurrentIndex(2);
        for (int interlace : {0, 3}) {
            f.Image2->setGeometry(f.Image2->x(), f.Image2->y(), 200, 200);
            f.ComboBox2->setCurrentIndex(interlace);
            f.TrackBar1->setValue(1);
            f.ComboBox2Change();
            QVERIFY(WaitForTuned(e));
            QCOMPARE(f.Image2->pictureWidth(), 2000);
            const double dx = Cell(f, 1, 2).toDouble(), dy = Cell(f, 1, 3).toDouble();
            f.Image2MouseDown(100, 50, Qt::LeftButton);
            f.Image2MouseMove(120, 50, Qt::LeftButton);
            f.Image2MouseMove(150, 49, Qt::LeftButton);
            QCOMPARE(Cell(f, 1, 1), QStringLiteral("Y"));
            QCOMPARE(f.project.keyframes.rowCount(), interlace ? 2 : 1);  // no keyframe during the drag
            f.Image2MouseUp(150, 49, Qt::NoButton);
            QCOMPARE(Cell(f, 1, 2).toDouble() - dx, 500.0);
            QCOMPARE(Cell(f, 1, 3).toDouble() - dy, -10.0);
            QCOMPARE(f.project.keyframes.rowCount(), 2);  // the frame's keyframe, made once
            QVERIFY(WaitForTuned(e));
        }
        QCOMPARE(Cell(f, 1, 2), QStringLiteral("1000"));
    }

    // Leaving the view in the middle of a drag keeps what was dragged: it is a keyframe as after a
    // release, so rebuilding the table does not throw it away.
    void leavingTheViewDuringADragCommitsTheKeyframe() {
        Editor e;
        const QStringList files = Frames(e, 4);
        e.add(files);
        auto& f = e.form();
        QVERIFY(e.waitForPreview(files[3]));
        f.project.crop = {"0", "0", "40", "30"};
        f.Image2->setGeometry(f.Image2->x(), f.Image2->y(), 80, 60);  // f = 2
        f.PageControl1->setCurrentIndex(2);
        f.CurrentFrame = 2;
        f.Drawtunedimage1Click();
        QVERIFY(WaitForTuned(e));
        f.Image2MouseDown(10, 10, Qt::LeftButton);
        f.Image2MouseMove(30, 16, Qt::LeftButton);
        f.Image2MouseLeave();
        QVERIFY(!f.DragActive);
        f.Image2MouseMove(60, 40, Qt::LeftButton);  // the drag is over
        f.Image2MouseUp(60, 40, Qt::NoButton);
        f.RestoreKeyframes();
        QCOMPARE(Cell(f, 2, 1), QStringLiteral("Y"));
        QCOMPARE(Cell(f, 2, 2), QStringLiteral("10"));
        QCOMPARE(Cell(f, 2, 3), QStringLiteral("3"));
        QCOMPARE(Cell(f, 0, 2), QStringLiteral("10"));  // the only keyframe holds for the whole turn
        // A leave without a drag, or a press without images, leaves no drag behind.
        f.Image2MouseLeave();
        QCOMPARE(f.project.keyframes.rowCount(), 2);
        f.New1Click();
        f.Image2MouseDown(1, 1, Qt::LeftButton);
        f.Image2MouseUp(1, 1, Qt::NoButton);
        QVERIFY(!f.DragActive);
    }

    void theFrameIsKeptInRangeAndNoGuardFlagOutlivesAFailingStep() {
        Editor e;
        const QStringList files = Frames(e, 6);
        e.add(files);
        auto& f = e.form();
        f.PageControl1->setCurrentIndex(2);
        f.CurrentFrame = 40;
        f.Drawtunedimage1Click();
        QCOMPARE(f.CurrentFrame, 5);
        QCOMPARE(f.TrackBar1->value(), 5);

        // A range that reaches past the list (as after deletions without a rebuild): nothing to draw.
        f.project.sources.resize(3);
        f.CurrentFrame = 4;
        f.Drawtunedimage1Click();
        QVERIFY(!f.TuneRedrawPending && !f.TuneSelectionSyncing && !f.ControlsUpdating);

        // Steps that throw: the flags they hold are given back.
        f.project.sources.assign(files.size(), std::string());
        for (int i = 0; i < files.size(); ++i) f.project.sources[i] = files[i].toStdString();
        bool failSlider = true;
        auto frameSlider = QObject::connect(f.TrackBar1, &QSlider::valueChanged, [&] {
            if (failSlider) throw std::runtime_error("slider");
        });
        f.CurrentFrame = 1;
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, f.Drawtunedimage1Click());
        QVERIFY(!f.TuneSelectionSyncing);
        QObject::disconnect(frameSlider);
        auto angleSlider = QObject::connect(e.windows().Form9().TrackBar1, &QSlider::valueChanged,
                                            [&] { throw std::runtime_error("dialog"); });
        f.project.frames.set(3, 4, "30");
        f.CurrentFrame = 2;
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, f.Drawtunedimage1Click());
        QVERIFY(!f.ControlsUpdating && !f.TuneSelectionSyncing);
        QObject::disconnect(angleSlider);
        f.Drawtunedimage1Click();
        QVERIFY(WaitForTuned(e));
        QCOMPARE(f.StatusBar1->panelText(turnlet::kPathPanel), files[2]);
    }

    void aFileThatCannotBeReadIsNamedAndTheViewGoesOn() {
        Editor e;
        QStringList files = Frames(e, 3);
        const QString damaged = e.path("damaged.png");
        QFile out(damaged);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write("\x89PNG\r\n\x1a\n not really");
        out.close();
        files.insert(1, damaged);
        e.add(files);
        auto& f = e.form();
        QVERIFY(e.waitForPreview(files[3]));
        f.PageControl1->setCurrentIndex(2);
        f.CurrentFrame = 1;
        f.Drawtunedimage1Click();
        QVERIFY(Editor::waitFor([&] { return !e.dialogs.messages.isEmpty(); }));
        QVERIFY(e.dialogs.messages[0].contains(QStringLiteral("damaged.png")));
        QVERIFY(WaitForTuned(e));
        f.Button5Click();
        QVERIFY(WaitForTuned(e));
        QCOMPARE(f.StatusBar1->panelText(turnlet::kPathPanel), files[2]);
        QCOMPARE(e.dialogs.messages.size(), 1);
    }
};

TURNLET_GUI_TEST_MAIN(TunePageTest)
#include "test_tune_page.moc"
