// SPDX-License-Identifier: MIT
// The export dialog: its field rules, exports started from it (also while shown modally), Stop,
// and the failures it names.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTimer>

#include "export_dialog.h"
#include "gui_test_support.h"
#include "picture_view.h"

using turnlet::TForm8;
using turnlet::testing::Editor;

namespace {

// Four photographs added, the preview shown, a template and an export folder in the program folder.
struct ExportSetup {
    explicit ExportSetup(Editor& e) : editor(e), form8(e.windows().Form8()) {
        QStringList files;
        for (int i = 0; i < 4; ++i) files << e.picture(QStringLiteral("p%1.png").arg(i), 64, 48);
        e.add(files);
        if (!e.waitForPreview(files.last())) qWarning("no preview");
        QFile page(e.path("Turnlet.html"));
        page.open(QIODevice::WriteOnly);
        page.write("[ITEMS] [TYPE] [WIDTH]x[HEIGHT]");
        page.close();
        out = e.path("out");
        QDir().mkpath(out);
        form8.Edit2->setText(out);
        form8.Edit2->textEdited(out);
        e.form().Areaparams1Click();
    }
    void set(QLineEdit* edit, const QString& text) {
        edit->setText(text);
        edit->textEdited(text);
    }
    bool waitForEnd() {
        return Editor::waitFor([&] { return !form8.exporting(); }, 60000);
    }
    Editor& editor;
    TForm8& form8;
    QString out;
};

}  // namespace

class ExportDialogTest : public QObject {
    Q_OBJECT

  private slots:
    void fieldsAreCorrectedWhenLeft() {
        Editor e;
        TForm8& d = e.windows().Form8();
        e.form().Area = {0, 0, 1200, 900};
        struct Case {
            QLineEdit* edit;
            void (TForm8::*exit)();
            const char* typed;
            const char* expected;
        };
        const Case cases[] = {
            {d.Edit1, &TForm8::Edit1Exit, "0", "1"},     {d.Edit1, &TForm8::Edit1Exit, "-5", "1"},
            {d.Edit1, &TForm8::Edit1Exit, "abc", "100"}, {d.Edit1, &TForm8::Edit1Exit, "5000", "1000"},
            {d.Edit3, &TForm8::Edit3Exit, "0", "1"},     {d.Edit3, &TForm8::Edit3Exit, "x", "90"},
            {d.Edit3, &TForm8::Edit3Exit, "101", "100"}, {d.Edit4, &TForm8::Edit4Exit, "10", "50"},
            {d.Edit4, &TForm8::Edit4Exit, "", "200"},    {d.Edit5, &TForm8::Edit5Exit, "99999", "2000"},
        };
        d.CheckBox1->setChecked(false);
        for (const Case& c : cases) {
            c.edit->setText(QString::fromLatin1(c.typed));
            (d.*c.exit)();
            QCOMPARE(c.edit->text(), QString::fromLatin1(c.expected));
        }
        QCOMPARE(e.form().project.exportSettings.framesText, "1000");
        QCOMPARE(d.TrackBar1->value(), 100);
        QCOMPARE(e.form().project.exportSettings.jpegQuality, 100);
        // The slider writes its position into the quality field.
        d.TrackBar1->setValue(75);
        QCOMPARE(d.Edit3->text(), QStringLiteral("75"));

        // Proportional: the other side follows the area's shape, unclamped.
        d.CheckBox1->setChecked(true);
        d.Edit4->setText(QStringLiteral("800"));
        d.Edit4Exit();
        QCOMPARE(d.Edit5->text(), QStringLiteral("600"));
        d.Edit5->setText(QStringLiteral("2000"));
        d.Edit5Exit();
        QCOMPARE(d.Edit4->text(), QStringLiteral("2666"));
        QCOMPARE(e.form().project.exportSettings.widthText, "2666");
        // An area without a size leaves the other field alone.
        e.form().Area = {0, 0, 0, 0};
        d.Edit5->setText(QStringLiteral("300"));
        d.Edit5Exit();
        QCOMPARE(d.Edit4->text(), QStringLiteral("2666"));

        // The type decides which controls show.
        for (int type : {2, 1, 0}) {
            d.ComboBox1->setCurrentIndex(type);
            QCOMPARE(!d.TrackBar1->isHidden(), type == 0);
            QCOMPARE(!d.Label4->isHidden(), type == 0);
            QCOMPARE(!d.CheckBox2->isHidden(), type != 2);
            QCOMPARE(e.form().project.exportSettings.typeIndex, type);
        }

        // Opening with only the height empty makes both the area's size.
        e.form().Area = {0, 0, 640, 480};
        d.Edit5->clear();
        d.FormShow();
        QCOMPARE(d.Edit4->text(), QStringLiteral("640"));
        QCOMPARE(d.Edit5->text(), QStringLiteral("480"));
    }

    void saysWhenFramesWillRepeat() {
        Editor e;
        ExportSetup s(e);
        s.set(s.form8.Edit1, QStringLiteral("4"));
        QVERIFY(s.form8.Label7->isHidden());
        s.set(s.form8.Edit1, QStringLiteral("100"));
        QVERIFY(!s.form8.Label7->isHidden());
        QCOMPARE(s.form8.Label7->text(), QStringLiteral("Frames will repeat (frames in the turn: 4)"));
        e.form().N6Click();
        QVERIFY(s.form8.Label7->text().startsWith(QString::fromUtf8("Кадры будут повторяться")));
    }

    void anExportRunsWhileTheDialogIsShownModally() {
        Editor e;
        ExportSetup s(e);
        s.set(s.form8.Edit1, QStringLiteral("6"));
        s.form8.ComboBox1->setCurrentIndex(1);
        s.form8.Edit4->clear();
        s.form8.Edit5->clear();
        int maximum = 0;
        bool closed = false;
        // Export1Click shows the dialog modally; the export starts, runs and ends inside it.
        QTimer::singleShot(0, &s.form8, [&] {
            s.form8.Button2Click();
            maximum = s.form8.ProgressBar1->maximum();
            QTimer* poll = new QTimer(&s.form8);
            QObject::connect(poll, &QTimer::timeout, &s.form8, [&, poll] {
                if (s.form8.exporting()) return;
                poll->stop();
                closed = true;
                s.form8.Button4Click();
            });
            poll->start(10);
        });
        e.form().Export1Click();
        QVERIFY(closed);
        QCOMPARE(maximum, 6);
        for (int i = 1; i <= 6; ++i)
            QVERIFY(QFile::exists(s.out + QStringLiteral("/%1.png").arg(i, 4, 10, QChar('0'))));
        QVERIFY(!QFile::exists(s.out + "/0007.png"));
        QCOMPARE(e.dialogs.messages, QStringList{QStringLiteral("Export finished!")});
        QCOMPARE(s.form8.ProgressBar1->value(), 0);
        QVERIFY(!s.form8.Image1->hasPicture());  // cleared at the finish
        // FormShow filled the size from the area (the whole 64 x 48 preview).
        QFile page(s.out + "/index.html");
        QVERIFY(page.open(QIODevice::ReadOnly));
        QCOMPARE(page.readAll(), QByteArray("6 png 64x48"));
        turnlet::Picture frame;
        QVERIFY(turnlet::LoadPicture((s.out + "/0006.png").toStdString(), frame).ok());
        QCOMPARE(frame.width(), 64);

        // In Russian the finish says so in Russian.
        e.form().N6Click();
        s.form8.Button2Click();
        QVERIFY(s.waitForEnd());
        QCOMPARE(e.dialogs.messages.value(1), QString::fromUtf8("Экпорт закончен!"));
    }

    void stopEndsTheExportAndTheNextOneStartsAfresh() {
        Editor e;
        ExportSetup s(e);
        s.set(s.form8.Edit1, QStringLiteral("1000"));
        s.set(s.form8.Edit4, QStringLiteral("50"));
        s.set(s.form8.Edit5, QStringLiteral("50"));
        s.form8.Button2Click();
        s.form8.Button3Click();  // before the worker's first hand-over
        QVERIFY(s.waitForEnd());
        QCOMPARE(s.form8.session()->ExportCounter(), turnlet::ExportSession::kStopped);
        QCOMPARE(s.form8.ProgressBar1->value(), 0);
        QVERIFY(e.dialogs.messages.isEmpty());
        QVERIFY(!QFile::exists(s.out + "/0002.jpg"));
        // Stop without an export only resets the bar; the next export starts at 0001 and finishes.
        s.form8.Button3Click();
        s.set(s.form8.Edit1, QStringLiteral("3"));
        s.form8.Button2Click();
        QVERIFY(s.waitForEnd());
        QVERIFY(QFile::exists(s.out + "/0003.jpg"));
        QCOMPARE(e.dialogs.messages, QStringList{QStringLiteral("Export finished!")});
    }

    // Smooth resize and the extra frame sets: off at first, into the project when ticked, the extra
    // sets only with a page, and an export that follows them.
    void optionsFollowTheirCheckBoxes() {
        Editor e;
        ExportSetup s(e);
        TForm8& d = s.form8;
        const turnlet::ExportSettings& ex = e.form().project.exportSettings;
        QVERIFY(!d.CheckBox3->isChecked() && !d.CheckBox4->isChecked());
        QCOMPARE(d.CheckBox3->text(), QStringLiteral("Smooth resize"));
        QCOMPARE(d.CheckBox4->text(), QStringLiteral("Half and double sizes"));
        d.CheckBox2->setChecked(false);
        QVERIFY(!d.CheckBox4->isEnabled());
        d.CheckBox2->setChecked(true);
        QVERIFY(d.CheckBox4->isEnabled());
        d.ComboBox1->setCurrentIndex(2);
        QVERIFY(d.CheckBox4->isHidden() && !d.CheckBox3->isHidden());
        d.ComboBox1->setCurrentIndex(1);
        QVERIFY(!d.CheckBox4->isHidden());

        QFile page(e.path("Turnlet.html"));
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.write("[ITEMS] data-sets=\"\"");
        page.close();
        s.set(d.Edit1, QStringLiteral("2"));
        s.set(d.Edit4, QStringLiteral("21"));
        s.set(d.Edit5, QStringLiteral("16"));
        auto read = [](const QString& file) {
            QFile f(file);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        };
        d.Button2Click();
        QVERIFY(s.waitForEnd());
        const QByteArray nearest = read(s.out + "/0001.png");
        QVERIFY(!nearest.isEmpty());
        QVERIFY(!QFile::exists(s.out + "/half"));
        QCOMPARE(read(s.out + "/index.html"), QByteArray("2 data-sets=\"\""));

        d.CheckBox3->setChecked(true);
        d.CheckBox4->setChecked(true);
        QVERIFY(ex.smooth && ex.extraSizes);
        d.Button2Click();
        QVERIFY(s.waitForEnd());
        QCOMPARE(e.dialogs.messages.size(), 2);
        QVERIFY(read(s.out + "/0001.png") != nearest);  // the red corner's edge is blended
        QCOMPARE(read(s.out + "/index.html"), QByteArray("2 data-sets=\"half double\""));
        turnlet::Picture half, twice;
        QVERIFY(turnlet::LoadPicture((s.out + "/half/0002.png").toStdString(), half).ok());
        QVERIFY(turnlet::LoadPicture((s.out + "/double/0002.png").toStdString(), twice).ok());
        QCOMPARE(half.width(), 11);
        QCOMPARE(twice.height(), 32);

        // Open puts the project's values back; the texts follow the language.
        e.form().project.exportSettings.smooth = false;
        d.ShowFields();
        QVERIFY(!d.CheckBox3->isChecked() && d.CheckBox4->isChecked());
        e.form().N6Click();
        QCOMPARE(d.CheckBox3->text(), QString::fromUtf8("Сглаженное масштабирование"));
        QCOMPARE(d.CheckBox4->text(), QString::fromUtf8("Половинный и двойной размер"));
    }

    void failuresNameTheFile() {
        Editor e;
        ExportSetup s(e);
        s.set(s.form8.Edit1, QStringLiteral("3"));
        // No template: nothing starts, the message names the template.
        QFile::remove(e.path("Turnlet.html"));
        s.form8.Button2Click();
        QVERIFY(!s.form8.exporting());
        QVERIFY(e.dialogs.messages.value(0).contains(e.path("Turnlet.html")));
        QVERIFY(!QFile::exists(s.out + "/0001.jpg"));
        // A folder that does not exist: the export ends at its first frame, naming the file.
        s.form8.CheckBox2->setChecked(false);
        const QString missing = e.path("missing");
        s.set(s.form8.Edit2, missing);
        s.form8.Button2Click();
        QVERIFY(s.waitForEnd());
        QVERIFY(e.dialogs.messages.value(1).contains(missing + "/0001.jpg"));
        // A source that disappeared is named too; the frames before it stay.
        s.set(s.form8.Edit2, s.out);
        QFile::remove(e.path("p2.png"));
        s.set(s.form8.Edit1, QStringLiteral("4"));
        s.form8.Button2Click();
        QVERIFY(s.waitForEnd());
        QVERIFY(e.dialogs.messages.value(2).contains(e.path("p2.png")));
        QVERIFY(QFile::exists(s.out + "/0002.jpg"));
    }
};

TURNLET_GUI_TEST_MAIN(ExportDialogTest)
#include "test_export_dialog.moc"
