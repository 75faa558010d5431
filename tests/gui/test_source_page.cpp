// SPDX-License-Identifier: MIT
// The "Import images" page: adding, deleting, rotating, the preview worker's busy rule and failures.
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QSpinBox>
#include <QTableView>
#include <QSlider>

#include <chrono>
#include <thread>

#include "controls.h"
#include "pages/frames_table_model.h"
#include "gui_test_support.h"
#include "picture_view.h"

using turnlet::testing::Editor;

class SourcePageTest : public QObject {
    Q_OBJECT

  private slots:
    void addingThreeImagesPreviewsTheLastAndSetsTheRange() {
        Editor e;
        const QStringList files = {e.picture("a.jpg", 40, 30), e.picture("b.png", 40, 30), e.picture("c.bmp", 40, 30)};
        e.add(files);
        auto& f = e.form();
        QCOMPARE(e.dialogs.filters.value(0),
                 QStringLiteral("All (*.jpg *.jpeg *.png *.bmp);;JPEG Image File (*.jpg *.jpeg);;"
                                "Portable Network Graphics (*.png);;Bitmaps (*.bmp)"));
        QCOMPARE(f.TabSheet1->ListBox1->count(), 3);
        QCOMPARE(f.TabSheet2->SpinEdit1->value(), 0);
        QCOMPARE(f.TabSheet2->SpinEdit2->value(), 2);
        QCOMPARE(f.session().project().lastFrame, 2);
        QCOMPARE(f.TabSheet1->ListBox1->currentRow(), 2);
        QVERIFY(f.session().project().imagesLoaded());
        QCOMPARE(f.StatusBar1->panelText(5), files[2]);  // asked for at once, shown when ready
        QVERIFY(e.waitForPreview(files[2]));
        QCOMPARE(f.TabSheet1->Image1->pictureWidth(), 40);
        QCOMPARE(f.StatusBar1->panelText(0), QStringLiteral("Source: (40x30)"));
        QCOMPARE(f.StatusBar1->panelText(2), QStringLiteral("All images: 3"));
        QCOMPARE(f.StatusBar1->panelText(3), QStringLiteral("Selected images: 3"));
        // The frames table, the slider and the interlace list follow the new range.
        QCOMPARE(f.TabSheet3->StringGrid1->model()->rowCount(), 3);
        QCOMPARE(f.TabSheet3->StringGrid1->model()->index(2, 0).data().toString(), QStringLiteral("2"));
        QCOMPARE(f.TabSheet3->StringGrid1->model()->index(1, 2).data().toString(), QStringLiteral("0"));
        QCOMPARE(f.TabSheet3->TrackBar1->maximum(), 2);
        QCOMPARE(f.TabSheet3->ComboBox2->count(), 4);
    }

    void addingToAListResetsTheRangeToTheWholeList() {
        Editor e;
        QStringList five;
        for (int i = 0; i < 5; ++i) five << e.picture(QStringLiteral("p%1.png").arg(i), 8, 8);
        e.add(five);
        auto& f = e.form();
        f.TabSheet2->SpinEdit2->setValue(3);
        f.TabSheet2->SpinEdit1->setValue(2);
        QCOMPARE(f.session().project().firstFrame, 2);
        e.add({e.picture("q.png", 8, 8), e.picture("r.png", 8, 8)});
        QCOMPARE(f.session().project().firstFrame, 0);
        QCOMPARE(f.session().project().lastFrame, 6);
        QCOMPARE(f.TabSheet2->SpinEdit2->value(), 6);
        QCOMPARE(f.TabSheet3->StringGrid1->model()->rowCount(), 7);
        QVERIFY(e.waitForPreview(e.path("r.png")));

        // A cancelled dialog changes nothing.
        f.TabSheet1->Button9Click();
        QCOMPARE(f.TabSheet1->ListBox1->count(), 7);
    }

    void frameNumbersAreClampedAsTheyAreTyped() {
        Editor e;
        QStringList ten;
        for (int i = 0; i < 10; ++i) ten << e.picture(QStringLiteral("%1.png").arg(i), 8, 8);
        e.add(ten);
        auto& f = e.form();
        f.TabSheet2->SpinEdit2->setValue(5);
        f.TabSheet2->SpinEdit1->setValue(7);
        QCOMPARE(f.TabSheet2->SpinEdit1->value(), 5);
        f.TabSheet2->SpinEdit2->setValue(20);
        QCOMPARE(f.TabSheet2->SpinEdit2->value(), 9);
        f.TabSheet2->SpinEdit1->setValue(-3);
        QCOMPARE(f.TabSheet2->SpinEdit1->value(), 0);
        QCOMPARE(f.session().project().firstFrame, 0);
        QCOMPARE(f.session().project().lastFrame, 9);
    }

    void deletingTheSelectedItemsClampsTheRangeAndKeepsThePreview() {
        Editor e;
        const QStringList files = {e.picture("a.png", 20, 10), e.picture("b.png", 20, 10), e.picture("c.png", 30, 10)};
        e.add(files);
        auto& f = e.form();
        QVERIFY(e.waitForPreview(files[2]));
        f.TabSheet1->ListBox1->clearSelection();
        f.TabSheet1->ListBox1->item(0)->setSelected(true);
        f.TabSheet1->ListBox1->item(1)->setSelected(true);
        f.TabSheet1->Delete1Click();
        QCOMPARE(f.TabSheet1->ListBox1->count(), 1);
        QCOMPARE(f.session().project().sources, std::vector<std::string>{files[2].toStdString()});
        QCOMPARE(f.TabSheet2->SpinEdit1->value(), 0);
        QCOMPARE(f.TabSheet2->SpinEdit2->value(), 0);
        QCOMPARE(f.TabSheet1->Image1->pictureWidth(), 30);
    }

    void anEmptiedListLeavesEveryHandlerSafe() {
        Editor e;
        const QStringList files = {e.picture("a.png", 20, 10), e.picture("b.png", 20, 10)};
        e.add(files);
        auto& f = e.form();
        QVERIFY(e.waitForPreview(files[1]));
        f.TabSheet1->ListBox1->selectAll();
        f.TabSheet1->Delete1Click();
        QCOMPARE(f.TabSheet1->ListBox1->count(), 0);
        QCOMPARE(f.TabSheet2->SpinEdit1->value(), 0);
        QCOMPARE(f.TabSheet2->SpinEdit2->value(), 0);
        // Nothing left to show: the preview and the status bar empty, not a photo that is gone.
        QVERIFY(!f.TabSheet1->Image1->hasPicture());
        for (int panel = 0; panel < 6; ++panel) QVERIFY(f.StatusBar1->panelText(panel).isEmpty());

        // Every handler of every page, with nothing left in the list.
        f.TabSheet1->Delete1Click();
        f.TabSheet1->Showsource1Click();
        f.TabSheet1->ComboBox1->setCurrentIndex(1);
        f.TabSheet1->ComboBox1Change();
        f.TabSheet2->SpinEdit1->setValue(3);
        f.TabSheet2->SpinEdit2->setValue(5);
        f.TabSheet2->BitBtn1Click();
        f.TabSheet2->BitBtn2Click();
        f.TabSheet3->Recalculatepositions1Click();
        f.TabSheet3->RestoreKeyframes();
        for (int page : {1, 2, 0}) f.PageControl1->setCurrentIndex(page);
        f.TabSheet2->Drawfirstandlast1Click();
        f.TabSheet3->Drawtunedimage1Click();
        f.TabSheet3->StringGrid1Click();
        f.TabSheet3->Button2Click();
        f.TabSheet3->Button5Click();
        f.TabSheet3->Button3Click();
        f.TabSheet3->Button11Click();
        f.TabSheet3->TrackBar1->setValue(4);
        f.Areaparams1Click();
        f.TabSheet1->Image1MouseDown(5, 5, Qt::LeftButton);
        f.TabSheet1->Image1MouseMove(9, 9, Qt::LeftButton);
        f.TabSheet1->Image1MouseUp(9, 9, Qt::NoButton);
        f.Timer2Timer();
        f.Showstatus1Click();
        QVERIFY(f.StatusBar1->panelText(2).isEmpty());
        QVERIFY(f.StatusBar1->panelText(3).isEmpty());
        QVERIFY(e.dialogs.messages.isEmpty());
    }

    void aRotationTurnsThePreviewAndRemovesTheCropFirst() {
        Editor e;
        const QString photo = e.picture("wide.jpg", 4000, 3000);
        e.add({photo});
        auto& f = e.form();
        QVERIFY(e.waitForPreview(photo));
        f.TabSheet1->Image1MouseDown(10, 10, Qt::LeftButton);
        f.TabSheet1->Image1MouseUp(60, 40, Qt::NoButton);
        QVERIFY(f.TabSheet1->Shape1->isVisible());
        QVERIFY(!f.TabSheet1->Edit1->text().isEmpty());

        e.holdPreviews();
        f.TabSheet1->ComboBox1->setCurrentIndex(1);
        f.TabSheet1->ComboBox1Change();
        QCOMPARE(f.session().project().rotationDegrees(), 90);
        // Before the turned preview arrives the crop is gone.
        QVERIFY(f.TabSheet1->Edit1->text().isEmpty() && f.TabSheet1->Edit2->text().isEmpty());
        QVERIFY(f.TabSheet1->Edit3->text().isEmpty() && f.TabSheet1->Edit4->text().isEmpty());
        QVERIFY(!f.TabSheet1->Shape1->isVisible());
        QCOMPARE(f.StatusBar1->panelText(1), QStringLiteral("Area: (4000x3000)"));
        e.close();

        Editor turned;
        turned.add({photo});
        turned.form().TabSheet1->ComboBox1->setCurrentIndex(1);
        turned.form().TabSheet1->ComboBox1Change();
        QVERIFY(turned.waitFor([&] { return turned.form().TabSheet1->Image1->pictureWidth() == 3000; }));
        QCOMPARE(turned.form().TabSheet1->Image1->pictureHeight(), 4000);
        QCOMPARE(turned.form().StatusBar1->panelText(0), QStringLiteral("Source: (3000x4000)"));
        // The view holds a display-sized copy, not the 12-megapixel picture.
        QVERIFY(turned.form().TabSheet1->Image1->shownImage().width() <= turned.form().TabSheet1->Image1->width());
    }

    // A larger window gets a larger display copy of the same picture, so the preview stays sharp.
    void aLargerWindowRemakesThePreviewForItsSize() {
        Editor e;
        const QString photo = e.picture("big.jpg", 4000, 3000);
        e.add({photo, e.picture("other.png", 10, 10)});
        auto& f = e.form();
        f.TabSheet1->ListBox1->setCurrentRow(0);
        QVERIFY(e.waitFor([&] { return !f.TabSheet1->ShowSourceWorker->busy(); }));
        f.TabSheet1->Showsource1Click();
        QVERIFY(e.waitForPreview(photo));
        const QSize before = f.TabSheet1->Image1->displaySize();
        QVERIFY(f.TabSheet1->Image1->coversShownSize());
        QVERIFY(before.width() < 2 * f.TabSheet1->Image1->width());  // about the view's size, not 4000 wide
        f.TabSheet1->ListBox1->setCurrentRow(1);                     // the current item is not what the preview shows
        f.resize(f.size() + QSize(600, 400));
        QVERIFY(e.waitFor([&] { return f.TabSheet1->Image1->displaySize().width() > before.width(); }));
        QVERIFY(f.TabSheet1->Image1->coversShownSize());
        QCOMPARE(f.TabSheet1->ShownSourcePath, photo.toStdString());
        QCOMPARE(f.TabSheet1->Image1->pictureWidth(), 4000);
    }

    // Clicks while a preview is being made: the selected item is shown once the worker is free,
    // however many clicks came in between, and only once.
    void aBurstOfRequestsDuringARenderEndsInOneRenderOfTheLatest() {
        Editor e;
        QStringList files;
        for (int i = 0; i < 4; ++i) files << e.picture(QStringLiteral("%1.png").arg(i), 16 + i, 16);
        auto& gate = e.holdPreviews();
        e.add(files);  // asks for item 3; the worker is held
        gate.waitForLoads(1);
        auto& f = e.form();
        for (int row : {0, 1, 2, 0, 1}) {
            f.TabSheet1->ListBox1->setCurrentRow(row);
            f.TabSheet1->Showsource1Click();
            QVERIFY(f.TabSheet1->SourceRedrawPending);
            QCOMPARE(f.StatusBar1->panelText(5), files[row]);
        }
        gate.open();
        QVERIFY(e.waitForPreview(files[1]));
        QVERIFY(!f.TabSheet1->SourceRedrawPending);
        QTest::qWait(600);  // three more retry ticks: nothing more to do
        const std::vector<std::string> loads = gate.loads();
        QCOMPARE(loads.size(), std::size_t{2});
        QCOMPARE(loads[0], files[3].toStdString());
        QCOMPARE(loads[1], files[1].toStdString());
        QCOMPARE(f.TabSheet1->Image1->pictureWidth(), 17);
    }

    void aPreviewOfAClearedProjectIsNotShown() {
        Editor e;
        const QString photo = e.picture("a.png", 30, 20);
        auto& gate = e.holdPreviews();
        e.add({photo});
        gate.waitForLoads(1);
        e.form().TabSheet1->Button10Click();  // "Clear list" while the preview is being made
        gate.open();
        QVERIFY(e.waitFor([&] { return !e.form().TabSheet1->ShowSourceWorker->busy(); }));
        QTest::qWait(100);
        QVERIFY(!e.form().TabSheet1->Image1->hasPicture());
        QCOMPARE(e.form().TabSheet1->ListBox1->count(), 0);
        for (int panel = 0; panel < 6; ++panel) QVERIFY(e.form().StatusBar1->panelText(panel).isEmpty());
    }

    void unreadableSourcesAreReportedByNameAndTheWorkerKeepsServing() {
        Editor e;
        const QString good = e.picture("good.png", 24, 12);
        const QString missing = e.path("missing.jpg");
        const QString folder = e.path("photos.jpg");
        QDir().mkdir(folder);
        const QString damaged = e.path("damaged.jpg");
        {
            QFile out(damaged);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write("\xFF\xD8\xFF\xE0 this is not a photograph");
        }
        const QString text = e.path("notes.txt");
        {
            QFile out(text);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write("hello");
        }
        e.add({good, missing, folder, damaged, text});
        auto& f = e.form();
        QVERIFY(e.waitForPreview(text));
        QVERIFY(e.waitFor([&] { return e.dialogs.messages.size() == 1; }));
        QCOMPARE(e.dialogs.messages.last(), text + QStringLiteral(": Wrong file type!"));
        for (int row : {1, 2, 3}) {
            f.TabSheet1->ListBox1->setCurrentRow(row);
            f.TabSheet1->Showsource1Click();
            QVERIFY(e.waitForPreview(f.TabSheet1->ListBox1->item(row)->text()));
            QVERIFY(e.waitFor([&] { return e.dialogs.messages.size() == row + 1; }));
            QVERIFY2(e.dialogs.messages.last().contains(f.TabSheet1->ListBox1->item(row)->text()),
                     qPrintable(e.dialogs.messages.last()));
        }
        f.TabSheet1->ListBox1->setCurrentRow(0);
        f.TabSheet1->Showsource1Click();
        QVERIFY(e.waitForPreview(good));
        QCOMPARE(f.TabSheet1->Image1->pictureWidth(), 24);
        QCOMPARE(e.dialogs.messages.size(), 4);
    }

    // Closing the program never hangs and never crashes, whatever the preview worker is doing.
    void exitWhileThePreviewWorkerIsBusy() {
        {
            Editor e;  // held inside a load
            auto& gate = e.holdPreviews();
            e.add({e.picture("a.png", 30, 20)});
            gate.waitForLoads(1);
            std::thread release([&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                gate.open();
            });
            e.close();
            release.join();
        }
        {
            Editor e;  // waiting for its hand-over, which this thread will never run
            auto& gate = e.holdPreviews();
            gate.open();
            e.add({e.picture("b.png", 30, 20)});
            gate.waitForLoads(1);
            QTest::qSleep(300);  // no events processed: the hand-over stays queued
            QVERIFY(e.form().TabSheet1->ShowSourceWorker->busy());
            QElapsedTimer timer;
            timer.start();
            e.close();
            QVERIFY(timer.elapsed() < 2000);
            QVERIFY(e.dialogs.messages.isEmpty());
        }
    }
};

TURNLET_GUI_TEST_MAIN(SourcePageTest)
#include "test_source_page.moc"
