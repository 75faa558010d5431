// SPDX-License-Identifier: MIT
// The parameters dialog: its sliders as designed, a move makes a keyframe, "Default values", and a slider dragged
// across its range rendering one frame at a time.
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QScreen>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QThread>

#include <mutex>
#include <vector>

#include "controls.h"
#include "gui_test_support.h"
#include "dialogs/parameters_dialog.h"
#include "pages/frames_table_model.h"
#include "picture_view.h"

using turnlet::testing::Editor;

namespace {

// The frames table as it shows frame's column.
QString Cell(turnlet::TForm2& f, int frame, int column) {
    const turnlet::FramesTableModel& model = *f.TabSheet3->FramesModel;
    return model.data(model.index(frame, column), Qt::DisplayRole).toString();
}

bool WaitForTuned(turnlet::TForm2& f) {
    return Editor::waitFor([&] { return !f.TabSheet3->TunePictureWorker->busy() && !f.TabSheet3->TuneRedrawPending; });
}

}  // namespace

class ParametersDialogTest : public QObject {
    Q_OBJECT

  private slots:
    void slidersAsDesigned() {
        Editor e;
        turnlet::TForm9& d = e.windows().Form9();
        QCOMPARE(d.size(), QSize(716, 207));
        const struct {
            QLabel* label;
            const char* text;
            QSlider* slider;
            int top, minimum, maximum;
        } rows[] = {{d.Label1, "Angle", d.TrackBar1, 16, -1800, 1800},  // tenths of a degree
                    {d.Label2, "Scale", d.TrackBar2, 48, -1000, 1000},
                    {d.Label3, "Brightness", d.TrackBar3, 80, -100, 100},
                    {d.Label4, "Contrast", d.TrackBar4, 112, -100, 100},
                    {d.Label5, "Gamma", d.TrackBar5, 144, -100, 100}};
        for (const auto& r : rows) {
            QCOMPARE(r.label->text(), QString::fromLatin1(r.text));
            QCOMPARE(r.slider->geometry(), QRect(72, r.top, 537, 25));
            QCOMPARE(QPoint(r.slider->minimum(), r.slider->maximum()), QPoint(r.minimum, r.maximum));
        }
        QCOMPARE(d.Button1->geometry(), QRect(216, 174, 233, 25));
        e.form().TabSheet3->Button4Click();  // modeless
        QVERIFY(d.isVisible() && !d.isModal());
        // Beside the main window, not over the picture it controls, where the screen has room.
        const QRect room = e.form().screen()->availableGeometry();
        const QRect main = e.form().frameGeometry();
        if (room.width() >= main.width() + d.frameGeometry().width() + 8 ||
            room.height() >= main.height() + d.frameGeometry().height() + 8)
            QVERIFY(!d.frameGeometry().intersects(main));
        d.TrackBar1->setValue(40);  // no images: nothing changes
        QCOMPARE(e.form().session().project().keyframes.size(), 0u);
    }

    void aMoveMakesAKeyframeAndDefaultValuesZeroesIt() {
        Editor e;
        QStringList files;
        for (int i = 0; i < 10; ++i) files << e.picture(QStringLiteral("%1.png").arg(i), 30, 20);
        e.add(files);
        auto& f = e.form();
        turnlet::TForm9& d = e.windows().Form9();
        f.session().SetFrameValues(2, {0, 0, 0, 0, 0, 0, 0});
        f.session().SetFrameValues(5, {20, 0, 0, 0, 10, 0, 0});
        f.TabSheet3->CurrentFrame = 3;
        f.TabSheet3->Drawtunedimage1Click();
        d.TrackBar1->setValue(150);  // Angle on an interpolated frame, in tenths of a degree
        QCOMPARE(Cell(f, 3, 1), QStringLiteral("Y"));
        QCOMPARE(Cell(f, 3, 4), QStringLiteral("15"));
        QCOMPARE(Cell(f, 3, 2), QStringLiteral("6.66667"));  // the others as interpolated
        QCOMPARE(Cell(f, 3, 6), QStringLiteral("3.33333"));
        QCOMPARE(d.TrackBar3->value(), 3);
        d.Button1Click();
        for (int column = 2; column <= 8; ++column) QCOMPARE(Cell(f, 3, column), QStringLiteral("0"));
        QCOMPARE(Cell(f, 3, 1), QStringLiteral("Y"));
        QCOMPARE(d.TrackBar1->value(), 0);
        QCOMPARE(f.session().project().keyframes.size(), 3u);
    }

    // The fields show each value exactly and take typed ones; the angle moves in tenths of a degree,
    // and moving one slider keeps every digit of the others (those Auto-align found).
    void valuesAreShownExactlyAndOnlyTheMovedOneChanges() {
        Editor e;
        e.add({e.picture("a.png", 30, 20), e.picture("b.png", 30, 20)});
        auto& f = e.form();
        turnlet::TForm9& d = e.windows().Form9();
        f.session().SetFrameValues(1, {0.5, -0.25, 1.234, 0, 7.891, 0, 0});
        f.TabSheet3->CurrentFrame = 1;
        f.TabSheet3->Drawtunedimage1Click();
        QCOMPARE(d.Edit1->value(), 1.234);
        QCOMPARE(d.TrackBar1->value(), 12);
        QCOMPARE(d.Edit3->value(), 7.891);
        d.TrackBar3->setValue(20);
        const turnlet::KeyframeValues& values = f.session().frames()[1].values;
        QCOMPARE(values[turnlet::kAngle], 1.234);
        QCOMPARE(values[turnlet::kBrightness], 20.0);
        QCOMPARE(values[turnlet::kDX], 0.5);
        d.TrackBar1->setValue(-7);
        QCOMPARE(f.session().frames()[1].values[turnlet::kAngle], -0.7);
        d.Edit2->setValue(-12.5);
        QCOMPARE(f.session().frames()[1].values[turnlet::kScale], -12.5);
        QCOMPARE(d.TrackBar2->value(), -12);
    }

    // Every slider step asks for a render and a busy worker collapses them: one render at a time, and
    // the final position drawn as soon as the render before it ends.
    void aSliderDraggedAcrossItsRangeRendersOneAtATimeAndEndsOnTheLastPosition() {
        Editor e;
        const QString file = e.picture("a.png", 200, 150);
        e.add({file});
        auto& f = e.form();
        QVERIFY(e.waitForPreview(file));
        f.PageControl1->setCurrentIndex(2);
        QVERIFY(WaitForTuned(f));
        std::mutex mutex;
        struct Render {
            qint64 start, end;
            double brightness;
        };
        std::vector<Render> renders;  // guarded by mutex
        QElapsedTimer clock;
        clock.start();
        f.TabSheet3->TunePictureJob().setBeforeRender([&](const turnlet::TuneRequest& r) {
            const qint64 start = clock.elapsed();
            QThread::msleep(30);  // steps arrive while each render runs
            std::lock_guard lock(mutex);
            renders.push_back({start, clock.elapsed(), r.MainTuneParams.Brightness});
        });
        for (int value = -100; value <= 100; ++value) {
            e.windows().Form9().TrackBar3->setValue(value);
            QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
            QThread::msleep(2);
        }
        QVERIFY(Editor::waitFor([&] {
            std::lock_guard lock(mutex);
            return !renders.empty() && renders.back().brightness == 100;
        }));
        QVERIFY(WaitForTuned(f));
        f.TabSheet3->TunePictureJob().setBeforeRender({});
        std::lock_guard lock(mutex);
        for (std::size_t i = 1; i < renders.size(); ++i) QVERIFY(renders[i].start >= renders[i - 1].end);
        QVERIFY2(renders.size() < 100, qPrintable(QString::number(renders.size())));
        const qint64 gap = renders.back().start - renders[renders.size() - 2].end;
        qInfo("%zu renders for 201 steps; the last began %lld ms after the one before ended", renders.size(), gap);
        QVERIFY2(gap <= 200, qPrintable(QString::number(gap)));
    }
};

TURNLET_GUI_TEST_MAIN(ParametersDialogTest)
#include "test_parameters_dialog.moc"
