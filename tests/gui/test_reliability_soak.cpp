// SPDX-License-Identifier: MIT
// A long random session: clicks on whole and damaged sources, resizes, page changes, frame numbers,
// the slider, interlace and rotation, New and Open in between, with every worker slowed at random.
// Afterwards each view draws the latest state; and the editor ends cleanly at any moment.
#include <QComboBox>
#include <QListWidget>
#include <QSlider>
#include <QSpinBox>

#include <chrono>
#include <cstdio>
#include <mutex>
#include <random>
#include <thread>

#include "controls.h"
#include "damaged_corpus.h"
#include "gui_test_support.h"

using turnlet::testing::Editor;

namespace {

#ifdef TURNLET_SANITIZED
constexpr int kOperations = 400;
constexpr int kEndings = 6;
#else
constexpr int kOperations = 2000;
constexpr int kEndings = 20;
#endif

// TURNLET_SOAK_SEED picks another random session; the default one is fixed, so failures repeat.
unsigned Seed(unsigned fallback) {
    const QByteArray seed = qgetenv("TURNLET_SOAK_SEED");
    return seed.isEmpty() ? fallback : seed.toUInt() + fallback;
}

void RandomDelay() {
    thread_local std::minstd_rand random(
        static_cast<unsigned>(std::hash<std::thread::id>{}(std::this_thread::get_id())));
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
}

// What the slowed workers were last asked to draw.
struct Drawn {
    std::mutex mutex;
    std::string tuned, firstLast;
    void set(std::string& field, const std::string& path) {
        std::lock_guard lock(mutex);
        field = path;
    }
    std::string get(const std::string& field) {
        std::lock_guard lock(mutex);
        return field;
    }
};

class Session {
  public:
    Session(Editor& e, Drawn& drawn, unsigned seed) : e_(e), f_(e.form()), random_(seed) {
        f_.TabSheet1->ShowSourceJob().setBeforeLoad([](const std::string&) { RandomDelay(); });
        f_.TabSheet2->ShowFirstLastJob().setBeforeLoad([&drawn](const std::string& path) {
            drawn.set(drawn.firstLast, path);
            RandomDelay();
        });
        f_.TabSheet3->TunePictureJob().setBeforeRender([&drawn](const turnlet::TuneRequest& r) {
            drawn.set(drawn.tuned, r.TuneFramePath);
            RandomDelay();
        });
        damaged_ = turnlet::damaged::MakeDamagedCorpus(e.path("damaged").toStdString());
        for (int i = 0; i < 6; ++i) files_ << e.picture(QStringLiteral("%1.png").arg(i), 80 + 10 * i, 60);
        for (int i = 0; i < 6; ++i) files_ << QString::fromStdString(damaged_[static_cast<std::size_t>(i) * 3].path);
        e.add(files_);
        project_ = e.path("soak.trn.prj");
        e.dialogs.fileAnswers.push_back(project_);
        f_.Saveas1Click();
    }

    void step() {
        const int count = f_.TabSheet1->ListBox1->count();
        auto any = [&](int n) { return n > 0 ? static_cast<int>(random_() % static_cast<unsigned>(n)) : 0; };
        switch (random_() % 12) {
            case 0:
            case 1:
                f_.TabSheet1->ListBox1->setCurrentRow(any(count), QItemSelectionModel::ClearAndSelect);
                f_.TabSheet1->Showsource1Click();
                break;
            case 2:
                f_.resize(700 + any(500), 500 + any(300));
                break;
            case 3:
                f_.PageControl1->setCurrentIndex(any(3));
                break;
            case 4:
                f_.TabSheet2->SpinEdit1->setValue(any(count));
                break;
            case 5:
                f_.TabSheet2->SpinEdit2->setValue(any(count));
                break;
            case 6:
            case 7:
                f_.TabSheet3->TrackBar1->setValue(any(f_.TabSheet3->TrackBar1->maximum() + 1));
                break;
            case 8:
                f_.TabSheet3->ComboBox2->setCurrentIndex(any(f_.TabSheet3->ComboBox2->count()));
                f_.TabSheet3->ComboBox2Change();
                break;
            case 9:
                f_.TabSheet1->ComboBox1->setCurrentIndex(any(4));
                break;
            case 10:
                if (random_() % 8 == 0) {
                    f_.New1Click();
                    e_.add(files_);
                }
                break;
            case 11:
                if (random_() % 8 == 0) {
                    e_.dialogs.fileAnswers.push_back(project_);
                    f_.Open1Click();
                }
                break;
        }
        QTest::qWait(any(4));
    }

    bool settle() {
        return Editor::waitFor(
            [&] {
                return !f_.TabSheet1->ShowSourceWorker->busy() && !f_.TabSheet2->ShowFirstLastWorker->busy() &&
                       !f_.TabSheet3->TunePictureWorker->busy() && !f_.TabSheet3->TuneRedrawPending &&
                       !f_.TabSheet2->FirstLastRedrawPending && !f_.TabSheet1->SourceRedrawPending &&
                       !f_.TabSheet1->SourceResizePending;
            },
            30000);
    }

  private:
    Editor& e_;
    turnlet::TForm2& f_;
    std::mt19937 random_;
    std::vector<turnlet::damaged::DamagedFile> damaged_;
    QStringList files_;
    QString project_;
};

}  // namespace

class ReliabilitySoakTest : public QObject {
    Q_OBJECT

  private slots:
    void aLongRandomSessionEndsOnTheLatestState() {
        Drawn drawn;  // outlives the editor, whose workers write it
        Editor e;
        auto& f = e.form();
        Session session(e, drawn, Seed(7));
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < kOperations; ++i) {
            session.step();
            // Now and then the state settles, and what is shown is what was asked for last.
            if (i % 250 != 249) continue;
            QVERIFY(session.settle());
            const int row = f.TabSheet1->ListBox1->currentRow();
            const auto& sources = f.session().project().sources;
            if (row >= 0 && row < static_cast<int>(sources.size()))
                QCOMPARE(f.TabSheet1->ShownSourcePath, sources[static_cast<std::size_t>(row)]);
        }
        // The last state of each page is drawn, whatever came before.
        f.TabSheet1->ListBox1->setCurrentRow(1, QItemSelectionModel::ClearAndSelect);
        f.TabSheet1->Showsource1Click();
        QVERIFY(session.settle());
        QCOMPARE(f.TabSheet1->ShownSourcePath, f.session().project().sources[1]);
        f.PageControl1->setCurrentIndex(2);
        f.TabSheet2->SpinEdit1->setValue(0);
        f.TabSheet2->SpinEdit2->setValue(f.TabSheet1->ListBox1->count() - 1);
        f.TabSheet3->TrackBar1->setValue(2);
        QVERIFY(session.settle());
        QCOMPARE(drawn.get(drawn.tuned), f.session().project().sources[2]);
        f.PageControl1->setCurrentIndex(1);
        f.TabSheet2->SpinEdit2->setValue(3);
        QVERIFY(session.settle());
        QCOMPARE(drawn.get(drawn.firstLast), f.session().project().sources[3]);
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        std::printf("[  MEASURE ] %d random operations, %lld messages about damaged files, %.1f s\n", kOperations,
                    static_cast<long long>(e.dialogs.messages.size()), elapsed.count());
    }

    void theEditorEndsCleanlyAtAnyMoment() {
        std::mt19937 random(Seed(11));
        const auto start = std::chrono::steady_clock::now();
        for (int round = 0; round < kEndings; ++round) {
            Drawn drawn;
            auto e = std::make_unique<Editor>();
            Session session(*e, drawn, static_cast<unsigned>(round));
            const int steps = static_cast<int>(random() % 60);
            for (int i = 0; i < steps; ++i) session.step();
            const auto closing = std::chrono::steady_clock::now();
            e.reset();  // in the middle of whatever the workers are doing
            const std::chrono::duration<double> took = std::chrono::steady_clock::now() - closing;
            QVERIFY2(took.count() < 5, "ending took too long");
        }
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        std::printf("[  MEASURE ] %d editors ended mid-work, %.1f s\n", kEndings, elapsed.count());
    }
};

TURNLET_GUI_TEST_MAIN(ReliabilitySoakTest)
#include "test_reliability_soak.moc"
