// SPDX-License-Identifier: MIT
// Drawing, moving and removing the crop with real mouse events on the preview and its outline.
#include <QLineEdit>
#include <QPushButton>
#include <QMouseEvent>

#include "controls.h"
#include "gui_test_support.h"
#include "picture_view.h"

using turnlet::testing::Editor;

namespace {

QStringList Fields(turnlet::TForm2& f) {
    return {f.TabSheet1->Edit1->text(), f.TabSheet1->Edit2->text(), f.TabSheet1->Edit3->text(),
            f.TabSheet1->Edit4->text()};
}

// An editor showing one picture in a preview of exactly 556 x 522 at (328, 3).
struct CropEditor {
    explicit CropEditor(int width, int height) {
        photo = e.picture("photo.jpg", width, height);
        e.add({photo});
        e.waitForPreview(photo);
        e.form().TabSheet1->Image1->setGeometry(328, 3, 556, 522);
    }
    Editor e;
    QString photo;
};

}  // namespace

class CropPageTest : public QObject {
    Q_OBJECT

  private slots:
    void pressesMapToPicturePointsAndOffPictureOnesAreIgnored() {
        CropEditor c(4000, 3000);  // scale 0.139: the picture covers 556 x 417 of the view
        auto& f = c.e.form();
        auto drag = [&](QPoint from, QPoint to, Qt::MouseButton button = Qt::LeftButton) {
            QTest::mousePress(f.TabSheet1->Image1, button, Qt::NoModifier, from);
            QTest::mouseMove(f.TabSheet1->Image1, to);
            QTest::mouseRelease(f.TabSheet1->Image1, button, Qt::NoModifier, to);
        };
        drag({100, 200}, {556 - 1, 10});
        QCOMPARE(Fields(f), (QStringList{"719", "71", "3274", "1368"}));
        QCOMPARE(f.StatusBar1->panelText(1), QStringLiteral("Area: (3274x1368)"));
        drag({10, 417}, {20, 300});                 // from below the picture
        drag({20, 20}, {30, 30}, Qt::RightButton);  // only the left button acts
        // A stray click beside the outline, without a drag, keeps the crop.
        QTest::mouseClick(f.TabSheet1->Image1, Qt::LeftButton, Qt::NoModifier, QPoint(30, 380));
        QCOMPARE(Fields(f), (QStringList{"719", "71", "3274", "1368"}));
        QVERIFY(f.TabSheet1->Shape1->isVisible());
    }

    void aDragUpAndLeftGivesTheRectangleInOrder() {
        CropEditor c(556, 522);  // scale 1
        auto& f = c.e.form();
        QTest::mousePress(f.TabSheet1->Image1, Qt::LeftButton, Qt::NoModifier, QPoint(100, 80));
        QCOMPARE(Fields(f), (QStringList{"", "", "", ""}));  // nothing until the pointer moves
        QTest::mouseMove(f.TabSheet1->Image1, QPoint(70, 50));
        QTest::mouseMove(f.TabSheet1->Image1, QPoint(40, 30));
        QCOMPARE(f.StatusBar1->panelText(4), QStringLiteral("(40,30)"));
        QTest::mouseRelease(f.TabSheet1->Image1, Qt::LeftButton, Qt::NoModifier, QPoint(40, 30));
        QCOMPARE(Fields(f), (QStringList{"40", "30", "61", "51"}));
        QVERIFY(f.TabSheet1->Shape1->isVisible());
        QCOMPARE(f.TabSheet1->Shape1->geometry(), QRect(328 + 40, 3 + 30, 60, 50));
        QCOMPARE(f.StatusBar1->panelText(1), QStringLiteral("Area: (61x51)"));
        QVERIFY(!f.DragActive);
    }

    // Typed values take effect at once: the outline and the area follow each keystroke that makes a
    // number; a field that is not a number shows so and changes nothing; leaving the field keeps the
    // crop on the picture. The typing is one step of the history.
    void typedCropValuesTakeEffectAtOnce() {
        CropEditor c(556, 522);
        auto& f = c.e.form();
        turnlet::SourcePage& page = *f.TabSheet1;
        QTest::mousePress(page.Image1, Qt::LeftButton, Qt::NoModifier, QPoint(40, 30));
        QTest::mouseMove(page.Image1, QPoint(100, 80));
        QTest::mouseRelease(page.Image1, Qt::LeftButton, Qt::NoModifier, QPoint(100, 80));
        page.Edit3->setFocus();
        page.Edit3->selectAll();
        QTest::keyClicks(page.Edit3, "200");
        QCOMPARE(f.session().project().crop->width, 200);
        QCOMPARE(page.Shape1->geometry(), QRect(328 + 40, 3 + 30, 199, 50));
        QCOMPARE(f.StatusBar1->panelText(1), QStringLiteral("Area: (200x51)"));
        QTest::keyClicks(page.Edit3, "x");
        QVERIFY(!page.Edit3->styleSheet().isEmpty());
        QCOMPARE(f.session().project().crop->width, 200);
        page.Edit3->setText(QStringLiteral("5000"));
        page.Edit3->textEdited(page.Edit3->text());
        page.Edit3->editingFinished();
        QCOMPARE(Fields(f), (QStringList{"40", "30", "516", "51"}));  // kept on the 556 wide picture
        QVERIFY(page.Edit3->styleSheet().isEmpty());
        // One Undo takes the whole edit back, another the drawn rectangle.
        f.Undo1->trigger();
        QCOMPARE(Fields(f), (QStringList{"40", "30", "61", "51"}));
        QVERIFY(f.Undo1->text().contains(QStringLiteral("crop")));
        f.Undo1->trigger();
        QCOMPARE(Fields(f), (QStringList{"", "", "", ""}));
        QVERIFY(!page.Shape1->isVisible());
        f.Redo1->trigger();
        QCOMPARE(Fields(f), (QStringList{"40", "30", "61", "51"}));
    }

    void theOutlineMovesWithThePointerAndStopsAtThePictureEdge() {
        CropEditor c(556, 522);
        auto& f = c.e.form();
        QTest::mousePress(f.TabSheet1->Image1, Qt::LeftButton, Qt::NoModifier, QPoint(100, 100));
        QTest::mouseMove(f.TabSheet1->Image1, QPoint(199, 149));
        QTest::mouseRelease(f.TabSheet1->Image1, Qt::LeftButton, Qt::NoModifier, QPoint(199, 149));
        QCOMPARE(Fields(f), (QStringList{"100", "100", "100", "50"}));
        // Grab the outline 10, 10 inside it and drag it 30 right and 20 down, then far right.
        QTest::mousePress(f.TabSheet1->Shape1, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
        QTest::mouseMove(f.TabSheet1->Shape1, QPoint(40, 30));
        QCOMPARE(Fields(f), (QStringList{"130", "120", "100", "50"}));
        QCOMPARE(f.TabSheet1->Shape1->geometry().topLeft(), QPoint(328 + 130, 3 + 120));
        QTest::mouseMove(f.TabSheet1->Shape1, QPoint(900, 10));
        QCOMPARE(Fields(f), (QStringList{"457", "120", "100", "50"}));  // right side on the edge 556
        QTest::mouseRelease(f.TabSheet1->Shape1, Qt::LeftButton, Qt::NoModifier, QPoint(900, 10));
        QVERIFY(!f.DragActive);
        // A redraw (as after a resize) keeps the moved rectangle.
        f.TabSheet1->Drawselection1Click();
        QCOMPARE(Fields(f), (QStringList{"457", "120", "100", "50"}));
        QCOMPARE(f.TabSheet1->Shape1->geometry(), QRect(328 + 457, 3 + 120, 99, 49));
    }

    void noCropEmptiesTheFieldsAndTheAreaFallsBackToTheSource() {
        CropEditor c(556, 522);
        auto& f = c.e.form();
        QTest::mousePress(f.TabSheet1->Image1, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
        QTest::mouseRelease(f.TabSheet1->Image1, Qt::LeftButton, Qt::NoModifier, QPoint(50, 60));
        QCOMPARE(Fields(f), (QStringList{"10", "10", "41", "51"}));
        QTest::mouseClick(f.TabSheet1->Button1, Qt::LeftButton);
        QCOMPARE(Fields(f), (QStringList{"", "", "", ""}));
        QVERIFY(!f.TabSheet1->Shape1->isVisible());
        QCOMPARE(f.StatusBar1->panelText(1), QStringLiteral("Area: (556x522)"));
        f.Areaparams1Click();
        QCOMPARE(f.Area, (turnlet::CropArea{0, 0, 556, 522}));
    }

    // The outline inverts what lies under it, so it shows on light and dark photographs alike.
    void theOutlineInvertsThePreviewUnderIt() {
        CropEditor c(556, 522);
        auto& f = c.e.form();
        QTest::mousePress(f.TabSheet1->Image1, Qt::LeftButton, Qt::NoModifier, QPoint(100, 200));
        QTest::mouseRelease(f.TabSheet1->Image1, Qt::LeftButton, Qt::NoModifier, QPoint(400, 400));
        const QImage shot = f.TabSheet1->grab().toImage();
        const QPoint topLeftOnPage(328 + 100, 3 + 200);
        // On the grey part of the picture (0x80 grey: inverted 0x7F), on the red quarter, and inside.
        const QColor onOutline = shot.pixelColor(topLeftOnPage + QPoint(200, 0));
        const QColor underOutline = f.TabSheet1->Image1->shownImage().pixelColor(300, 200);
        QCOMPARE(onOutline.red(), 255 - underOutline.red());
        QCOMPARE(onOutline.green(), 255 - underOutline.green());
        const QColor onRed = shot.pixelColor(topLeftOnPage + QPoint(0, 20));
        QCOMPARE(onRed.red(), 255 - f.TabSheet1->Image1->shownImage().pixelColor(100, 220).red());
        const QColor inside = shot.pixelColor(topLeftOnPage + QPoint(100, 100));
        QCOMPARE(inside, f.TabSheet1->Image1->shownImage().pixelColor(200, 300));
    }
};

TURNLET_GUI_TEST_MAIN(CropPageTest)
#include "test_crop_page.moc"
