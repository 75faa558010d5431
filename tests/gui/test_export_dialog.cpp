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

#include "controls.h"
#include "dialogs/export_dialog.h"
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
        e.form().session().SetCrop(turnlet::CropArea{0, 0, 1200, 900});
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
        QCOMPARE(e.form().session().project().exportSettings.frames, 1000);
        QCOMPARE(d.TrackBar1->value(), 100);
        QCOMPARE(e.form().session().project().exportSettings.jpegQuality, 100);
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
        QCOMPARE(e.form().session().project().exportSettings.width, 2666);
        // An area without a size leaves the other field alone.
        e.form().session().SetCrop(turnlet::CropArea{0, 0, 0, 0});
        d.Edit5->setText(QStringLiteral("300"));
        d.Edit5Exit();
        QCOMPARE(d.Edit4->text(), QStringLiteral("2666"));

        // The type decides which controls show.
        for (int type : {2, 1, 0}) {
            d.ComboBox1->setCurrentIndex(type);
            QCOMPARE(!d.TrackBar1->isHidden(), type == 0);
            QCOMPARE(!d.Label4->isHidden(), type == 0);
            QCOMPARE(!d.CheckBox2->isHidden(), type != 2);
            QCOMPARE(e.form().session().project().exportSettings.typeIndex, type);
        }

        // Opening with only the height empty makes both the area's size.
        e.form().session().SetCrop(turnlet::CropArea{0, 0, 640, 480});
        d.Edit5->clear();
        d.Edit5->textEdited(QString());
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
        QCOMPARE(e.dialogs.messages.value(1), QString::fromUtf8("Экспорт закончен!"));
    }

    // Stop says how many frames were written, keeps the bar there, and leaves a page that lists
    // just those frames (or none at all); the next export starts afresh.
    void stopSaysWhatWasWrittenAndThePageMatchesIt() {
        Editor e;
        ExportSetup s(e);
        s.form8.CheckBox1->setChecked(false);
        s.set(s.form8.Edit1, QStringLiteral("1000"));
        s.set(s.form8.Edit4, QStringLiteral("50"));
        s.set(s.form8.Edit5, QStringLiteral("50"));
        s.form8.Button2Click();
        s.form8.Button3Click();  // before the worker's first hand-over
        QVERIFY(s.waitForEnd());
        QCOMPARE(e.dialogs.messages.value(0),
                 QStringLiteral("Export stopped: 0 of 1000 frames written. No frame was written, so the viewer page "
                                "was removed."));
        QVERIFY(!QFile::exists(s.out + "/index.html"));
        QVERIFY(!QFile::exists(s.out + "/0001.jpg"));

        // Stopped part-way: the page lists the frames on disk.
        QTimer* stopper = new QTimer(&s.form8);
        QObject::connect(stopper, &QTimer::timeout, &s.form8, [&] {
            if (s.form8.ProgressBar1->value() >= 5) s.form8.Button3Click();
        });
        stopper->start(1);
        s.form8.Button2Click();
        QVERIFY(s.waitForEnd());
        delete stopper;
        const int written = s.form8.session()->outcome()->written;
        QVERIFY(written >= 5 && written < 1000);
        QCOMPARE(s.form8.ProgressBar1->value(), written);
        QCOMPARE(e.dialogs.messages.value(1), QStringLiteral("Export stopped: %1 of 1000 frames written. The viewer "
                                                             "page shows those %1 frames.")
                                                  .arg(written));
        QFile page(s.out + "/index.html");
        QVERIFY(page.open(QIODevice::ReadOnly));
        QCOMPARE(page.readAll(), QStringLiteral("%1 jpg 50x50").arg(written).toUtf8());
        QVERIFY(QFile::exists(s.out + QStringLiteral("/%1.jpg").arg(written, 4, 10, QChar('0'))));
        QVERIFY(!QFile::exists(s.out + QStringLiteral("/%1.jpg").arg(written + 1, 4, 10, QChar('0'))));

        s.set(s.form8.Edit1, QStringLiteral("3"));
        s.form8.Button2Click();
        QVERIFY(s.waitForEnd());
        QCOMPARE(e.dialogs.messages.value(2), QStringLiteral("Export finished!"));
    }

    // The export is a snapshot: while it runs the fields are locked, and edits of the project (the
    // crop, the size, the type, the folder) reach none of its frames or its page.
    void editsDuringAnExportChangeNothingInIt() {
        Editor e;
        ExportSetup s(e);
        TForm8& d = s.form8;
        d.CheckBox1->setChecked(false);
        s.set(d.Edit1, QStringLiteral("60"));
        s.set(d.Edit4, QStringLiteral("300"));
        s.set(d.Edit5, QStringLiteral("200"));
        d.ComboBox1->setCurrentIndex(1);
        QTimer* editor = new QTimer(&d);
        bool edited = false;
        QObject::connect(editor, &QTimer::timeout, &d, [&] {
            if (edited || d.ProgressBar1->value() < 2) return;
            edited = true;
            QVERIFY(!d.Edit4->isEnabled() && !d.ComboBox1->isEnabled() && !d.Edit2->isEnabled());
            QVERIFY(!d.Button2->isEnabled() && d.Button3->isEnabled());
            turnlet::EditorSession& session = e.form().session();
            session.SetCrop(turnlet::CropArea{1, 1, 10, 10});
            turnlet::ExportSettings settings = session.project().exportSettings;
            settings.width = settings.height = 77;
            settings.typeIndex = 2;
            settings.directory = e.path("elsewhere").toStdString();
            session.SetExportSettings(settings);
            session.SetRotation(1);
        });
        editor->start(1);
        d.Button2Click();
        QVERIFY(s.waitForEnd());
        delete editor;
        QVERIFY(edited);
        QVERIFY(d.Edit4->isEnabled() && d.Button2->isEnabled());
        for (int k = 1; k <= 60; ++k) {
            turnlet::Picture frame;
            QVERIFY(
                turnlet::LoadPicture((s.out + QStringLiteral("/%1.png").arg(k, 4, 10, QChar('0'))).toStdString(), frame)
                    .ok());
            QCOMPARE(frame.width(), 300);
            QCOMPARE(frame.height(), 200);
        }
        QVERIFY(!QDir(e.path("elsewhere")).exists());
        QVERIFY(!QFile::exists(s.out + "/0001.bmp"));
        QCOMPARE(e.dialogs.messages, QStringList{QStringLiteral("Export finished!")});
    }

    // Smooth resize and the extra frame sets: off at first, into the project when ticked, the extra
    // sets only with a page, and an export that follows them.
    void optionsFollowTheirCheckBoxes() {
        Editor e;
        ExportSetup s(e);
        TForm8& d = s.form8;
        const turnlet::ExportSettings& ex = e.form().session().project().exportSettings;
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
        turnlet::ExportSettings settings = e.form().session().project().exportSettings;
        settings.smooth = false;
        e.form().session().SetExportSettings(settings);
        QVERIFY(!d.CheckBox3->isChecked() && d.CheckBox4->isChecked());
        e.form().N6Click();
        QCOMPARE(d.CheckBox3->text(), QString::fromUtf8("Сглаженное масштабирование"));
        QCOMPARE(d.CheckBox4->text(), QString::fromUtf8("Половинный и двойной размер"));
    }

    void failuresNameTheFileAndWhatWasWritten() {
        Editor e;
        ExportSetup s(e);
        s.set(s.form8.Edit1, QStringLiteral("3"));
        // No template: no frame is written, the message names the template.
        QFile::remove(e.path("Turnlet.html"));
        s.form8.Button2Click();
        QVERIFY(s.waitForEnd());
        QVERIFY(e.dialogs.messages.value(0).contains(e.path("Turnlet.html")));
        QVERIFY(!QFile::exists(s.out + "/0001.jpg"));
        // A folder that does not exist is made when the user agrees, and only then.
        s.form8.CheckBox2->setChecked(false);
        const QString missing = e.path("new/folder");
        s.set(s.form8.Edit2, missing);
        s.form8.Button2Click();
        QVERIFY(!s.form8.exporting());
        QCOMPARE(e.dialogs.questions.value(0),
                 QStringLiteral("The export folder %1 does not exist. Create it?").arg(missing));
        QVERIFY(!QDir(missing).exists());
        e.dialogs.questionAnswers.push_back(true);
        s.form8.Button2Click();
        QVERIFY(s.waitForEnd());
        QVERIFY(QFile::exists(missing + "/0003.jpg"));
        QCOMPARE(e.dialogs.messages.value(1), QStringLiteral("Export finished!"));
        // A source that disappeared is named, with the frames written before it.
        s.set(s.form8.Edit2, s.out);
        QFile::remove(e.path("p2.png"));
        s.set(s.form8.Edit1, QStringLiteral("4"));
        s.form8.Button2Click();
        QVERIFY(s.waitForEnd());
        QVERIFY(e.dialogs.messages.value(2).contains(e.path("p2.png")));
        QVERIFY(e.dialogs.messages.value(2).contains(QStringLiteral("2 of 4 frames written")));
        QVERIFY(QFile::exists(s.out + "/0002.jpg"));
    }

    // A photo of no known type goes out blank, and the end says which frame and why instead of
    // "Export finished!"; a list without photos is refused.
    void blankFramesAndEmptyListsAreNeverReportedAsSuccess() {
        Editor e;
        ExportSetup s(e);
        s.form8.CheckBox2->setChecked(false);
        const QString odd = e.path("notes.txt");
        QFile(odd).open(QIODevice::WriteOnly);
        e.add({odd});
        QTRY_COMPARE(e.dialogs.messages.value(0), odd + QStringLiteral(": Wrong file type!"));
        s.set(s.form8.Edit1, QStringLiteral("5"));
        s.form8.Button2Click();
        QVERIFY(s.waitForEnd());
        const QString message = e.dialogs.messages.value(1);
        QVERIFY(message.startsWith(QStringLiteral("Export finished, but not every frame came out right.")));
        QVERIFY(message.contains(QStringLiteral("0005: ") + odd));
        QVERIFY(QFile::exists(s.out + "/0005.jpg"));

        e.form().TabSheet1->ListBox1->selectAll();
        e.form().TabSheet1->Delete1Click();
        e.form().Export1Click();
        QCOMPARE(e.dialogs.messages.value(2), QStringLiteral("No images loaded!"));
        s.form8.Button2Click();
        QCOMPARE(e.dialogs.messages.value(3), QStringLiteral("There is nothing to export: the project has no photos."));
        QVERIFY(!s.form8.exporting());
    }

    // With "Proportional" the size follows the crop; without it, a size of another shape is named.
    void theSizeFollowsTheCropOrSaysItWillStretch() {
        Editor e;
        ExportSetup s(e);
        TForm8& d = s.form8;
        turnlet::TForm2& f = e.form();
        d.FormShow();
        QCOMPARE(d.Edit4->text(), QStringLiteral("64"));
        QCOMPARE(d.Edit5->text(), QStringLiteral("48"));
        // A wide crop drawn later: the height follows the width when the dialog opens again.
        f.session().SetCrop(turnlet::CropArea{0, 0, 60, 6});
        f.Areaparams1Click();
        d.FormShow();
        QCOMPARE(d.Edit4->text(), QStringLiteral("64"));
        QCOMPARE(d.Edit5->text(), QStringLiteral("6"));
        QVERIFY(d.Label8->isHidden());
        // The export itself follows a crop changed without opening the dialog.
        f.session().SetCrop(turnlet::CropArea{0, 0, 20, 40});
        s.set(d.Edit1, QStringLiteral("1"));
        d.CheckBox2->setChecked(false);
        d.Button2Click();
        QVERIFY(s.waitForEnd());
        turnlet::Picture frame;
        QVERIFY(turnlet::LoadPicture((s.out + "/0001.jpg").toStdString(), frame).ok());
        QCOMPARE(frame.width(), 64);
        QCOMPARE(frame.height(), 128);
        // Off: the user's size stands, and the dialog says plainly that it stretches.
        f.Areaparams1Click();
        d.CheckBox1->setChecked(false);
        s.set(d.Edit4, QStringLiteral("100"));
        s.set(d.Edit5, QStringLiteral("100"));
        QVERIFY(!d.Label8->isHidden());
        QCOMPARE(d.Label8->text(),
                 QStringLiteral("100 × 100 is not the crop's shape (20 × 40): the frames will be stretched."));
        s.set(d.Edit5, QStringLiteral("201"));  // within 1 %
        QVERIFY(d.Label8->isHidden());
        // A new project starts from its crop, not from the last project's size.
        f.New1Click();
        QCOMPARE(f.session().project().exportSettings.width, 0);
        QCOMPARE(f.session().project().exportSettings.height, 0);
    }
};

TURNLET_GUI_TEST_MAIN(ExportDialogTest)
#include "test_export_dialog.moc"
