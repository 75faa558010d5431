// SPDX-License-Identifier: MIT
// The parameters dialog: its sliders as designed, a move makes a keyframe, "Default values", the lowest
// scale, and a slider dragged across its range rendering one frame at a time.
#include <QTableView>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QThread>

#include <mutex>
#include <vector>

#include "controls.h"
#include "gui_test_support.h"
#include "parameters_dialog.h"
#include "picture_view.h"

using turnlet::testing::Editor;

namespace {

QString Cell(turnlet::TForm2& f, int frame, int column) {
    return QString::fromStdString(f.project.frames.at(frame + 1, column));
}

bool WaitForTuned(turnlet::TForm2& f) {
    return Editor::waitFor([&] { return !f.TunePictureWorker->busy() && !f.TuneRedrawPending; });
}

}  // namespace

class ParametersDialogTest : public QObject {
    Q_OBJECT

  private slots:
    void slidersAsDesignedAndModeless() {
        Editor e;
        turnlet::TForm9& d = e.windows().Form9();
        QCOMPARE(d.windowTitle(), QStringLiteral("Parameters"));
        QCOMPARE(d.size(), QSize(628, 207));
        QVERIFY(!d.isModal());
        struct Row {
            QLabel* label;
            const char* text;
            QSlider* slider;
            int top, minimum, maximum;
        };
        const Row rows[] = {{d.Label1, "Angle", d.TrackBar1, 16, -180, 180},
                            {d.Label2, "Scale", d.TrackBar2, 48, -1000, 1000},
                            {d.Label3, "Brightness", d.TrackBar3, 80, -100, 100},
                            {d.Label4, "Contrast", d.TrackBar4, 112, -100, 100},
                            {d.Label5, "Gamma", d.TrackBar5, 144, -100, 100}};
        for (const Row& r : rows) {
            QCOMPARE(r.label->text(), QString::fromLatin1(r.text));
            QCOMPARE(r.slider->geometry(), QRect(72, r.top, 537, 25));
            QCOMPARE(r.slider->minimum(), r.minimum);
            QCOMPARE(r.slider->maximum(), r.maximum);
            QCOMPARE(r.slider->orientation(), Qt::Horizontal);
            QCOMPARE(r.slider->tickPosition(), QSlider::NoTicks);
        }
        QCOMPARE(d.Button1->text(), QStringLiteral("Default values"));
        QCOMPARE(d.Button1->geometry(), QRect(216, 174, 233, 25));
        for (const char* name : {"Label1", "Label5", "TrackBar1", "TrackBar5", "Button1"})
            QVERIFY2(d.findChild<QWidget*>(QLatin1String(name)), name);

        // Shown from the page without blocking it; moving a slider with no images changes nothing.
        e.form().Button4Click();
        QVERIFY(d.isVisible());
        d.TrackBar1->setValue(40);
        QCOMPARE(e.form().project.keyframes.rowCount(), 1);
        d.hide();
        e.form().StringGrid1DblClick();
        QVERIFY(d.isVisible());
    }

    void aMoveMakesAKeyframeAndDefaultValuesZeroesIt() {
        Editor e;
        QStringList files;
        for (int i = 0; i < 10; ++i) files << e.picture(QStringLiteral("%1.png").arg(i), 30, 20);
        e.add(files);
        auto& f = e.form();
        turnlet::TForm9& d = e.windows().Form9();
        turnlet::ChangeKeyframe(f.project.keyframes, files[2].toStdString(), {0, 0, 0, 0, 0, 0, 0});
        turnlet::ChangeKeyframe(f.project.keyframes, files[5].toStdString(), {20, 1, 0, 0, 10, 0, 0});
        f.RestoreKeyframes();
        f.CurrentFrame = 3;
        f.Drawtunedimage1Click();
        QCOMPARE(Cell(f, 3, 2), QStringLiteral("6.66667"));

        d.TrackBar1->setValue(15);  // Angle on an interpolated frame
        QCOMPARE(Cell(f, 3, 1), QStringLiteral("Y"));
        QCOMPARE(Cell(f, 3, 4), QStringLiteral("15"));
        QCOMPARE(Cell(f, 3, 2), QStringLiteral("6.66667"));  // the others as interpolated
        QCOMPARE(Cell(f, 3, 6), QStringLiteral("3.33333"));
        QCOMPARE(f.project.keyframes.rowCount(), 4);
        QCOMPARE(d.TrackBar3->value(), 3);  // shown by its integer part

        f.project.frames.set(4, 2, "12.5");
        f.Drawtunedimage1Click();
        d.Button1Click();
        for (int column = 2; column <= 8; ++column) QCOMPARE(Cell(f, 3, column), QStringLiteral("0"));
        QCOMPARE(Cell(f, 3, 1), QStringLiteral("Y"));
        for (QSlider* s : {d.TrackBar1, d.TrackBar2, d.TrackBar3, d.TrackBar4, d.TrackBar5}) QCOMPARE(s->value(), 0);
        QCOMPARE(f.project.keyframes.rowCount(), 4);
    }

    void theLowestScaleShowsTheBackground() {
        Editor e;
        const QString file = e.picture("a.png", 40, 30);
        e.add({file});
        auto& f = e.form();
        QVERIFY(e.waitForPreview(file));
        f.project.backgroundColor = 0x00204080;
        f.Image2->setGeometry(f.Image2->x(), f.Image2->y(), 40, 30);
        f.PageControl1->setCurrentIndex(2);
        e.windows().Form9().TrackBar2->setValue(-1000);
        QVERIFY(WaitForTuned(f));
        QCOMPARE(Cell(f, 0, 5), QStringLiteral("-1000"));
        f.Image2->repaint();
        const QImage shown = f.Image2->shownImage();
        QCOMPARE(shown.size(), QSize(40, 30));
        QCOMPARE(shown.pixelColor(20, 15), QColor(0x80, 0x40, 0x20));
        QCOMPARE(shown.pixelColor(0, 0), QColor(0x80, 0x40, 0x20));
        QVERIFY(e.dialogs.messages.isEmpty());
    }

    // Every slider step asks for a render; a busy worker collapses them. At most one render runs,
    // and the final position is drawn soon after the render before it ends.
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
        int running = 0, mostAtOnce = 0;
        QElapsedTimer clock;
        clock.start();
        // Each render held 30 ms, so steps arrive while it runs.
        f.TunePictureJob().setBeforeRender([&](const turnlet::TuneRequest& r) {
            {
                std::lock_guard lock(mutex);
                mostAtOnce = std::max(mostAtOnce, ++running);
                renders.push_back({clock.elapsed(), -1, r.MainTuneParams.Brightness});
            }
            QThread::msleep(30);
            std::lock_guard lock(mutex);
            --running;
            renders.back().end = clock.elapsed();
        });
        QSlider* brightness = e.windows().Form9().TrackBar3;
        for (int value = -100; value <= 100; ++value) {
            brightness->setValue(value);
            QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
            QThread::msleep(2);
        }
        QVERIFY(WaitForTuned(f));
        QVERIFY(Editor::waitFor([&] {
            std::lock_guard lock(mutex);
            return !renders.empty() && renders.back().brightness == 100 && renders.back().end >= 0;
        }));
        QVERIFY(WaitForTuned(f));
        f.TunePictureJob().setBeforeRender({});
        std::lock_guard lock(mutex);
        QCOMPARE(mostAtOnce, 1);
        QVERIFY2(renders.size() < 120, qPrintable(QString::number(renders.size())));
        QCOMPARE(renders.back().brightness, 100.0);
        const qint64 gap = renders.back().start - renders[renders.size() - 2].end;
        qInfo("%zu renders for 201 steps; last drawn %lld ms after the render before it", renders.size(), gap);
        QVERIFY2(gap <= 200, qPrintable(QString::number(gap)));
        QCOMPARE(Cell(f, 0, 6), QStringLiteral("100"));
    }
};

TURNLET_GUI_TEST_MAIN(ParametersDialogTest)
#include "test_parameters_dialog.moc"
