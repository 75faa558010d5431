// SPDX-License-Identifier: MIT
// The "First and last frames" page: the pair buttons and typed numbers, the fits of the weave,
// one-side reloads, a busy worker, an unreadable file, and the frames table following the range.
#include <QListWidget>
#include <QSpinBox>
#include <QTableView>

#include <mutex>

#include "controls.h"
#include "export/export_engine.h"
#include "gui_test_support.h"
#include "session/make_export_plan.h"
#include "picture_view.h"

using turnlet::testing::Editor;

namespace {

// Records what the comparison worker loads; while held, each load waits.
class LoadLog {
  public:
    explicit LoadLog(turnlet::TForm2& form) {
        form.TabSheet2->ShowFirstLastJob().setBeforeLoad([this](const std::string& path) {
            std::unique_lock lock(mutex_);
            loads_ << QString::fromStdString(path);
            changed_.notify_all();
            changed_.wait(lock, [this] { return !held_; });
        });
    }
    void hold(bool held) {
        std::lock_guard lock(mutex_);
        held_ = held;
        changed_.notify_all();
    }
    QStringList take() {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, std::chrono::seconds(20), [this] { return !loads_.isEmpty(); });
        return std::exchange(loads_, {});
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool held_ = false;
    QStringList loads_;
};

bool WaitForComparison(turnlet::TForm2& f) {
    return Editor::waitFor(
        [&] { return !f.TabSheet2->ShowFirstLastWorker->busy() && !f.TabSheet2->FirstLastRedrawPending; });
}

// Photographs 30 + i pixels wide, the preview shown, the page entered.
QStringList AddPictures(Editor& e, int count, QStringList files = {}) {
    for (int i = 0; i < count; ++i) files << e.picture(QStringLiteral("%1.png").arg(i), 30 + i, 20);
    e.add(files);
    if (!e.waitForPreview(files.last())) qWarning("no preview");
    e.form().PageControl1->setCurrentIndex(1);
    if (!WaitForComparison(e.form())) qWarning("no comparison");
    return files;
}

}  // namespace

class FirstLastPageTest : public QObject {
    Q_OBJECT

  private slots:
    void pairButtonsAndTypedNumbersStayWithinTheList() {
        Editor e;
        const QStringList files = AddPictures(e, 10);
        auto& f = e.form();
        const struct {
            std::function<void()> act;
            int first, last;
        } steps[] = {{[&] { f.TabSheet2->BitBtn2Click(); }, 0, 9},
                     {[&] { f.TabSheet2->SpinEdit2->setValue(8); }, 0, 8},
                     {[&] { f.TabSheet2->BitBtn2Click(); }, 1, 9},
                     {[&] { f.TabSheet2->BitBtn1Click(); }, 0, 8},
                     {[&] { f.TabSheet2->BitBtn1Click(); }, 0, 8},
                     {[&] { f.TabSheet2->SpinEdit1->setValue(12); }, 8, 8},
                     {[&] { f.TabSheet2->SpinEdit1->setValue(-3); }, 0, 8},
                     {[&] { f.TabSheet2->SpinEdit2->setValue(20); }, 0, 9}};
        for (const auto& s : steps) {
            s.act();
            QVERIFY(WaitForComparison(f));
            QCOMPARE(QPoint(f.TabSheet2->SpinEdit1->value(), f.TabSheet2->SpinEdit2->value()), QPoint(s.first, s.last));
            QCOMPARE(QPoint(f.session().project().firstFrame, f.session().project().lastFrame),
                     QPoint(s.first, s.last));
            QCOMPARE(f.TabSheet3->StringGrid1->model()->rowCount(), s.last - s.first + 1);
        }
        QCOMPARE(f.StatusBar1->panelText(turnlet::kPathPanel), files[9]);
    }

    void theWeaveFitsTheViewWithTheFirstFramesProportions() {
        Editor e;
        const QString wide = e.picture("wide.png", 1000, 500), tall = e.picture("tall.png", 500, 1000);
        AddPictures(e, 0, {wide, tall});
        auto& f = e.form();
        const struct {
            int first;
            std::optional<turnlet::CropArea> crop;
            QSize view, firstSize, woven;
        } cases[] = {
            {0, turnlet::CropArea{0, 0, 1000, 500}, {400, 400}, {1000, 500}, {400, 200}},
            {1, turnlet::CropArea{0, 0, 500, 1000}, {400, 300}, {500, 1000}, {150, 300}},
            {1, turnlet::CropArea{10, -1, 50, 50}, {400, 300}, {500, 1000}, {150, 300}},  // -1: not cropped
            {0, std::nullopt, {400, 300}, {500, 500}, {300, 300}},                        // the preview's size (tall)
        };
        for (const auto& c : cases) {
            f.session().SetCrop(c.crop);
            f.TabSheet2->SpinEdit1->setValue(c.first);
            f.TabSheet2->Image5->setGeometry(f.TabSheet2->Image5->x(), f.TabSheet2->Image5->y(), c.view.width(),
                                             c.view.height());
            f.TabSheet2->Drawfirstandlast1Click();
            QVERIFY(WaitForComparison(f));
            QCOMPARE(QSize(f.TabSheet2->Image3->pictureWidth(), f.TabSheet2->Image3->pictureHeight()), c.firstSize);
            QCOMPARE(QSize(f.TabSheet2->Image5->pictureWidth(), f.TabSheet2->Image5->pictureHeight()), c.woven);
        }
    }

    // Only the changed end is read again; one changed while the worker is busy is drawn once it is
    // free; a file that cannot be read is named and its side keeps its picture.
    void oneEndReloadsOnlyItsSide() {
        Editor e;
        const QStringList files = AddPictures(e, 5, {e.path("gone.png")});  // "gone.png" is item 0
        auto& f = e.form();
        QVERIFY(Editor::waitFor([&] { return !e.dialogs.messages.isEmpty(); }));
        QVERIFY(e.dialogs.messages[0].contains(QStringLiteral("gone.png")));
        LoadLog log(f);
        f.TabSheet2->SpinEdit1->setValue(1);
        QCOMPARE(log.take(), QStringList{files[1]});
        QVERIFY(WaitForComparison(f));
        f.TabSheet2->SpinEdit2->setValue(3);
        QCOMPARE(log.take(), QStringList{files[3]});
        QVERIFY(WaitForComparison(f));
        QCOMPARE(f.TabSheet2->Image3->pictureWidth(), 30);
        QCOMPARE(f.TabSheet2->Image4->pictureWidth(), 30);  // 32 wide, brought to the first one's size

        log.hold(true);
        f.TabSheet2->SpinEdit1->setValue(2);
        QCOMPARE(log.take(), QStringList{files[2]});
        f.TabSheet2->SpinEdit1->setValue(3);  // the worker is busy
        log.hold(false);
        QVERIFY(WaitForComparison(f));
        QCOMPARE(f.TabSheet2->Image3->pictureWidth(), 32);
        QCOMPARE(e.dialogs.messages.size(), 1);
    }

    // The frames table follows every change of the range at once: an export made right after moving
    // the first frame, the last frame or deleting a source gives each photograph its own values.
    void theFramesTableFollowsTheRangeForAnImmediateExport() {
        Editor e;
        const QStringList files = AddPictures(e, 10);
        auto& f = e.form();
        f.session().SetFrameValues(3, {0, 0, 0, 0, 0, 0, 0});
        f.session().SetFrameValues(6, {9, 0, 0, 0, 0, 0, 0});
        QMap<QString, QString> dx = {{files[3], "0"}, {files[4], "3"}, {files[5], "6"}, {files[6], "9"}};
        const struct {
            const char* what;
            std::function<void()> act;
        } changes[] = {{"first frame", [&] { f.TabSheet2->SpinEdit1->setValue(1); }},
                       {"last frame", [&] { f.TabSheet2->SpinEdit2->setValue(8); }},
                       {"next pair", [&] { f.TabSheet2->BitBtn2Click(); }},
                       {"a source deleted inside the range", [&] {
                            f.TabSheet2->SpinEdit2->setValue(7);  // so that neither number changes
                            f.TabSheet1->ListBox1->clearSelection();
                            f.TabSheet1->ListBox1->item(4)->setSelected(true);
                            f.TabSheet1->Delete1Click();
                            dx = {{files[3], "0"}, {files[5], "4.5"}, {files[6], "9"}};
                        }}};
        for (const auto& c : changes) {
            c.act();
            // Exported one frame each, every photograph carries its own shift.
            turnlet::Project project = f.session().project();
            project.exportSettings.frames = project.lastFrame - project.firstFrame + 1;
            turnlet::ExportPlan plan;
            QVERIFY(turnlet::MakeExportPlan(project, {}, plan).ok());
            for (const turnlet::PlannedFrame& frame : plan.frames) {
                const QString path = QString::fromStdString(frame.source);
                if (dx.contains(path)) QCOMPARE(-frame.shiftX, static_cast<int>(dx[path].toDouble()));
            }
        }
    }
};

TURNLET_GUI_TEST_MAIN(FirstLastPageTest)
#include "test_firstlast_page.moc"
