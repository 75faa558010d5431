// SPDX-License-Identifier: MIT
// The editor against the damaged-file corpus: the preview, the first/last comparison, the tuned
// view and the export dialog each tell the user which file is damaged, within a second and a few
// hundred megabytes, and go on serving the next request.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QSlider>
#include <QSpinBox>

#include <algorithm>
#include <cstdio>
#include <functional>

#include "child_measure.h"
#include "controls.h"
#include "damaged_corpus.h"
#include "dialogs/export_dialog.h"
#include "gui_test_support.h"

using turnlet::damaged::DamagedFile;
using turnlet::testing::Editor;

namespace {

#ifdef TURNLET_SANITIZED
// The sanitizer keeps freed memory aside for a while, so a resident-size bound means nothing there.
constexpr bool kBoundMemory = false;
constexpr double kSlowdown = 5;
#else
constexpr bool kBoundMemory = true;
constexpr double kSlowdown = 1;
#endif

struct Corpus {
    explicit Corpus(Editor& e) : editor(e) {
        files = turnlet::damaged::MakeDamagedCorpus(e.path("damaged").toStdString());
        QStringList paths;
        good = e.picture(QStringLiteral("whole.png"), 60, 40);
        paths << good;
        for (const DamagedFile& f : files) paths << QString::fromStdString(f.path);
        paths << e.picture(QStringLiteral("last.png"), 60, 40);
        e.add(paths);
        if (!e.waitForPreview(paths.last())) qWarning("no preview");
    }
    // Source index of corpus entry i.
    static int index(std::size_t i) { return static_cast<int>(i) + 1; }

    // Runs act for every corpus file and waits until the caller has told the user (or shown a
    // file that loads) and its worker is idle; holds each to the time and memory bounds.
    bool check(const char* caller, const std::function<void(int)>& act, const std::function<bool()>& idle,
               const std::function<bool(const DamagedFile&)>& shown) {
        bool ok = true;
        for (std::size_t i = 0; i < files.size(); ++i) {
            const DamagedFile& file = files[i];
            const QString path = QString::fromStdString(file.path);
            const qsizetype before = editor.dialogs.messages.size();
            turnlet::testing::PeakMeter meter;
            QElapsedTimer timer;
            timer.start();
            act(index(i));
            const bool told = Editor::waitFor(
                [&] { return idle() && (editor.dialogs.messages.size() > before || (file.loads && shown(file))); },
                10000);
            const double seconds = timer.nsecsElapsed() / 1e9;
            const long growthKb = meter.growthKb();
            const QString message = editor.dialogs.messages.value(before);
            std::printf("[  MEASURE ] %-11s %-44s %7.1f ms %8ld KB  %s\n", caller, file.name.c_str(), seconds * 1000,
                        growthKb, qPrintable(message.left(100)));
            bool fine = told && seconds < turnlet::damaged::kMaxSeconds * kSlowdown;
            if (kBoundMemory) fine = fine && growthKb < turnlet::damaged::kMaxPeakMegabytes * 1024;
            if (file.loads) {
                for (qsizetype m = before; m < editor.dialogs.messages.size(); ++m)
                    fine = fine && !editor.dialogs.messages[m].contains(path);
            } else {
                // Every message of this request names the file.
                for (qsizetype m = before; m < editor.dialogs.messages.size(); ++m)
                    fine = fine && editor.dialogs.messages[m].contains(path + QStringLiteral(": "));
            }
            if (!fine) qWarning("%s: %s failed its check", caller, file.name.c_str());
            ok = ok && fine;
        }
        return ok;
    }

    Editor& editor;
    std::vector<DamagedFile> files;
    QString good;
};

}  // namespace

class ReliabilityDamagedTest : public QObject {
    Q_OBJECT

  private slots:
    void previewNamesEveryDamagedFile() {
        Editor e;
        Corpus c(e);
        auto& f = e.form();
        QVERIFY(c.check(
            "preview",
            [&](int i) {
                f.TabSheet1->ListBox1->setCurrentRow(i, QItemSelectionModel::ClearAndSelect);
                f.TabSheet1->Showsource1Click();
            },
            [&] { return !f.TabSheet1->ShowSourceWorker->busy() && !f.TabSheet1->SourceRedrawPending; },
            [&](const DamagedFile& file) { return f.TabSheet1->ShownSourcePath == file.path; }));
        // Still serving: a whole file is shown.
        f.TabSheet1->ListBox1->setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
        f.TabSheet1->Showsource1Click();
        QVERIFY(e.waitForPreview(c.good));
    }

    void firstAndLastNameEveryDamagedFile() {
        Editor e;
        Corpus c(e);
        auto& f = e.form();
        f.TabSheet2->SpinEdit1->setValue(0);
        f.PageControl1->setCurrentIndex(1);
        auto idle = [&] { return !f.TabSheet2->ShowFirstLastWorker->busy() && !f.TabSheet2->FirstLastRedrawPending; };
        QVERIFY(Editor::waitFor(idle));
        const qsizetype before = e.dialogs.messages.size();
        QVERIFY(c.check(
            "first/last", [&](int i) { f.TabSheet2->SpinEdit2->setValue(i); }, idle,
            [](const DamagedFile&) { return true; }));
        QVERIFY(e.dialogs.messages.size() > before);
    }

    void tunedViewNamesEveryDamagedFile() {
        Editor e;
        Corpus c(e);
        auto& f = e.form();
        f.PageControl1->setCurrentIndex(2);
        auto idle = [&] { return !f.TabSheet3->TunePictureWorker->busy() && !f.TabSheet3->TuneRedrawPending; };
        QVERIFY(Editor::waitFor(idle));
        QVERIFY(c.check(
            "tuned view", [&](int i) { f.TabSheet3->TrackBar1->setValue(i); }, idle,
            [](const DamagedFile&) { return true; }));
        // The interlace frame is read the same way.
        f.TabSheet3->TrackBar1->setValue(0);
        QVERIFY(Editor::waitFor(idle));
        QVERIFY(c.check(
            "interlace",
            [&](int i) {
                f.TabSheet3->ComboBox2->setCurrentIndex(i + 1);
                f.TabSheet3->ComboBox2Change();
            },
            idle, [](const DamagedFile&) { return true; }));
    }

    void exportDialogNamesEveryDamagedFile() {
        Editor e;
        Corpus c(e);
        auto& f = e.form();
        turnlet::TForm8& d = e.windows().Form8();
        const QString out = e.path(QStringLiteral("out"));
        QDir().mkpath(out);
        auto set = [](QLineEdit* edit, const QString& text) {
            edit->setText(text);
            edit->textEdited(text);
        };
        set(d.Edit2, out);
        set(d.Edit1, QStringLiteral("2"));
        set(d.Edit4, QStringLiteral("40"));
        set(d.Edit5, QStringLiteral("30"));
        d.ComboBox1->setCurrentIndex(1);
        d.CheckBox2->setChecked(false);
        QVERIFY(c.check(
            "export",
            [&](int i) {
                // A turn of this one source alone.
                f.TabSheet2->SpinEdit1->setValue(0);
                f.TabSheet2->SpinEdit2->setValue(i);
                f.TabSheet2->SpinEdit1->setValue(i);
                QDir(out).removeRecursively();
                QDir().mkpath(out);
                d.Button2Click();
            },
            [&] { return !d.exporting(); }, [&](const DamagedFile&) { return QFile::exists(out + "/0002.png"); }));
        // Only the files that load finish their export.
        const auto loads = std::count_if(c.files.begin(), c.files.end(), [](const DamagedFile& f) { return f.loads; });
        QCOMPARE(e.dialogs.messages.count(QStringLiteral("Export finished!")), loads);
        // Still usable: a whole source exports to the end.
        f.TabSheet2->SpinEdit1->setValue(0);
        f.TabSheet2->SpinEdit2->setValue(0);
        d.Button2Click();
        QVERIFY(Editor::waitFor([&] { return !d.exporting(); }));
        QCOMPARE(e.dialogs.messages.last(), QStringLiteral("Export finished!"));
    }
};

TURNLET_GUI_TEST_MAIN(ReliabilityDamagedTest)
#include "test_reliability_damaged.moc"
