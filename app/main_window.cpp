// SPDX-License-Identifier: MIT
// The main window: construction, workers, layout on resize, page changes, timers, window commands.
#include "main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QSlider>
#include <QTableView>
#include <QTimer>
#include <QUrl>

#include <algorithm>

#include "about_box.h"
#include "shell/catalogue.h"
#include "controls.h"
#include "dialogs.h"
#include "export_dialog.h"
#include "parameters_dialog.h"
#include "picture_view.h"
#include "scoped_flag.h"
#include "video_import_dialog.h"

namespace turnlet {
namespace {

Extent ExtentOf(const QSize& size) {
    return {size.width(), size.height()};
}

}  // namespace

TForm2::TForm2(Dialogs& dialogs, std::string programDir, QWidget* parent)
    : QMainWindow(parent), dialogs_(dialogs), layout_(DesignLayout()), crop_(project, DragActive) {
    CreateWorkers();
    project.programDir = std::move(programDir);
    New(project);  // an empty project; the export directory follows the program's folder
    project.cropRect = CropRect{};

    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QString::fromUtf8(kProgramTitle));
    ClientArea = new QWidget(this);
    ClientArea->setObjectName(QStringLiteral("ClientArea"));
    setCentralWidget(ClientArea);
    BuildMenus();
    BuildPages();
    ClientArea->installEventFilter(this);
    // The controls are placed by FormResize, not by a layout: the window itself sets no minimum size.
    layout()->setSizeConstraint(QLayout::SetNoConstraint);
    resize(kDesignClient.width, kDesignClient.height + menuBar()->sizeHint().height());

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &TForm2::Timer1Timer);
    Timer1->start();
    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(200);
    connect(Timer2, &QTimer::timeout, this, &TForm2::Timer2Timer);
    Timer2->start();
}

void TForm2::CreateWorkers() {
    const auto failed = [this](const Status& status) { ReportFailure(status); };
    showSourceJob_ = std::make_unique<ShowSource>([this](const ShowSourceResult& r) { ShowSourceHandOver(r); });
    ShowSourceWorker = std::make_unique<GuiWorker<ShowSourceRequest>>(
        this, [job = showSourceJob_.get()](const ShowSourceRequest& request, Worker& w) { return (*job)(request, w); },
        failed);
    // Once the worker is idle again a view asked for meanwhile is drawn at once, not at the next
    // retry tick: a slider drag renders back to back, always the latest state.
    firstLastJob_ = std::make_unique<ShowFirstLast>([this](const FirstLastResult& r) { ShowFirstLastHandOver(r); });
    ShowFirstLastWorker = std::make_unique<GuiWorker<FirstLastRequest>>(
        this, [job = firstLastJob_.get()](const FirstLastRequest& request, Worker& w) { return (*job)(request, w); },
        [this](const Status& status) {
            if (reportingFirstLast_) return;
            const ScopedFlag reporting(reportingFirstLast_);
            ReportFailure(status);
        },
        [this] {
            if (!destroyed_ && FirstLastRedrawPending) Drawfirstandlast1Click();
        });
    tuneJob_ = std::make_unique<TunePicture>([this](const TuneResult& r) { TunePictureHandOver(r); });
    TunePictureWorker = std::make_unique<GuiWorker<TuneRequest>>(
        this, [job = tuneJob_.get()](const TuneRequest& request, Worker& w) { return (*job)(request, w); },
        [this](const Status& status) {
            if (reportingTune_) return;
            const ScopedFlag reporting(reportingTune_);
            ReportFailure(status);
        },
        [this] {
            if (!destroyed_ && TuneRedrawPending) Drawtunedimage1Click();
        });
    alignJob_ = std::make_unique<AlignJob>([this](const AlignJobResult& r) { AlignHandOver(r); });
    AlignWorker = std::make_unique<GuiWorker<AlignJobRequest>>(
        this, [job = alignJob_.get()](const AlignJobRequest& request, Worker& w) { return (*job)(request, w); },
        failed);
}

TForm2::~TForm2() {
    FormDestroy();
    // The frames table's view reads the project's grid while the window's widgets are taken down,
    // after the project itself is gone: it must let go of it first.
    StringGrid1->setModel(nullptr);
}

void TForm2::attachForms(TForm3* form3, TAboutBox* aboutBox, TForm8* form8, TForm9* form9) {
    Form3 = form3;
    AboutBox = aboutBox;
    Form8 = form8;
    Form9 = form9;
}

void TForm2::FormDestroy() {
    if (destroyed_) return;
    destroyed_ = true;
    Timer1->stop();
    Timer2->stop();
    SaveINI1Click();
    StopWorkers();
    // The dialogs may hold workers of their own that hand over to this window: end them while it
    // is still whole.
    delete Form9;
    delete Form8;
    delete AboutBox;
    delete Form3;
    Form9 = nullptr;
    Form8 = nullptr;
    AboutBox = nullptr;
    Form3 = nullptr;
}

void TForm2::StopWorkers() {
    // Stopping first releases any hand-over already queued to this thread, so no destructor below
    // waits for a step that could only run on this thread.
    ShowSourceWorker->stop();
    ShowFirstLastWorker->stop();
    TunePictureWorker->stop();
    AlignWorker->stop();
    ShowSourceWorker.reset();
    ShowFirstLastWorker.reset();
    TunePictureWorker.reset();
    AlignWorker.reset();
}

bool TForm2::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ClientArea && event->type() == QEvent::Resize) FormResize();
    return QMainWindow::eventFilter(watched, event);
}

void TForm2::FormResize() {
    const ResizeInput input{ExtentOf(ClientArea->size()), ExtentOf(PageControl1->chrome()),
                            ExtentOf(PageControl2->chrome())};
    layout_ = turnlet::FormResize(layout_, input);
    ApplyLayout();
    Drawselection1Click();
    if (!Image1->coversShownSize()) SourceResizePending = true;
    TuneRedrawPending = true;
    FirstLastRedrawPending = true;
}

void TForm2::PageControl1Change() {
    SetStatusPanel(kPointerPanel, std::string());
    const int page = PageControl1->currentIndex();
    if (page == 1) Drawfirstandlast1Click();
    if (page == 2) {
        if (CurrentFrame > TrackBar1->maximum()) CurrentFrame = TrackBar1->maximum();
        Drawtunedimage1Click();
    }
}

void TForm2::Timer1Timer() {
    Timer1->stop();
    ReadINI1Click();
    if (settings.languageCode == "en") {
        English1Click();
        English1->setChecked(true);
    } else if (settings.languageCode == "ru") {
        N6Click();
        N6->setChecked(true);
    }
    OpenStartProject();
}

void TForm2::Timer2Timer() {
    if (TuneRedrawPending) Drawtunedimage1Click();
    if (FirstLastRedrawPending) Drawfirstandlast1Click();
    if (SourceRedrawPending) Showsource1Click();
    if (SourceResizePending) RedrawSourceForSize();
}

void TForm2::Backgroundcolor1Click() {
    const Color c = project.backgroundColor;
    const std::optional<QColor> chosen = dialogs_.chooseColor(this, QColor(ColorRed(c), ColorGreen(c), ColorBlue(c)));
    if (!chosen) return;
    project.backgroundColor = static_cast<Color>(chosen->red()) | static_cast<Color>(chosen->green()) << 8 |
                              static_cast<Color>(chosen->blue()) << 16;
}

void TForm2::Context1Click() {
    const QString guide = QString::fromStdString(project.programDir) + QStringLiteral("/help.html");
    if (!QFileInfo(guide).isFile()) {
        dialogs_.message(this, guide + QStringLiteral(": the user guide is missing from the program's folder."));
        return;
    }
    if (!dialogs_.openUrl(QUrl::fromLocalFile(guide)))
        dialogs_.message(this, guide + QStringLiteral(": no web browser could be started to show the user guide."));
}

void TForm2::Exit1Click() {
    close();
}

void TForm2::closeEvent(QCloseEvent* event) {
    if (!AskToKeepChanges()) {
        event->ignore();
        return;
    }
    event->accept();
    // Closing the main window ends the program even while a modeless dialog is open.
    if (Form9) Form9->hide();
    QCoreApplication::quit();
}

void TForm2::About1Click() {
    if (AboutBox) AboutBox->exec();
}

void TForm2::Export1Click() {
    // After every photo was deleted there is nothing to export either.
    if (project.imagesLoaded && !project.sources.empty()) {
        Areaparams1Click();
        if (Form8) Form8->exec();
        return;
    }
    dialogs_.message(this, QString::fromUtf8(Tr(Msg::NoImagesLoaded, LanguageOf(settings.languageCode))));
}

const std::string* TForm2::SourceAt(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= project.sources.size()) return nullptr;
    return &project.sources[static_cast<std::size_t>(index)];
}

void TForm2::SetStatusPanel(int panel, const std::string& text) {
    StatusBar1->setPanelText(panel, QString::fromStdString(text));
}

void TForm2::ReportFailure(const Status& status) {
    if (status.code() == Status::Code::WrongFileType) {
        const std::string text = status.file() + ": " + Tr(Msg::WrongFileType, LanguageOf(settings.languageCode));
        dialogs_.message(this, QString::fromStdString(text));
        return;
    }
    dialogs_.message(this, QString::fromStdString(status.message()));
}

QSize TForm2::DisplayBound() const {
    return (QSizeF(Image1->size()) * Image1->devicePixelRatioF()).toSize().expandedTo(QSize(1, 1));
}

}  // namespace turnlet
