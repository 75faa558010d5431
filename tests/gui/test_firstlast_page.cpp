// SPDX-License-Identifier: MIT
// The "First and last frames" page: the pair buttons, typed numbers, the two views and the weave,
// one-side reloads, a busy worker, unreadable files, and the frames table following the range.
#include <QTableView>
#include <QListWidget>
#include <QSpinBox>

#include <mutex>
#include <vector>

#include "export/export_engine.h"
#include "controls.h"
#include "gui_test_support.h"
#include "picture_view.h"

using turnlet::testing::Editor;

namespace {

// Records which files the comparison worker loads; can hold it at the start of each load.
class LoadLog {
  public:
    explicit LoadLog(turnlet::TForm2& form) {
        form.ShowFirstLastJob().setBeforeLoad([this](const std::string& path) {
            std::unique_lock lock(mutex_);
            loads_.push_back(QString::fromStdString(path));
            changed_.notify_all();
            changed_.wait(lock, [this] { return open_; });
        });
    }
    void hold() {
        std::lock_guard lock(mutex_);
        open_ = false;
    }
    void release() {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    QStringList take() {
        std::lock_guard lock(mutex_);
        QStringList taken = loads_;
        loads_.clear();
        return taken;
    }
    bool waitForLoad() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(20), [this] { return !loads_.isEmpty(); });
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = true;
    QStringList loads_;
};

bool WaitForComparison(turnlet::TForm2& f) {
    return Editor::waitFor([&] { return !f.ShowFirstLastWorker->busy() && !f.FirstLastRedrawPending; });
}

QStringList Pictures(Editor& e, int count, int width = 30, int height = 20) {
    QStringList files;
    for (int i = 0; i < count; ++i) files << e.picture(QStringLiteral("%1.png").arg(i), width + i, height);
    return files;
}

}  // namespace

class FirstLastPageTest : public QObject {
    Q_OBJECT

  private slots:
    void pairButtonsMoveBothEndsWithinTheList() {
        Editor e;
        const QStringList files = Pictures(e, 10);
        e.add(files);
        QVERIFY(e.waitForPreview(files.last()));
        auto& f = e.form();
        LoadLog log(f);
        f.PageControl1->setCurrentIndex(1);
        QVERIFY(WaitForComparison(f));
        QCOMPARE(log.take(), (QStringList{files[0], files[9]}));
        QCOMPARE(f.Image3->pictureWidth(), 30);
        QCOMPARE(f.Image4->pictureWidth(), 30);  // frame 9 (39 wide) brought to the first one's size

        struct Step {
            const char* what;
            std::function<void()> act;
            int first, last;
        };
        const Step steps[] = {
            {"next at the end", [&] { f.BitBtn2Click(); }, 0, 9},
            {"last typed 8", [&] { f.SpinEdit2->setValue(8); }, 0, 8},
            {"next", [&] { f.BitBtn2Click(); }, 1, 9},
            {"previous", [&] { f.BitBtn1Click(); }, 0, 8},
            {"previous at the start", [&] { f.BitBtn1Click(); }, 0, 8},
            {"first typed past the last", [&] { f.SpinEdit1->setValue(12); }, 8, 8},
            {"first typed below 0", [&] { f.SpinEdit1->setValue(-3); }, 0, 8},
            {"last typed past the list", [&] { f.SpinEdit2->setValue(20); }, 0, 9},
        };
        for (const Step& s : steps) {
            s.act();
            QVERIFY2(WaitForComparison(f), s.what);
            QVERIFY2(f.project.firstFrame == s.first && f.project.lastFrame == s.last, s.what);
            QCOMPARE(f.SpinEdit1->value(), s.first);
            QCOMPARE(f.SpinEdit2->value(), s.last);
            QCOMPARE(f.StringGrid1->model()->rowCount(), s.last - s.first + 1);
            QCOMPARE(f.TrackBar1->maximum(), s.last - s.first);
        }
        QCOMPARE(f.Image3->pictureWidth(), 30);
        QCOMPARE(f.Image4->pictureWidth(), 30);
        QCOMPARE(f.StatusBar1->panelText(turnlet::kPathPanel), files[9]);
    }

    void viewsShowTheCropAndTheWeaveFitsTheView() {
        Editor e;
        const QString wide = e.picture("wide.png", 1000, 500);
        const QString tall = e.picture("tall.png", 500, 1000);
        e.add({wide, tall});
        auto& f = e.form();
        QVERIFY(e.waitForPreview(tall));
        f.PageControl1->setCurrentIndex(1);
        f.PageControl2->setCurrentIndex(1);
        struct Case {
            QString first;
            turnlet::CropTexts crop;
            QSize view;
            QSize firstSize, woven;
        };
        const Case cases[] = {
            {wide, {"0", "0", "", ""}, {400, 400}, {500, 500}, {400, 400}},  // the preview's size (tall)
            {wide, {"0", "0", "1000", "500"}, {400, 400}, {1000, 500}, {400, 200}},
            {tall, {"0", "0", "500", "1000"}, {400, 300}, {500, 1000}, {150, 300}},
            {tall, {"10", "-1", "50", "50"}, {400, 300}, {500, 1000}, {150, 300}},  // -1: no crop
            {wide, {"100", "50", "200", "100"}, {400, 300}, {200, 100}, {400, 200}},
        };
        for (const Case& c : cases) {
            f.project.crop = c.crop;
            f.SpinEdit1->setValue(c.first == wide ? 0 : 1);
            f.Image5->setGeometry(f.Image5->x(), f.Image5->y(), c.view.width(), c.view.height());
            f.Drawfirstandlast1Click();
            QVERIFY(WaitForComparison(f));
            QCOMPARE(QSize(f.Image3->pictureWidth(), f.Image3->pictureHeight()), c.firstSize);
            QCOMPARE(QSize(f.Image5->pictureWidth(), f.Image5->pictureHeight()), c.woven);
        }
        // The first frame's top-left quarter is red: the weave's odd rows show it at its top left.
        f.Image5->repaint();
        const QImage woven = f.Image5->shownImage();
        QCOMPARE(woven.pixelColor(5, 1), QColor(255, 128, 128));
    }

    void oneEndReloadsOnlyItsOwnSide() {
        Editor e;
        const QStringList files = Pictures(e, 5);
        e.add(files);
        QVERIFY(e.waitForPreview(files.last()));
        auto& f = e.form();
        LoadLog log(f);
        f.PageControl1->setCurrentIndex(1);
        QVERIFY(WaitForComparison(f));
        log.take();
        f.SpinEdit2->setValue(2);
        QVERIFY(WaitForComparison(f));
        QCOMPARE(log.take(), QStringList{files[2]});
        QCOMPARE(f.Image3->pictureWidth(), 30);  // kept
        QCOMPARE(f.Image4->pictureWidth(), 30);  // frame 2 (32 wide) brought to the first's size
        f.SpinEdit1->setValue(1);
        QVERIFY(WaitForComparison(f));
        QCOMPARE(log.take(), QStringList{files[1]});
        QCOMPARE(f.Image3->pictureWidth(), 31);
        QCOMPARE(f.StatusBar1->panelText(turnlet::kPathPanel), files[1]);
    }

    // A number changed while the worker is busy is still shown once the worker is free, so the view
    // never stays on a frame the numbers have left.
    void aNumberChangedWhileTheWorkerIsBusyIsShownAfterwards() {
        Editor e;
        const QStringList files = Pictures(e, 6);
        e.add(files);
        QVERIFY(e.waitForPreview(files.last()));
        auto& f = e.form();
        LoadLog log(f);
        f.PageControl1->setCurrentIndex(1);
        QVERIFY(WaitForComparison(f));
        log.take();
        log.hold();
        f.SpinEdit1->setValue(1);
        QVERIFY(log.waitForLoad());
        f.SpinEdit1->setValue(2);  // the worker is busy with frame 1
        f.SpinEdit1->setValue(3);
        QVERIFY(f.FirstLastRedrawPending);
        log.release();
        QVERIFY(WaitForComparison(f));
        QVERIFY(log.take().contains(files[3]));
        QCOMPARE(f.Image3->pictureWidth(), 33);
    }

    void aFileThatCannotBeReadIsNamedAndTheWorkerGoesOn() {
        Editor e;
        QStringList files = Pictures(e, 3);
        const QString missing = e.path("gone.png");
        files.insert(1, missing);
        e.add(files);
        QVERIFY(e.waitForPreview(files.last()));
        auto& f = e.form();
        f.PageControl1->setCurrentIndex(1);
        QVERIFY(WaitForComparison(f));
        f.SpinEdit1->setValue(1);
        QVERIFY(Editor::waitFor([&] { return !e.dialogs.messages.isEmpty(); }));
        QVERIFY(e.dialogs.messages[0].contains(QStringLiteral("gone.png")));
        QCOMPARE(f.Image3->pictureWidth(), 30);  // the side keeps its picture
        QVERIFY(WaitForComparison(f));
        f.SpinEdit1->setValue(2);
        QVERIFY(WaitForComparison(f));
        QCOMPARE(f.Image3->pictureWidth(), 31);
        QCOMPARE(e.dialogs.messages.size(), 1);
    }

    // The frames table follows every change of the range at once: an export made right after moving
    // the first frame, the last frame or deleting a source gives each photograph its own values.
    void theFramesTableFollowsTheRangeForAnImmediateExport() {
        Editor e;
        const QStringList files = Pictures(e, 10, 8, 8);
        e.add(files);
        QVERIFY(e.waitForPreview(files.last()));
        auto& f = e.form();
        turnlet::ChangeKeyframe(f.project.keyframes, files[3].toStdString(), {0, 0, 0, 0, 0, 0, 0});
        turnlet::ChangeKeyframe(f.project.keyframes, files[6].toStdString(), {9, 0, 0, 0, 0, 0, 0});
        f.RestoreKeyframes();
        // DX by photograph: 0 at 3, 3 at 4, 6 at 5, 9 at 6.
        QMap<QString, QString> dx = {{files[3], "0"}, {files[4], "3"}, {files[5], "6"}, {files[6], "9"}};
        auto check = [&](const char* what) {
            const int frames = f.project.lastFrame - f.project.firstFrame + 1;
            QCOMPARE(f.project.frames.rowCount(), frames + 1);
            const turnlet::TextGrid table =
                turnlet::BuildExportTable(frames, f.project.frames, f.project.sources, f.project.firstFrame);
            for (int k = 1; k <= frames; ++k) {
                const QString path = QString::fromStdString(table.at(k, turnlet::kExportSource));
                if (dx.contains(path))
                    QVERIFY2(QString::fromStdString(table.at(k, turnlet::kExportDX)) == dx[path],
                             qPrintable(QStringLiteral("%1: %2").arg(QLatin1String(what), path)));
            }
        };
        f.SpinEdit1->setValue(1);
        check("first frame moved");
        f.SpinEdit1->setValue(2);
        check("first frame moved again");
        f.SpinEdit2->setValue(8);
        check("last frame moved");
        f.BitBtn2Click();
        check("next pair");
        f.SpinEdit2->setValue(7);
        check("last frame moved back");
        f.ListBox1->clearSelection();
        f.ListBox1->item(4)->setSelected(true);  // inside the range; neither number changes
        f.Delete1Click();
        QCOMPARE(f.project.firstFrame, 3);
        dx = {{files[3], "0"}, {files[5], "4.5"}, {files[6], "9"}};  // photograph 4 is gone
        check("a source deleted");
    }
};

TURNLET_GUI_TEST_MAIN(FirstLastPageTest)
#include "test_firstlast_page.moc"
