// SPDX-License-Identifier: MIT
// The main window: construction, layout on resize, page changes, timers, window commands.
#include "main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QLayout>
#include <QMenuBar>
#include <QTimer>
#include <QUrl>

#include "align_runner.h"
#include "controls.h"
#include "dialogs.h"
#include "dialogs/about_box.h"
#include "dialogs/batch_dialog.h"
#include "dialogs/export_dialog.h"
#include "dialogs/parameters_dialog.h"
#include "dialogs/video_import_dialog.h"
#include "pages/firstlast_page.h"
#include "pages/source_page.h"
#include "pages/tune_page.h"
#include "picture_view.h"
#include "shell/command_texts.h"
#include "shell/status_texts.h"

namespace turnlet {
namespace {

Extent ExtentOf(const QSize& size) {
    return {size.width(), size.height()};
}

}  // namespace

TForm2::TForm2(Dialogs& dialogs, std::string resourceDir, std::string exportBaseDir, QWidget* parent)
    : QMainWindow(parent),
      dialogs_(dialogs),
      resourceDir_(std::move(resourceDir)),
      session_((exportBaseDir.empty() ? resourceDir_ : exportBaseDir) + "/result"),
      layout_(DesignLayout()) {
    setObjectName(QStringLiteral("Form2"));
    ClientArea = new QWidget(this);
    ClientArea->setObjectName(QStringLiteral("ClientArea"));
    setCentralWidget(ClientArea);
    Align = new AlignRunner(*this, this);
    BuildMenus();
    BuildPages();
    ClientArea->installEventFilter(this);
    // The controls are placed by FormResize, not by a layout: the window itself sets no minimum size.
    layout()->setSizeConstraint(QLayout::SetNoConstraint);
    resize(kDesignClient.width, kDesignClient.height + menuBar()->sizeHint().height());
    session_.Subscribe([this](Changes changes) { SessionChanged(changes); });
    ShowCaption();
    ShowHistory();

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

TForm2::~TForm2() {
    // Hidden while the session is whole: hiding moves the focus, and a field losing it finishes its
    // edit through the session, which the base class's own hiding would be too late for.
    hide();
    FormDestroy();
}

void TForm2::attachForms(TForm3* form3, TAboutBox* aboutBox, TForm8* form8, TForm9* form9) {
    Form3 = form3;
    AboutBox = aboutBox;
    Form8 = form8;
    Form9 = form9;
    connect(TabSheet3, &TunePage::frameShown, Form9, &TForm9::ShowFrame);
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
    // Stopping first releases any hand-over already queued to this thread, so no destructor waits
    // for a step that could only run on this thread.
    TabSheet1->StopWorker();
    TabSheet2->StopWorker();
    TabSheet3->StopWorker();
    Align->stop();
}

bool TForm2::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ClientArea && event->type() == QEvent::Resize) FormResize();
    return QMainWindow::eventFilter(watched, event);
}

void TForm2::FormResize() {
    const ResizeInput input{ExtentOf(ClientArea->size()), ExtentOf(PageControl1->chrome()),
                            ExtentOf(TabSheet2->PageControl2->chrome())};
    layout_ = turnlet::FormResize(layout_, input);
    ApplyLayout();
    TabSheet1->Resized();
    TabSheet3->TuneRedrawPending = true;
    TabSheet2->FirstLastRedrawPending = true;
}

void TForm2::PageControl1Change() {
    setStatusPanel(kPointerPanel, std::string());
    const int page = PageControl1->currentIndex();
    if (page == 1) TabSheet2->Drawfirstandlast1Click();
    if (page == 2) TabSheet3->Entered();
}

void TForm2::Timer1Timer() {
    Timer1->stop();
    ReadINI1Click();
    if (settings_.languageCode == "en") {
        English1Click();
        English1->setChecked(true);
    } else if (settings_.languageCode == "ru") {
        N6Click();
        N6->setChecked(true);
    }
    OpenStartProject();
}

void TForm2::Timer2Timer() {
    TabSheet3->Retry();
    TabSheet2->Retry();
    TabSheet1->Retry();
}

void TForm2::SessionChanged(Changes changes) {
    if (changes & kProjectReplaced) Align->ProjectReplaced();
    if (changes & (kFileChanged | kProjectReplaced)) ShowCaption();
    if (changes & (kHistoryChanged | kProjectReplaced)) ShowHistory();
    if (changes & (kSourcesChanged | kRangeChanged | kCropChanged | kProjectReplaced)) Showstatus1Click();
}

void TForm2::ShowCaption() {
    std::string caption = kProgramTitle;
    if (!session_.fileName().empty()) caption += " - " + session_.fileName();
    // The unsaved mark, as desktop programs show it.
    if (session_.modified()) caption = "*" + caption;
    setWindowTitle(QString::fromStdString(caption));
}

void TForm2::ShowHistory() {
    const Language language = this->language();
    const std::optional<Command> undo = session_.undoCommand();
    const std::optional<Command> redo = session_.redoCommand();
    Undo1->setEnabled(undo.has_value());
    Redo1->setEnabled(redo.has_value());
    Undo1->setText(QString::fromStdString(UndoText(undo, language)));
    Redo1->setText(QString::fromStdString(RedoText(redo, language)));
}

void TForm2::Undo1Click() {
    session_.Undo();
}

void TForm2::Redo1Click() {
    session_.Redo();
}

void TForm2::Backgroundcolor1Click() {
    const Color c = session_.project().backgroundColor;
    const std::optional<QColor> chosen = dialogs_.chooseColor(this, QColor(ColorRed(c), ColorGreen(c), ColorBlue(c)));
    if (!chosen) return;
    session_.SetBackground(static_cast<Color>(chosen->red()) | static_cast<Color>(chosen->green()) << 8 |
                           static_cast<Color>(chosen->blue()) << 16);
}

void TForm2::Context1Click() {
    openUserGuide();
}

void TForm2::openUserGuide() {
    const QString folder = QString::fromStdString(resourceDir_);
    QString guide = folder + QStringLiteral("/help.html");
    // The Russian guide when it is there; the English one is always shipped.
    if (language() == Language::Russian && QFileInfo(folder + QStringLiteral("/help.ru.html")).isFile())
        guide = folder + QStringLiteral("/help.ru.html");
    if (!QFileInfo(guide).isFile()) {
        dialogs_.message(this, QString::fromStdString(Tr(Msg::GuideMissing, language(), {guide.toStdString()})));
        return;
    }
    if (!dialogs_.openUrl(QUrl::fromLocalFile(guide)))
        dialogs_.message(this, QString::fromStdString(Tr(Msg::NoBrowser, language(), {guide.toStdString()})));
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
    if (session_.project().imagesLoaded()) {
        Areaparams1Click();
        if (Form8) Form8->exec();
        return;
    }
    dialogs_.message(this, QString::fromUtf8(Tr(Msg::NoImagesLoaded, language())));
}

void TForm2::Batchexport1Click() {
    BatchDialog dialog(*this, this);
    dialog.exec();
}

void TForm2::setStatusPanel(int panel, const std::string& text) {
    StatusBar1->setPanelText(panel, QString::fromStdString(text));
}

void TForm2::reportFailure(const Status& status) {
    if (status.code() == Status::Code::WrongFileType) {
        const std::string text = status.file() + ": " + Tr(Msg::WrongFileType, language());
        dialogs_.message(this, QString::fromStdString(text));
        return;
    }
    dialogs_.message(this, QString::fromStdString(status.message()));
}

QSize TForm2::previewPictureSize() const {
    return {TabSheet1->Image1->pictureWidth(), TabSheet1->Image1->pictureHeight()};
}

int TForm2::currentPage() const {
    return PageControl1->currentIndex();
}

void TForm2::Showstatus1Click() {
    StatusFacts facts;
    const Project& p = session_.project();
    facts.imagesLoaded = p.imagesLoaded();
    facts.languageCode = settings_.languageCode;
    facts.pictureWidth = previewPictureSize().width();
    facts.pictureHeight = previewPictureSize().height();
    facts.crop = p.crop;
    facts.sourceCount = p.sources.size();
    facts.firstFrame = p.firstFrame;
    facts.lastFrame = p.lastFrame;
    const StatusSummary summary = StatusTexts(facts);
    switch (summary.change) {
        case StatusSummary::Change::ClearAll:
            for (int panel = 0; panel < kStatusPanels; ++panel) setStatusPanel(panel, std::string());
            break;
        case StatusSummary::Change::Summary:
            for (int panel = 0; panel < 4; ++panel) setStatusPanel(panel, summary.panels[panel]);
            break;
    }
}

void TForm2::Areaparams1Click() {
    Area = area();
    TabSheet2->InterlaceViewSize = TabSheet2->Image5->size();
}

}  // namespace turnlet
