// SPDX-License-Identifier: MIT
// turnlet-screenshot: starts the editor with photographs added and a crop drawn, shows a page (tuned
// with a few keyframes) or a dialog, and saves a picture of it. For looking at the layout and for the
// user guide's illustrations.
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProgressBar>
#include <QPixmap>
#include <QScreen>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <optional>
#include <string>

#include "dialogs/about_box.h"
#include "application.h"
#include "controls.h"
#include "dialogs/export_dialog.h"
#include "dialogs/video_import_dialog.h"
#include "dialogs.h"
#include "main_window.h"
#include "pages/firstlast_page.h"
#include "pages/source_page.h"
#include "pages/tune_page.h"
#include "dialogs/parameters_dialog.h"
#include "picture_view.h"

namespace {

struct Options {
    QString output;
    QStringList photos;
    int page = 0;
    QSize size;
    std::optional<QRectF> crop;  // fractions of the shown picture
    int select = -1;             // the source item to show
    QString dialog;              // "export", "video" or "about": that window instead of the main one
    QString language = QStringLiteral("en");
    int first = -1, last = -1;  // the turn's first and last frames
    int tab = 0;                // "First and last frames": 0 two images, 1 interlace mode
    int frame = -1;             // "Tune positions": the frame shown
    int interlace = 0;          // "Tune positions": the "Interlace with" entry
    bool tune = false;          // give a few frames keyframes (shifts, an angle, brightness)
    bool parameters = false;    // save the Parameters dialog instead of the main window
};

void Usage() {
    std::fputs(
        "usage: turnlet-screenshot OUT.png [--size WxH] [--page 0|1|2] [--select N]\n"
        "                          [--crop LEFT,TOP,RIGHT,BOTTOM] [--range FIRST,LAST] [--tab 0|1]\n"
        "                          [--frame N] [--interlace N] [--tune] [--parameters] [--lang en|ru]\n"
        "                          [--dialog export|video|about] PHOTO...\n"
        "  Adds the photos, drags a crop over the preview (corners as fractions of the shown\n"
        "  picture, 0..1), sets the turn's range, shows the page (on \"First and last frames\" the\n"
        "  tab, on \"Tune positions\" the frame, the interlace entry and with --tune a few\n"
        "  keyframes) and saves the main window as a PNG. --parameters saves the Parameters dialog;\n"
        "  --dialog saves that dialog instead: the export dialog in the middle of an export, the\n"
        "  video import dialog filled in, or the About box.\n",
        stderr);
}

std::optional<Options> Parse(const QStringList& args) {
    Options o;
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == QLatin1String("--size") && hasValue) {
            const QStringList wh = args[++i].split(QLatin1Char('x'));
            if (wh.size() != 2) return std::nullopt;
            o.size = QSize(wh[0].toInt(), wh[1].toInt());
        } else if (a == QLatin1String("--page") && hasValue) {
            o.page = args[++i].toInt();
        } else if (a == QLatin1String("--select") && hasValue) {
            o.select = args[++i].toInt();
        } else if (a == QLatin1String("--range") && hasValue) {
            const QStringList v = args[++i].split(QLatin1Char(','));
            if (v.size() != 2) return std::nullopt;
            o.first = v[0].toInt();
            o.last = v[1].toInt();
        } else if (a == QLatin1String("--tab") && hasValue) {
            o.tab = args[++i].toInt();
        } else if (a == QLatin1String("--frame") && hasValue) {
            o.frame = args[++i].toInt();
        } else if (a == QLatin1String("--interlace") && hasValue) {
            o.interlace = args[++i].toInt();
        } else if (a == QLatin1String("--tune")) {
            o.tune = true;
        } else if (a == QLatin1String("--parameters")) {
            o.parameters = true;
        } else if (a == QLatin1String("--crop") && hasValue) {
            const QStringList v = args[++i].split(QLatin1Char(','));
            if (v.size() != 4) return std::nullopt;
            o.crop = QRectF(QPointF(v[0].toDouble(), v[1].toDouble()), QPointF(v[2].toDouble(), v[3].toDouble()));
        } else if (a == QLatin1String("--dialog") && hasValue) {
            o.dialog = args[++i];
            if (o.dialog != QLatin1String("export") && o.dialog != QLatin1String("video") &&
                o.dialog != QLatin1String("about"))
                return std::nullopt;
        } else if (a == QLatin1String("--lang") && hasValue) {
            o.language = args[++i];
        } else if (a.startsWith(QLatin1String("--"))) {
            return std::nullopt;
        } else if (o.output.isEmpty()) {
            o.output = a;
        } else {
            o.photos << a;
        }
    }
    if (o.output.isEmpty()) return std::nullopt;
    return o;
}

// Runs the event loop until done() holds or the time is up.
bool WaitFor(const std::function<bool()>& done, int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > milliseconds) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

void Settle(int milliseconds) {
    WaitFor([] { return false; }, milliseconds);
}

}  // namespace

int main(int argc, char** argv) {
    turnlet::QuietBenignQtNotices();
    turnlet::TurnletApplication app(argc, argv);
    turnlet::SetUpLook(app);
    const std::optional<Options> options = Parse(QCoreApplication::arguments());
    if (!options) {
        Usage();
        return 2;
    }
    turnlet::ScriptedDialogs dialogs;
    app.setDialogs(&dialogs);
    turnlet::TurnletWindows windows(dialogs, turnlet::ProgramDirectory());
    turnlet::TForm2& form = windows.Form2();
    // The user's settings are neither read nor written; the deferred start runs now, not later.
    form.SettingsFile.clear();
    form.Timer1Timer();
    if (options->size.isValid()) form.resize(options->size);
    form.move(0, 0);
    form.show();
    Settle(300);

    if (!options->photos.isEmpty()) {
        dialogs.openFilesAnswers.push_back(options->photos);
        form.TabSheet1->Button9Click();
        if (options->select >= 0) {
            WaitFor([&] { return !form.TabSheet1->ShowSourceWorker->busy() && form.TabSheet1->Image1->hasPicture(); },
                    20000);
            form.TabSheet1->ListBox1->setCurrentRow(options->select);
            form.TabSheet1->Showsource1Click();
        }
        const turnlet::Project& project = form.session().project();
        const std::string wanted = project.sources[static_cast<std::size_t>(
            options->select >= 0 ? options->select : static_cast<int>(project.sources.size()) - 1)];
        if (!WaitFor([&] { return form.TabSheet1->ShownSourcePath == wanted; }, 20000)) {
            std::fputs("turnlet-screenshot: the preview did not appear\n", stderr);
            return 1;
        }
    }
    if (options->crop && form.TabSheet1->Image1->hasPicture()) {
        const QSize shown = form.TabSheet1->Image1->shownSize();
        auto at = [&](double fx, double fy) {
            return QPoint(static_cast<int>(fx * (shown.width() - 1)), static_cast<int>(fy * (shown.height() - 1)));
        };
        const QPoint from = at(options->crop->left(), options->crop->top());
        const QPoint to = at(options->crop->right(), options->crop->bottom());
        QTest::mousePress(form.TabSheet1->Image1, Qt::LeftButton, Qt::NoModifier, from);
        for (int step = 1; step <= 8; ++step) QTest::mouseMove(form.TabSheet1->Image1, from + (to - from) * step / 8);
        QTest::mouseRelease(form.TabSheet1->Image1, Qt::LeftButton, Qt::NoModifier, to);
        // Leave the pointer over the preview, as after a real drag: the status bar shows its position.
        QTest::mouseMove(form.TabSheet1->Image1, to);
    }
    if (options->first >= 0 && options->last >= 0) {
        form.TabSheet2->SpinEdit2->setValue(options->last);
        form.TabSheet2->SpinEdit1->setValue(options->first);
    }
    if (options->tune && form.session().project().imagesLoaded()) {
        // A few keyframes as after tuning: shifts, a small turn, one frame brightened.
        const int frames = static_cast<int>(form.session().frames().size());
        const turnlet::KeyframeValues keys[] = {
            {0, 0, 0, 0, 0, 0, 0}, {12, -6, 1.5, 0, 8, 0, 0}, {-4, 3, -1, 20, 0, 0, 0}};
        for (int k = 0; k < 3 && k < frames; ++k) form.session().SetFrameValues(k * (frames - 1) / 2, keys[k]);
    }
    form.PageControl1->setCurrentIndex(options->page);
    form.TabSheet2->PageControl2->setCurrentIndex(options->tab);
    if (options->page == 2) {
        form.TabSheet3->ComboBox2->setCurrentIndex(options->interlace);
        if (options->frame >= 0) form.TabSheet3->TrackBar1->setValue(options->frame);
        form.TabSheet3->ComboBox2Change();
    }
    if (options->page == 1) form.TabSheet2->Drawfirstandlast1Click();
    // The pages' workers have drawn and nothing is waiting.
    WaitFor(
        [&] {
            return !form.TabSheet2->ShowFirstLastWorker->busy() && !form.TabSheet3->TunePictureWorker->busy() &&
                   !form.TabSheet3->TuneRedrawPending && !form.TabSheet2->FirstLastRedrawPending;
        },
        20000);
    if (options->language == QLatin1String("ru")) form.N6Click();
    Settle(500);

    QWidget* window = &form;
    if (options->parameters) {
        window = &windows.Form9();
        form.TabSheet3->Button4Click();
        Settle(300);
    } else if (options->dialog == QLatin1String("export")) {
        // Shown without a modal loop of its own, so this program can look at it mid-export.
        turnlet::TForm8& export8 = windows.Form8();
        const QString out = QDir::temp().filePath(QStringLiteral("turnlet-screenshot-export"));
        QDir(out).removeRecursively();
        QDir().mkpath(out);
        form.Areaparams1Click();
        turnlet::ExportSettings settings = form.session().project().exportSettings;
        settings.directory = out.toStdString();
        settings.frames = 150;
        form.session().SetExportSettings(settings);
        export8.move(form.geometry().center() - QPoint(export8.width() / 2, export8.height() / 2));
        export8.show();
        Settle(200);
        export8.Button2Click();
        WaitFor([&] { return export8.ProgressBar1->value() >= 40 || !export8.exporting(); }, 60000);
        window = &export8;
    } else if (options->dialog == QLatin1String("video")) {
        turnlet::TForm3& video = windows.Form3();
        form.settings().ffmpegPath = "/usr/bin/ffmpeg";
        video.Edit2->setText(QDir::home().filePath(QStringLiteral("Videos/vase-turning.mp4")));
        video.Edit3->setText(QDir::home().filePath(QStringLiteral("Pictures/vase")));
        video.move(form.geometry().center() - QPoint(video.width() / 2, video.height() / 2));
        video.show();
        window = &video;
    } else if (options->dialog == QLatin1String("about")) {
        turnlet::TAboutBox& about = windows.AboutBox();
        about.move(form.geometry().center() - QPoint(about.width() / 2, about.height() / 2));
        about.show();
        about.Timer1->stop();
        about.LookAt(about.frameGeometry().bottomRight() + QPoint(40, 40));
        window = &about;
    }
    Settle(300);

    QPixmap shot;
    if (QScreen* screen = window->screen()) shot = screen->grabWindow(window->winId());
    if (shot.isNull()) shot = window->grab();
    if (!shot.save(options->output)) {
        std::fprintf(stderr, "turnlet-screenshot: cannot write %s\n", qPrintable(options->output));
        return 1;
    }
    for (const QString& message : dialogs.messages) std::fprintf(stderr, "message: %s\n", qPrintable(message));
    return 0;
}
