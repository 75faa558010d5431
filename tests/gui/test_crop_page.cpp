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
    return {f.Edit1->text(), f.Edit2->text(), f.Edit3->text(), f.Edit4->text()};
}

// An editor showing one picture in a preview of exactly 556 x 522 at (328, 3).
struct CropEditor {
    explicit CropEditor(int width, int height) {
        photo = e.picture("photo.jpg", width, height);
        e.add({photo});
        e.waitForPreview(photo);
        e.form().Image1->setGeometry(328, 3, 556, 522);
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
            QTest::mousePress(f.Image1, button, Qt::NoModifier, from);
            QTest::mouseMove(f.Image1, to);
            QTest::mouseRelease(f.Image1, button, Qt::NoModifier, to);
        };
        drag({100, 200}, {556 - 1, 10});
        QCOMPARE(Fields(f), (QStringList{"719", "71", "3274", "1368"}));
        QCOMPARE(f.StatusBar1->panelText(1), QStringLiteral("Area: (3274x1368)"));
        drag({10, 417}, {20, 300});                 // from below the picture
        drag({20, 20}, {30, 30}, Qt::RightButton);  // only the left button acts
        // A stray click beside the outline, without a drag, keeps the crop.
        QTest::mouseClick(f.Image1, Qt::LeftButton, Qt::NoModifier, QPoint(30, 380));
        QCOMPARE(Fields(f), (QStringList{"719", "71", "3274", "1368"}));
        QVERIFY(f.Shape1->isVisible());
    }

    void aDragUpAndLeftGivesTheRectangleInOrder() {
        CropEditor c(556, 522);  // scale 1
        auto& f = c.e.form();
        QTest::mousePress(f.Image1, Qt::LeftButton, Qt::NoModifier, QPoint(100, 80));
        QCOMPARE(Fields(f), (QStringList{"", "", "", ""}));  // nothing until the pointer moves
        QTest::mouseMove(f.Image1, QPoint(70, 50));
        QTest::mouseMove(f.Image1, QPoint(40, 30));
        QCOMPARE(f.StatusBar1->panelText(4), QStringLiteral("(40,30)"));
        QTest::mouseRelease(f.Image1, Qt::LeftButton, Qt::NoModifier, QPoint(40, 30));
        QCOMPARE(Fields(f), (QStringList{"40", "30", "61", "51"}));
        QVERIFY(f.Shape1->isVisible());
        QCOMPARE(f.Shape1->geometry(), QRect(328 + 40, 3 + 30, 60, 50));
        QCOMPARE(f.StatusBar1->panelText(1), QStringLiteral("Area: (61x51)"));
        QVERIFY(!f.DragActive);
        // Typing into a field changes the field and nothing else until it is read.
        f.Edit3->selectAll();
        QTest::keyClicks(f.Edit3, "640");
        QCOMPARE(f.project.crop.width, std::string("640"));
        QCOMPARE(f.Shape1->geometry(), QRect(328 + 40, 3 + 30, 60, 50));
    }

    void theOutlineMovesWithThePointerAndStopsAtThePictureEdge() {
        CropEditor c(556, 522);
        auto& f = c.e.form();
        QTest::mousePress(f.Image1, Qt::LeftButton, Qt::NoModifier, QPoint(100, 100));
        QTest::mouseMove(f.Image1, QPoint(199, 149));
        QTest::mouseRelease(f.Image1, Qt::LeftButton, Qt::NoModifier, QPoint(199, 149));
        QCOMPARE(Fields(f), (QStringList{"100", "100", "100", "50"}));
        // Grab the outline 10, 10 inside it and drag it 30 right and 20 down, then far right.
        QTest::mousePress(f.Shape1, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
        QTest::mouseMove(f.Shape1, QPoint(40, 30));
        QCOMPARE(Fields(f), (QStringList{"130", "120", "100", "50"}));
        QCOMPARE(f.Shape1->geometry().topLeft(), QPoint(328 + 130, 3 + 120));
        QTest::mouseMove(f.Shape1, QPoint(900, 10));
        QCOMPARE(Fields(f), (QStringList{"457", "120", "100", "50"}));  // right side on the edge 556
        QTest::mouseRelease(f.Shape1, Qt::LeftButton, Qt::NoModifier, QPoint(900, 10));
        QVERIFY(!f.DragActive);
        // A redraw (as after a resize) keeps the moved rectangle.
        f.Drawselection1Click();
        QCOMPARE(Fields(f), (QStringList{"457", "120", "100", "50"}));
        QCOMPARE(f.Shape1->geometry(), QRect(328 + 457, 3 + 120, 99, 49));
    }

    void noCropEmptiesTheFieldsAndTheAreaFallsBackToTheSource() {
        CropEditor c(556, 522);
        auto& f = c.e.form();
        QTest::mousePress(f.Image1, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
        QTest::mouseRelease(f.Image1, Qt::LeftButton, Qt::NoModifier, QPoint(50, 60));
        QTest::mouseClick(f.Button1, Qt::LeftButton);
        QCOMPARE(Fields(f), (QStringList{"", "", "", ""}));
        QVERIFY(!f.Shape1->isVisible());
        QCOMPARE(f.StatusBar1->panelText(1), QStringLiteral("Area: (556x522)"));
        f.Areaparams1Click();
        QCOMPARE(f.Area, (turnlet::CropArea{0, 0, 556, 522}));
        QCOMPARE(f.project.cropRect, (turnlet::CropRect{10, 10, 50, 60}));  // kept for later
    }

    // The outline inverts what lies under it, so it shows on light and dark photographs alike.
    void theOutlineInvertsThePreviewUnderIt() {
        CropEditor c(556, 522);
        auto& f = c.e.form();
        QTest::mousePress(f.Image1, Qt::LeftButton, Qt::NoModifier, QPoint(100, 200));
        QTest::mouseRelease(f.Image1, Qt::LeftButton, Qt::NoModifier, QPoint(400, 400));
        const QImage shot = f.TabSheet1->grab().toImage();
        const QPoint topLeftOnPage(328 + 100, 3 + 200);
        // On the grey part of the picture (0x80 grey: inverted 0x7F), on the red quarter, and inside.
        const QColor onOutline = shot.pixelColor(topLeftOnPage + QPoint(200, 0));
        const QColor underOutline = f.Image1->shownImage().pixelColor(300, 200);
        QCOMPARE(onOutline.red(), 255 - underOutline.red());
        QCOMPARE(onOutline.green(), 255 - underOutline.green());
        const QColor onRed = shot.pixelColor(topLeftOnPage + QPoint(0, 20));
        QCOMPARE(onRed.red(), 255 - f.Image1->shownImage().pixelColor(100, 220).red());
        const QColor inside = shot.pixelColor(topLeftOnPage + QPoint(100, 100));
        QCOMPARE(inside, f.Image1->shownImage().pixelColor(200, 300));
    }
};

TURNLET_GUI_TEST_MAIN(CropPageTest)
#include "test_crop_page.moc"
