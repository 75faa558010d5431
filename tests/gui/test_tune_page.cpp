// SPDX-License-Identifier: MIT
// The "Tune positions" page: choosing frames, pinning and dragging keyframes, the
// guard flags.
#include <QComboBox>
#include <QSlider>
#include <QTableView>

#include <stdexcept>

#include "controls.h"
#include "gui_test_support.h"
#include "dialogs/parameters_dialog.h"
#include "pages/frames_table_model.h"
#include "picture_view.h"

using turnlet::testing::Editor;

namespace {

bool WaitForTuned(turnlet::TForm2& f) {
    return Editor::waitFor([&] { return !f.TabSheet3->TunePictureWorker->busy() && !f.TabSheet3->TuneRedrawPending; });
}

// The frames table as it shows frame's column.
QString Cell(turnlet::TForm2& f, int frame, int column) {
    const turnlet::FramesTableModel& model = *f.TabSheet3->FramesModel;
    return model.data(model.index(frame, column), Qt::DisplayRole).toString();
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
    f.TabSheet3->Image2->setGeometry(f.TabSheet3->Image2->x(), f.TabSheet3->Image2->y(), view.width(), view.height());
    f.TabSheet3->ComboBox2->setCurrentIndex(interlace);
    f.TabSheet3->TrackBar1->setValue(frame);
    f.TabSheet3->ComboBox2Change();
}

}  // namespace

class TunePageTest : public QObject {
    Q_OBJECT

  private slots:
    // After Auto-align each frame shows how sure it was, doubtful ones tinted, the header in the
    // interface language; a new project forgets them.
    void confidenceColumnShowsTheLastAutoAlign() {
        Editor e;
        AddFrames(e, 4);
        auto& f = e.form();
        const int column = turnlet::FramesTableModel::kConfidenceColumn;
        const turnlet::FramesTableModel& model = *f.TabSheet3->FramesModel;
        QCOMPARE(model.columnCount(), column + 1);
        QVERIFY(Cell(f, 1, column).isEmpty());
        std::vector<std::string> paths;
        for (int k = 0; k < 4; ++k) paths.push_back(*f.session().FrameSource(k));
        std::vector<turnlet::FrameAlignment> results(4);
        const double confidence[] = {1, 0.75, 0.25, 1};
        for (int k = 0; k < 4; ++k) {
            results[static_cast<std::size_t>(k)].confidence = confidence[k];
            results[static_cast<std::size_t>(k)].aligned = confidence[k] >= 0.5;
        }
        f.session().ApplyAlignment(paths, results, false);
        const struct {
            int frame;
            const char* text;
            bool tinted;
        } rows[] = {{0, "100 %", false}, {1, "75 %", true}, {2, "25 %", true}, {3, "100 %", false}};
        for (const auto& row : rows) {
            QCOMPARE(Cell(f, row.frame, column), QString::fromUtf8(row.text));
            QCOMPARE(model.data(model.index(row.frame, column), Qt::BackgroundRole).isValid(), row.tinted);
        }
        QVERIFY(model.data(model.index(2, column), Qt::BackgroundRole) !=
                model.data(model.index(1, column), Qt::BackgroundRole));
        // Selecting a doubtful row shows that frame.
        f.TabSheet3->StringGrid1->selectRow(2);
        QCOMPARE(f.TabSheet3->SelectedFrame(), 2);
        f.English1Click();
        QCOMPARE(model.headerData(column, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("Confidence"));
        f.N6Click();
        QCOMPARE(model.headerData(column, Qt::Horizontal, Qt::DisplayRole).toString(),
                 QString::fromUtf8("Уверенность"));
        QVERIFY(!model.headerData(column, Qt::Horizontal, Qt::ToolTipRole).toString().isEmpty());
        f.English1Click();
        f.session().NewProject();
        QVERIFY(!f.session().FrameAlignConfidence(0));
    }

    void framesAreChosenByTableSliderAndWrappingButtonsWithoutKeyframes() {
        Editor e;
        const QStringList files = AddFrames(e, 5);
        auto& f = e.form();
        f.session().SetFrameValues(1, {0, 0, 12.75, 0, -3.9, 0, 0});  // frame 1: Angle, Brightness
        const struct {
            std::function<void()> act;
            int frame;
        } steps[] = {{[&] { f.TabSheet3->StringGrid1->selectRow(1); }, 1},
                     {[&] { f.TabSheet3->TrackBar1->setValue(3); }, 3},
                     {[&] { f.TabSheet3->Button5Click(); }, 4},
                     {[&] { f.TabSheet3->Button5Click(); }, 0},
                     {[&] { f.TabSheet3->Button2Click(); }, 4},
                     {[&] { f.TabSheet3->Button2Click(); }, 3}};
        for (const auto& s : steps) {
            s.act();
            QVERIFY(WaitForTuned(f));
            QCOMPARE(f.TabSheet3->CurrentFrame, s.frame);
            QCOMPARE(f.TabSheet3->StringGrid1->selectionModel()->currentIndex().row(), s.frame);
            QCOMPARE(f.StatusBar1->panelText(turnlet::kPathPanel), files[s.frame]);
        }
        f.TabSheet3->TrackBar1->setValue(1);  // the dialog follows: the angle in tenths, the rest whole
        QCOMPARE(e.windows().Form9().TrackBar1->value(), 127);
        QCOMPARE(e.windows().Form9().TrackBar3->value(), -3);
        QCOMPARE(f.session().project().keyframes.size(), 1u);
    }

    void aClickPinsTheFrameAndClearingRemovesIt() {
        Editor e;
        const QStringList files = AddFrames(e, 10);
        auto& f = e.form();
        f.session().SetFrameValues(2, {0, 0, 0, 0, 0, 0, 0});
        f.session().SetFrameValues(6, {8, 0, 0, 0, 0, 0, 0});
        ShowFrame(f, 4, 0, {80, 60});
        f.TabSheet3->Image2MouseDown(5, 5, Qt::RightButton);
        f.TabSheet3->Image2MouseUp(5, 5, Qt::NoButton);
        QCOMPARE(Cell(f, 4, 1), QStringLiteral("Y"));
        f.session().SetFrameValues(6, {20, 0, 0, 0, 0, 0, 0});
        QCOMPARE(Cell(f, 4, 2), QStringLiteral("4"));  // pinned: it no longer follows frame 6
        f.TabSheet3->Button3Click();                   // "Clear keyframe"
        QCOMPARE(Cell(f, 4, 2), QStringLiteral("10"));
        f.TabSheet3->Button11Click();  // "Clear all keyframes", without a question
        QCOMPARE(Cell(f, 6, 2), QStringLiteral("0"));
        QVERIFY(e.dialogs.questions.isEmpty());
    }

    // A 2000-pixel-wide frame shown 200 pixels wide: 50 screen pixels are 500 frame pixels, in the
    // plain view and in the interlace view alike (whose picture is of the view's size). The frame
    // follows the pointer during the drag, and the whole drag is one step of the history.
    void aDragMovesTheFrameByThePointersTravelInBothViews() {
        Editor e;
        AddFrames(e, 3);
        auto& f = e.form();
        f.session().SetCrop(turnlet::CropArea{0, 0, 2000, 1000});
        for (int interlace : {0, 3}) {
            ShowFrame(f, 1, interlace, {200, 200});
            QVERIFY(WaitForTuned(f));
            QCOMPARE(f.TabSheet3->Image2->pictureWidth(), 2000);  // the view stands for the full-size frame
            const double dx = Cell(f, 1, 2).toDouble();
            f.TabSheet3->Image2MouseDown(100, 50, Qt::LeftButton);
            f.TabSheet3->Image2MouseMove(120, 50, Qt::LeftButton);
            QCOMPARE(Cell(f, 1, 2).toDouble() - dx, 200.0);  // already there, and drawn
            QVERIFY(f.TabSheet3->TunePictureWorker->busy() || f.TabSheet3->TuneRedrawPending);
            f.TabSheet3->Image2MouseMove(150, 49, Qt::LeftButton);
            f.TabSheet3->Image2MouseUp(150, 49, Qt::NoButton);
            QCOMPARE(Cell(f, 1, 2).toDouble() - dx, 500.0);
            QCOMPARE(f.session().project().keyframes.size(), 1u);
            QVERIFY(WaitForTuned(f));
        }
        // Undo takes back the second drag whole, then the first.
        f.Undo1Click();
        QCOMPARE(Cell(f, 1, 2), QStringLiteral("500"));
        f.Undo1Click();
        QCOMPARE(Cell(f, 1, 2), QStringLiteral("0"));
        QCOMPARE(f.session().project().keyframes.size(), 0u);
    }

    // Leaving the view in the middle of a drag keeps what was dragged as a keyframe, as a release
    // there would, so the next rebuild of the table does not throw it away.
    void leavingTheViewDuringADragCommitsTheKeyframe() {
        Editor e;
        AddFrames(e, 4);
        auto& f = e.form();
        f.session().SetCrop(turnlet::CropArea{0, 0, 40, 30});
        ShowFrame(f, 2, 0, {80, 60});  // f = 2
        QVERIFY(WaitForTuned(f));
        f.TabSheet3->Image2MouseDown(10, 10, Qt::LeftButton);
        f.TabSheet3->Image2MouseMove(30, 16, Qt::LeftButton);
        f.TabSheet3->Image2MouseLeave();
        f.TabSheet3->Image2MouseMove(60, 40, Qt::LeftButton);  // the drag is over
        f.TabSheet3->RestoreKeyframes();
        QCOMPARE(Cell(f, 2, 1), QStringLiteral("Y"));
        QCOMPARE(Cell(f, 2, 2), QStringLiteral("10"));
        QCOMPARE(Cell(f, 2, 3), QStringLiteral("3"));
        QVERIFY(!f.DragActive);
    }

    void theFrameIsKeptInRangeAndNoGuardFlagOutlivesAFailingStep() {
        Editor e;
        AddFrames(e, 6);
        auto& f = e.form();
        f.TabSheet3->CurrentFrame = 40;
        f.TabSheet3->Drawtunedimage1Click();
        QCOMPARE(f.TabSheet3->TrackBar1->value(), 5);
        // Steps that throw give back the flags they hold.
        auto failing =
            QObject::connect(f.TabSheet3->TrackBar1, &QSlider::valueChanged, [] { throw std::runtime_error("x"); });
        f.TabSheet3->CurrentFrame = 1;
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, f.TabSheet3->Drawtunedimage1Click());
        QVERIFY(!f.TabSheet3->TuneSelectionSyncing);
        QObject::disconnect(failing);
        failing = QObject::connect(e.windows().Form9().TrackBar1, &QSlider::valueChanged,
                                   [] { throw std::runtime_error("x"); });
        f.TabSheet3->CurrentFrame = 2;
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, f.session().SetFrameValues(2, {0, 0, 30, 0, 0, 0, 0}));
        QVERIFY(!f.TabSheet3->TuneSelectionSyncing);
        QObject::disconnect(failing);
    }
};

TURNLET_GUI_TEST_MAIN(TunePageTest)
#include "test_tune_page.moc"
