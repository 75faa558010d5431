// SPDX-License-Identifier: MIT
// The video import with the real FFmpeg: a short video made by FFmpeg itself, imported through the
// dialog into a folder, and the runs that fail or are cancelled.
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>

#include <sys/stat.h>

#include "gui_test_support.h"
#include "dialogs/video_import_dialog.h"

using turnlet::testing::Editor;

namespace {

const QString kFfmpeg = QStringLiteral("/usr/bin/ffmpeg");

// Eight frames of FFmpeg's test picture.
bool MakeVideo(const QString& path) {
    return QProcess::execute(kFfmpeg, {"-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=duration=1:size=96x64:rate=8",
                                       "-c:v", "mpeg4", path}) == 0;
}

struct VideoSetup {
    explicit VideoSetup(Editor& e) : editor(e), form3(e.windows().Form3()) {
        e.form().settings().ffmpegPath = kFfmpeg.toStdString();
        form3.FormShow();
    }
    // Runs "Extract" and waits for the end of FFmpeg.
    bool extract(const QString& video, const QString& folder, int type) {
        form3.Edit2->setText(video);
        form3.Edit3->setText(folder);
        form3.ComboBox1->setCurrentIndex(type);
        form3.Button5Click();
        return Editor::waitFor([&] { return !form3.extracting(); }, 60000);
    }
    Editor& editor;
    turnlet::TForm3& form3;
};

}  // namespace

class VideoImportTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { QVERIFY2(QFile::exists(kFfmpeg), "FFmpeg is installed by scripts/setup.sh"); }

    void importsEveryFrameWhateverThePathHolds() {
        Editor e;
        VideoSetup s(e);
        QVERIFY(MakeVideo(e.path("clip.mp4")));
        // A name a shell would run something from: here it is only a name.
        const QString video = e.path("clip\"; touch x; \".mp4");
        QVERIFY(QFile::rename(e.path("clip.mp4"), video));
        const QString folder = e.path("out dir;$(touch y)");
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(!QFile::exists(QDir::current().filePath("x")));
        QVERIFY(s.extract(video, folder, 1));
        QCOMPARE(e.dialogs.messages.value(0),
                 QStringLiteral("8 pictures written to %1. Add them with \"Add images\".").arg(folder));
        for (int i = 1; i <= 8; ++i) {
            turnlet::Picture picture;
            const QString file = folder + QStringLiteral("/%1.png").arg(i, 5, 10, QChar('0'));
            QVERIFY2(turnlet::LoadPicture(file.toStdString(), picture).ok(), qPrintable(file));
            QCOMPARE(picture.width(), 96);
            QCOMPARE(picture.height(), 64);
        }
        for (const QString& stray :
             {QDir::current().filePath("x"), e.path("x"), QDir::current().filePath("y"), e.path("y"), folder + "/x"})
            QVERIFY2(!QFile::exists(stray), qPrintable(stray));

        // A second run into the same folder asks before replacing; No runs nothing.
        s.form3.Button5Click();
        QCOMPARE(e.dialogs.questions.size(), 1);
        QVERIFY(!s.form3.extracting());
        e.dialogs.questionAnswers.push_back(true);
        QVERIFY(s.extract(video, folder, 1));
        QCOMPARE(e.dialogs.messages.size(), 2);
        QVERIFY(e.dialogs.messages[1].startsWith(QStringLiteral("8 pictures written")));
    }

    void failuresAreToldWithFfmpegsOwnWords() {
        Editor e;
        VideoSetup s(e);
        const QString folder = e.path("out");
        QDir().mkpath(folder);
        // Not a video: FFmpeg fails and its last lines say why.
        QFile junk(e.path("junk.mp4"));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write("this is no video");
        junk.close();
        QVERIFY(s.extract(e.path("junk.mp4"), folder, 0));
        const QString failed = e.dialogs.messages.value(0);
        QVERIFY2(failed.startsWith(QStringLiteral("FFmpeg failed (exit code ")), qPrintable(failed));
        QVERIFY2(failed.contains(QStringLiteral("junk.mp4")), qPrintable(failed));
        // A program that cannot be started.
        e.form().settings().ffmpegPath = e.path("no-ffmpeg").toStdString();
        QVERIFY(MakeVideo(e.path("v.mp4")));
        QVERIFY(s.extract(e.path("v.mp4"), folder, 0));
        QVERIFY(e.dialogs.messages.value(1).startsWith(e.path("no-ffmpeg") + ": FFmpeg could not be started"));
        // Missing inputs are named before anything runs.
        e.form().settings().ffmpegPath = kFfmpeg.toStdString();
        QVERIFY(s.extract(e.path("v.mp4"), e.path("nowhere"), 0));
        QCOMPARE(e.dialogs.messages.value(2), e.path("nowhere") + ": the folder does not exist.");
        e.form().settings().ffmpegPath.clear();
        QVERIFY(s.extract(e.path("v.mp4"), folder, 0));
        QVERIFY(e.dialogs.messages.value(3).startsWith(QStringLiteral("Choose the FFmpeg program first")));
    }

    void aRunCanBeCancelledWhileTheWindowResponds() {
        Editor e;
        VideoSetup s(e);
        // A pipe nobody writes to: FFmpeg waits on it until cancelled.
        const QString fifo = e.path("waiting.mp4");
        QCOMPARE(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
        QDir().mkpath(e.path("out"));
        s.form3.Edit2->setText(fifo);
        s.form3.Edit3->setText(e.path("out"));
        s.form3.Button5Click();
        QVERIFY(s.form3.extracting());
        QVERIFY(s.form3.busyIndicator() && s.form3.busyIndicator()->isVisible());
        QTest::qWait(200);  // events flow while FFmpeg runs
        QVERIFY(s.form3.extracting());
        s.form3.busyIndicator()->findChild<QPushButton*>()->click();
        QVERIFY(Editor::waitFor([&] { return !s.form3.extracting(); }, 10000));
        QVERIFY(e.dialogs.messages.isEmpty());
        QVERIFY(s.form3.Button5->isEnabled());
    }

    void choosersAndThePage() {
        Editor e;
        auto& form3 = e.windows().Form3();
        form3.Edit2->setText(QStringLiteral("/keep.mp4"));
        form3.Button3Click();  // cancelled
        QCOMPARE(form3.Edit2->text(), QStringLiteral("/keep.mp4"));
        e.dialogs.folderAnswers.push_back(e.path("o"));
        form3.Button4Click();
        QCOMPARE(form3.Edit3->text(), e.path("o"));
        form3.Button1Click();  // cancelled: the program stays unset
        QVERIFY(e.form().settings().ffmpegPath.empty());
        QVERIFY(e.dialogs.filters.value(1).contains(QStringLiteral("ffmpeg ")));
        QVERIFY(e.dialogs.filters.value(0).startsWith(QStringLiteral("Video files (*.avi *.mpg *.mpeg *.mp4 *.mov)")));
        form3.Button2Click();
        QVERIFY(e.dialogs.openedUrls.value(0).toString().contains(QStringLiteral("ffmpeg.org")));
        QVERIFY(form3.Edit1->isReadOnly());
    }
};

TURNLET_GUI_TEST_MAIN(VideoImportTest)
#include "test_video_import.moc"
