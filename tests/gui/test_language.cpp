// SPDX-License-Identifier: MIT
// The interface language over every window, and the About box that follows it.
#include <QAction>
#include <QLabel>
#include <QTableView>
#include <QTimer>
#include <vector>

#include "dialogs/about_box.h"
#include "dialogs/export_dialog.h"
#include "gui_test_support.h"
#include "language.h"
#include "dialogs/parameters_dialog.h"

using turnlet::AddedLanguageRows;
using turnlet::LanguageControl;
using turnlet::LanguageControlText;
using turnlet::LanguageRow;
using turnlet::LanguageTable;
using turnlet::testing::Editor;

namespace {

// The original table and the rows of the controls added since, as the editor applies them.
std::vector<LanguageRow> AllRows() {
    std::vector<LanguageRow> rows(LanguageTable().begin(), LanguageTable().end());
    rows.insert(rows.end(), AddedLanguageRows().begin(), AddedLanguageRows().end());
    return rows;
}

}  // namespace

class LanguageTest : public QObject {
    Q_OBJECT

  private slots:
    void everyRowFindsItsControl() {
        Editor e;
        for (const LanguageRow& row : AllRows()) {
            QVERIFY2(LanguageControl(e.form(), row), (std::string(row.window) + " " + row.control).c_str());
        }
    }

    void russianThenEnglishRestoresEveryText() {
        Editor e;
        auto& f = e.form();
        f.Timer1Timer();  // the start applies English over the designed texts
        QCOMPARE(e.windows().Form8().windowTitle(), QStringLiteral("Export"));
        QCOMPARE(f.TabSheet3->Label9->text(), QStringLiteral("Intrelace with"));
        for (const char* code : {"ru", "en"}) {
            if (std::string_view(code) == "ru")
                f.N6->trigger();
            else
                f.English1->trigger();
            QCOMPARE(f.settings().languageCode, code);
            for (const LanguageRow& row : AllRows()) {
                QCOMPARE(LanguageControlText(f, row), QString::fromUtf8(turnlet::LanguageText(row, code)));
            }
        }
        QVERIFY(f.English1->isChecked() && !f.N6->isChecked());
        QCOMPARE(f.TabSheet3->StringGrid1->model()->headerData(4, Qt::Horizontal).toString(), QStringLiteral("Angle"));
        QCOMPARE(f.TabSheet3->StringGrid1->model()->headerData(2, Qt::Horizontal).toString(), QStringLiteral("DX"));
        // Languages name themselves in either language.
        QCOMPARE(f.N6->text(), QString::fromUtf8("Русский"));
        // Russian headers survive New and a new list of sources.
        f.N6Click();
        f.New1Click();
        e.add({e.picture("a.png", 8, 8), e.picture("b.png", 8, 8)});
        QCOMPARE(f.TabSheet3->StringGrid1->model()->headerData(1, Qt::Horizontal).toString(),
                 QString::fromUtf8("Ключевой"));
    }

    void aboutBoxFollowsTheLanguageAndThePointer() {
        Editor e;
        auto& about = e.windows().AboutBox();
        about.FormShow();
        QCOMPARE(about.windowTitle(), QStringLiteral("About"));
        QCOMPARE(about.Version->text(), QStringLiteral("Version 3.0"));
        e.form().N6Click();
        about.FormShow();
        QCOMPARE(about.windowTitle(), QString::fromUtf8("О программе"));
        QCOMPARE(about.Version->text(), QString::fromUtf8("Версия 3.0"));
        about.CommentsClick();
        QVERIFY(e.dialogs.openedUrls.value(0).toString().contains(QStringLiteral("/ru")));

        // Before the first tick no picture shows; then exactly one, the one the pointer points to.
        about.Timer1->stop();
        QCOMPARE(about.shownPicture(), -1);
        about.move(400, 300);
        const QPoint corner = about.frameGeometry().topLeft() + QPoint(5, 16);
        const struct {
            QPoint at;
            int picture;
        } cases[] = {{corner - QPoint(300, 300), 0}, {corner + QPoint(-300, 50), 3}, {corner + QPoint(-300, 400), 6},
                     {corner + QPoint(50, 50), 4},   {corner + QPoint(100, -1), 2},  {corner + QPoint(99, 100), 7}};
        for (const auto& c : cases) {
            about.LookAt(c.at);
            QCOMPARE(about.shownPicture(), c.picture);
            int visible = 0;
            for (const QLabel* image : about.Images) visible += image->isHidden() ? 0 : 1;
            QCOMPARE(visible, 1);
        }
        QCOMPARE(about.Timer1->interval(), 100);
    }
};

TURNLET_GUI_TEST_MAIN(LanguageTest)
#include "test_language.moc"
