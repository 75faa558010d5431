// SPDX-License-Identifier: MIT
// The main window: start-up, names, layout at two sizes, status bar, page changes, window commands.
#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QListWidget>
#include <QMenu>
#include <QSlider>
#include <QSpinBox>
#include <QTableView>
#include <QTimer>

#include "dialogs/about_box.h"
#include "controls.h"
#include "dialogs/export_dialog.h"
#include "gui_test_support.h"
#include "dialogs/parameters_dialog.h"
#include "picture_view.h"
#include "dialogs/video_import_dialog.h"

using turnlet::testing::Editor;

class MainWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void startUpBuildsTheWindowsControlsMenusAndTimers() {
        Editor e(Editor::Start::Deferred);
        auto& f = e.form();
        QCOMPARE(f.windowTitle(), QStringLiteral("Turnlet"));
        QCOMPARE(f.ClientArea->size(), QSize(911, 635));
        // The dialogs exist from the start, owned by the main window.
        QCOMPARE(e.windows().Form3().windowTitle(), QStringLiteral("Import from video"));
        QCOMPARE(e.windows().AboutBox().windowTitle(), QStringLiteral("About program"));
        QCOMPARE(e.windows().Form8().windowTitle(), QStringLiteral("Export "));
        QCOMPARE(e.windows().Form9().windowTitle(), QStringLiteral("Parameters"));
        const char* widgets[] = {"PageControl1", "TabSheet1", "TabSheet2", "TabSheet3", "StatusBar1",   "Button8",
                                 "Button9",      "Button10",  "ListBox1",  "GroupBox2", "ComboBox1",    "Button1",
                                 "Edit1",        "Edit2",     "Edit3",     "Edit4",     "Label1",       "Label2",
                                 "Label3",       "Label4",    "Image1",    "Shape1",    "PageControl2", "TabSheet5",
                                 "TabSheet6",    "Image3",    "Image4",    "Image5",    "Label5",       "SpinEdit1",
                                 "BitBtn1",      "BitBtn2",   "Label6",    "SpinEdit2", "StringGrid1",  "Image2",
                                 "TrackBar1",    "Button2",   "Button3",   "Button11",  "Button4",      "Button5",
                                 "Label9",       "ComboBox2"};
        for (const char* name : widgets) QVERIFY2(f.findChild<QWidget*>(QLatin1String(name)), name);
        const char* actions[] = {"New1",
                                 "Open1",
                                 "Save1",
                                 "Saveas1",
                                 "Exit1",
                                 "Export1",
                                 "English1",
                                 "N6",
                                 "Backgroundcolor1",
                                 "Context1",
                                 "About1",
                                 "Delete1",
                                 "Showsource1",
                                 "Drawselection1",
                                 "Drawfirstandlast1",
                                 "Recalculatepositions1",
                                 "Drawtunedimage1",
                                 "ReadINI1",
                                 "SaveINI1",
                                 "Showstatus1",
                                 "Areaparams1",
                                 "Showlast1",
                                 "Addlast1",
                                 "Clearlast1",
                                 "Last11",
                                 "Last51",
                                 "Last101"};
        for (const char* name : actions) QVERIFY2(f.findChild<QAction*>(QLatin1String(name)), name);
        QVERIFY(!f.Last11->isVisible() && !f.Last101->isVisible());
        QVERIFY(f.English1->isChecked() && !f.N6->isChecked());
        QCOMPARE(f.Timer2->interval(), 200);
        QVERIFY(f.Timer2->isActive());
        QCOMPARE(f.Timer1->interval(), 1000);
        QCOMPARE(f.PageControl1->currentIndex(), 0);
        QCOMPARE(f.TabSheet1->ComboBox1->currentText(), QString::fromUtf8("0°"));
        QCOMPARE(f.TabSheet1->ComboBox1->count(), 4);
        QVERIFY(!f.TabSheet1->Shape1->isVisible());
        QCOMPARE(f.session().project().backgroundColor, 0x00FFFFFFu);
        QCOMPARE(f.session().project().exportSettings.directory, f.resourceDir() + "/result");
        QStringList headers;
        for (int c = 0; c < 9; ++c)
            headers << f.TabSheet3->StringGrid1->model()->headerData(c, Qt::Horizontal).toString();
        QCOMPARE(headers, (QStringList{QString::fromUtf8("№"), "Keyframe", "DX", "DY", "Alpha", "Scale", "Brightness",
                                       "Contrast", "Gamma"}));
        QCOMPARE(f.TabSheet3->StringGrid1->horizontalHeader()->sectionSize(3), 55);
        // The deferred start applies the language about a second after start.
        QVERIFY(e.waitFor([&] { return !f.Timer1->isActive(); }, 3000));
        QVERIFY(f.English1->isChecked());
    }

    void controlsFollowTheWindowSize() {
        Editor e;
        auto& f = e.form();
        const QString photo = e.picture("p.png", 400, 300);
        e.add({photo});
        QVERIFY(e.waitForPreview(photo));
        f.TabSheet1->Image1MouseDown(100, 100, Qt::LeftButton);
        f.TabSheet1->Image1MouseUp(200, 150, Qt::NoButton);
        const QStringList fields = {f.TabSheet1->Edit1->text(), f.TabSheet1->Edit2->text(), f.TabSheet1->Edit3->text(),
                                    f.TabSheet1->Edit4->text()};
        f.Timer2->stop();  // so the marks a resize leaves are still there to see
        for (const QSize client : {QSize(1400, 900), QSize(911, 635)}) {
            f.TabSheet3->TuneRedrawPending = f.TabSheet2->FirstLastRedrawPending = false;
            f.resize(client + (f.size() - f.ClientArea->size()));
            QVERIFY(e.waitFor([&] { return f.ClientArea->size() == client; }, 3000));
            const QSize pc1 = f.PageControl1->size();
            QCOMPARE(f.PageControl1->geometry(), QRect(8, 8, client.width() - 10, client.height() - 30));
            QCOMPARE(f.StatusBar1->geometry(), QRect(0, client.height() - 19, client.width(), 19));
            const QSize page = f.TabSheet1->size();
            QCOMPARE(page, pc1 - f.PageControl1->chrome());
            QCOMPARE(f.TabSheet1->ListBox1->geometry().bottom() + 1 + 7, f.TabSheet1->GroupBox2->y());
            QCOMPARE(f.TabSheet1->GroupBox2->geometry().bottom() + 1, page.height() - 32);
            QCOMPARE(f.TabSheet1->Image1->geometry(), QRect(328, 3, page.width() - 348, page.height() - 25));
            QCOMPARE(f.TabSheet3->TrackBar1->y(), pc1.height() - 100);
            QCOMPARE(f.TabSheet3->Button11->y(), f.TabSheet3->TrackBar1->geometry().bottom() + 1 + 5);
            QCOMPARE(f.TabSheet3->ComboBox2->x(), page.width() - 85);
            QCOMPARE(f.TabSheet3->Image2->height(), f.TabSheet3->StringGrid1->height());
            QCOMPARE(f.TabSheet2->Image4->x(), f.TabSheet2->Image3->x() + f.TabSheet2->Image3->width() + 5);
            // The comparison views stay inside their page.
            QVERIFY(f.TabSheet2->Image4->geometry().right() < f.TabSheet2->TabSheet5->width() ||
                    !f.TabSheet2->TabSheet5->isVisible());
            QVERIFY(f.TabSheet3->TuneRedrawPending && f.TabSheet2->FirstLastRedrawPending);
            // The crop outline follows the preview; the crop itself does not change.
            QCOMPARE((QStringList{f.TabSheet1->Edit1->text(), f.TabSheet1->Edit2->text(), f.TabSheet1->Edit3->text(),
                                  f.TabSheet1->Edit4->text()}),
                     fields);
            const double s = std::min(f.TabSheet1->Image1->width() / 400.0, f.TabSheet1->Image1->height() / 300.0);
            QCOMPARE(f.TabSheet1->Shape1->x(), static_cast<int>(fields[0].toInt() * s + 328));
            QCOMPARE(f.TabSheet1->Shape1->width(), static_cast<int>((fields[2].toInt() - 1) * s));
        }
    }

    void statusBarInBothLanguagesAndAfterNew() {
        Editor e;
        auto& f = e.form();
        QStringList files;
        for (int i = 0; i < 6; ++i) files << e.picture(QStringLiteral("%1.png").arg(i), 30, 40);
        e.add(files);
        QVERIFY(e.waitForPreview(files[5]));
        f.TabSheet2->SpinEdit2->setValue(4);
        f.TabSheet2->SpinEdit1->setValue(1);
        f.session().SetCrop(turnlet::CropArea{1, 2, 10, 20});
        QCOMPARE(f.StatusBar1->panelText(0), QStringLiteral("Source: (30x40)"));
        QCOMPARE(f.StatusBar1->panelText(1), QStringLiteral("Area: (10x20)"));
        QCOMPARE(f.StatusBar1->panelText(2), QStringLiteral("All images: 6"));
        QCOMPARE(f.StatusBar1->panelText(3), QStringLiteral("Selected images: 4"));
        f.N6Click();
        QVERIFY(f.N6->isChecked() && !f.English1->isChecked());
        QCOMPARE(f.StatusBar1->panelText(0), QString::fromUtf8("Источник: (30x40)"));
        QCOMPARE(f.StatusBar1->panelText(3), QString::fromUtf8("Выбрано: 4"));
        f.Areaparams1Click();
        QCOMPARE(f.Area, (turnlet::CropArea{1, 2, 10, 20}));
        QCOMPARE(f.TabSheet2->InterlaceViewSize, f.TabSheet2->Image5->size());
        f.New1Click();
        for (int panel = 0; panel < 6; ++panel) QVERIFY(f.StatusBar1->panelText(panel).isEmpty());
        QCOMPARE(f.windowTitle(), QStringLiteral("Turnlet"));
        QVERIFY(!f.TabSheet1->Image1->hasPicture());
        QCOMPARE(f.TabSheet2->SpinEdit1->value(), 0);
        QCOMPARE(f.TabSheet2->SpinEdit2->value(), 0);
        QCOMPARE(f.TabSheet3->StringGrid1->model()->rowCount(), 1);
        QVERIFY(f.TabSheet1->Edit3->text().isEmpty());
    }

    void aPageChangeClearsThePointerPanelAndKeepsTheFrameInRange() {
        Editor e;
        auto& f = e.form();
        QStringList files;
        for (int i = 0; i < 4; ++i) files << e.picture(QStringLiteral("%1.png").arg(i), 8, 8);
        e.add(files);
        f.setStatusPanel(turnlet::kPointerPanel, "(3,4)");
        f.TabSheet3->CurrentFrame = 9;
        f.PageControl1->setCurrentIndex(2);
        QVERIFY(f.StatusBar1->panelText(turnlet::kPointerPanel).isEmpty());
        QCOMPARE(f.TabSheet3->CurrentFrame, 3);
        QCOMPARE(f.TabSheet3->TrackBar1->value(), 3);
        QCOMPARE(f.TabSheet3->StringGrid1->selectionModel()->currentIndex().row(), 3);
        // "Next" on the last frame wraps to the first; "Previous" on the first to the last.
        f.TabSheet3->Button5Click();
        QCOMPARE(f.TabSheet3->CurrentFrame, 0);
        f.TabSheet3->Button2Click();
        QCOMPARE(f.TabSheet3->CurrentFrame, 3);
        f.PageControl1->setCurrentIndex(1);
        QCOMPARE(f.StatusBar1->panelText(turnlet::kPathPanel), files[3]);
    }

    void windowCommands() {
        Editor e;
        auto& f = e.form();
        // Background colour: offered as it stands, taken when confirmed, kept when cancelled.
        e.dialogs.colorAnswers.push_back(QColor(0x12, 0x34, 0x56));
        f.Backgroundcolor1Click();
        QCOMPARE(e.dialogs.colorsOffered.value(0), QColor(Qt::white));
        QCOMPARE(f.session().project().backgroundColor, 0x00563412u);
        f.Backgroundcolor1Click();
        QCOMPARE(f.session().project().backgroundColor, 0x00563412u);
        QCOMPARE(e.dialogs.colorsOffered.value(1), QColor(0x12, 0x34, 0x56));

        // Export without images.
        f.Export1Click();
        QCOMPARE(e.dialogs.messages.value(0), QStringLiteral("No images loaded!"));
        f.N6Click();
        f.Export1Click();
        QCOMPARE(e.dialogs.messages.value(1), QString::fromUtf8("Изображения не загружены!"));

        // The user guide: a message naming the missing file, else the browser.
        f.Context1Click();
        QVERIFY(e.dialogs.messages.value(2).contains(e.path("help.html")));
        QVERIFY(e.dialogs.openedUrls.isEmpty());
        QFile guide(e.path("help.html"));
        QVERIFY(guide.open(QIODevice::WriteOnly));
        guide.close();
        f.Context1Click();
        QCOMPARE(e.dialogs.openedUrls.value(0), QUrl::fromLocalFile(e.path("help.html")));

        f.Exit1Click();
        QVERIFY(!f.isVisible());
        e.close();  // the windows end; the workers with them
    }
};

TURNLET_GUI_TEST_MAIN(MainWindowTest)
#include "test_main_window.moc"
