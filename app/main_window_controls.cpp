// SPDX-License-Identifier: MIT
// The main window's controls and menus at their designed places, with their handlers wired.
#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>

#include "align_runner.h"
#include "controls.h"
#include "dialogs/export_dialog.h"
#include "dialogs/parameters_dialog.h"
#include "dialogs/video_import_dialog.h"
#include "main_window.h"
#include "named_widget.h"
#include "pages/firstlast_page.h"
#include "pages/source_page.h"
#include "pages/tune_page.h"

namespace turnlet {

void TForm2::BuildMenus() {
    auto entry = [this](QMenu* menu, const char* name, const char* caption, void (TForm2::*handler)()) {
        QAction* action = Named(menu->addAction(QString::fromUtf8(caption)), name);
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));

    File1 = Named(bar->addMenu(QStringLiteral("File")), "File1");
    New1 = entry(File1, "New1", "New", &TForm2::New1Click);
    File1->addSeparator();
    Open1 = entry(File1, "Open1", "Open", &TForm2::Open1Click);
    Reopen1 = Named(File1->addMenu(QStringLiteral("Reopen")), "Reopen1");
    Last11 = entry(Reopen1, "Last11", "Last1", &TForm2::Last11Click);
    Last21 = entry(Reopen1, "Last21", "Last2", &TForm2::Last21Click);
    Last31 = entry(Reopen1, "Last31", "Last3", &TForm2::Last31Click);
    Last41 = entry(Reopen1, "Last41", "Last4", &TForm2::Last41Click);
    Last51 = entry(Reopen1, "Last51", "Last5", &TForm2::Last51Click);
    Last61 = entry(Reopen1, "Last61", "Last6", &TForm2::Last61Click);
    Last71 = entry(Reopen1, "Last71", "Last7", &TForm2::Last71Click);
    Last81 = entry(Reopen1, "Last81", "Last8", &TForm2::Last81Click);
    Last91 = entry(Reopen1, "Last91", "Last9", &TForm2::Last91Click);
    Last101 = entry(Reopen1, "Last101", "Last10", &TForm2::Last101Click);
    for (QAction* last : {Last11, Last21, Last31, Last41, Last51, Last61, Last71, Last81, Last91, Last101})
        last->setVisible(false);  // shown once the recent list fills them
    File1->addSeparator();
    Save1 = entry(File1, "Save1", "Save", &TForm2::Save1Click);
    Saveas1 = entry(File1, "Saveas1", "Save as", &TForm2::Saveas1Click);
    File1->addSeparator();
    Exit1 = entry(File1, "Exit1", "Exit", &TForm2::Exit1Click);
    New1->setShortcut(QKeySequence::New);
    Open1->setShortcut(QKeySequence::Open);
    Save1->setShortcut(QKeySequence::Save);
    Saveas1->setShortcut(QKeySequence::SaveAs);
    Exit1->setShortcut(QKeySequence::Quit);

    Editmenu1 = Named(bar->addMenu(QStringLiteral("Edit")), "Editmenu1");
    Undo1 = entry(Editmenu1, "Undo1", "Undo", &TForm2::Undo1Click);
    Redo1 = entry(Editmenu1, "Redo1", "Redo", &TForm2::Redo1Click);
    Undo1->setShortcut(QKeySequence::Undo);
    // Ctrl+Shift+Z on every desktop, and Ctrl+Y as well.
    Redo1->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});

    Language1 = Named(bar->addMenu(QStringLiteral("Language")), "Language1");
    English1 = entry(Language1, "English1", "English", &TForm2::English1Click);
    N6 = entry(Language1, "N6", "Русский", &TForm2::N6Click);
    auto* languages = new QActionGroup(this);
    for (QAction* language : {English1, N6}) {
        language->setCheckable(true);
        languages->addAction(language);
    }
    English1->setChecked(true);

    Options1 = Named(bar->addMenu(QStringLiteral("Options")), "Options1");
    Backgroundcolor1 = entry(Options1, "Backgroundcolor1", "Background color", &TForm2::Backgroundcolor1Click);
    Autoalign1 = Named(Options1->addAction(QStringLiteral("Auto-align")), "Autoalign1");

    // "Export" is a command on the menu bar itself.
    Export1 = Named(bar->addAction(QStringLiteral("Export")), "Export1");
    connect(Export1, &QAction::triggered, this, &TForm2::Export1Click);
    Export1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));

    Help1 = Named(bar->addMenu(QStringLiteral("Help")), "Help1");
    Context1 = entry(Help1, "Context1", "Context", &TForm2::Context1Click);
    Context1->setShortcut(QKeySequence::HelpContents);
    Help1->addSeparator();
    About1 = entry(Help1, "About1", "About", &TForm2::About1Click);

    PopupMenu2 = Named(new QMenu(this), "PopupMenu2");
    // The pages' own refresh commands, under their names (wired once the pages exist).
    Showsource1 = Named(PopupMenu2->addAction(QStringLiteral("Show source image")), "Showsource1");
    Drawselection1 = Named(PopupMenu2->addAction(QStringLiteral("Draw selection")), "Drawselection1");
    Drawfirstandlast1 = Named(PopupMenu2->addAction(QStringLiteral("Draw first and last")), "Drawfirstandlast1");
    Recalculatepositions1 =
        Named(PopupMenu2->addAction(QStringLiteral("Recalculate positions")), "Recalculatepositions1");
    Drawtunedimage1 = Named(PopupMenu2->addAction(QStringLiteral("Draw tuned image")), "Drawtunedimage1");
    ReadINI1 = entry(PopupMenu2, "ReadINI1", "Read INI", &TForm2::ReadINI1Click);
    SaveINI1 = entry(PopupMenu2, "SaveINI1", "Save INI", &TForm2::SaveINI1Click);
    Showstatus1 = entry(PopupMenu2, "Showstatus1", "Show status", &TForm2::Showstatus1Click);
    Areaparams1 = entry(PopupMenu2, "Areaparams1", "Area params", &TForm2::Areaparams1Click);
    Showlast1 = entry(PopupMenu2, "Showlast1", "Show last", &TForm2::Showlast1Click);
    Addlast1 = entry(PopupMenu2, "Addlast1", "Add last", &TForm2::Addlast1Click);
    Clearlast1 = entry(PopupMenu2, "Clearlast1", "Clear last", &TForm2::Clearlast1Click);
}

void TForm2::BuildPages() {
    PageControl1 = Named(new PageControl(ClientArea), "PageControl1");
    TabSheet1 = new SourcePage(*this, DragActive);
    TabSheet2 = new FirstLastPage(*this, *Align);
    TabSheet3 = new TunePage(*this, *Align, DragActive);
    PageControl1->addTab(TabSheet1, QStringLiteral("Import images"));
    PageControl1->addTab(TabSheet2, QStringLiteral("First and last frames"));
    PageControl1->addTab(TabSheet3, QStringLiteral("Tune positions"));
    StatusBar1 = Named(new StatusPanels(ClientArea), "StatusBar1");
    ApplyLayout();

    connect(PageControl1, &QTabWidget::currentChanged, this, &TForm2::PageControl1Change);
    connect(TabSheet1, &SourcePage::importVideoAsked, this, [this] {
        if (Form3) Form3->exec();
    });
    connect(TabSheet1, &SourcePage::clearListAsked, this, &TForm2::New1Click);
    connect(TabSheet1, &SourcePage::previewShown, this, [this](bool newSize) {
        // Without a crop the comparison and the tuned view measure the preview: draw them again.
        if (newSize && !session_.project().crop)
            TabSheet3->TuneRedrawPending = TabSheet2->FirstLastRedrawPending = true;
        Showstatus1Click();
    });
    connect(TabSheet3, &TunePage::parametersAsked, this, [this] {
        if (Form9) Form9->show();
    });
    connect(Autoalign1, &QAction::triggered, TabSheet3, &TunePage::Button12Click);
    connect(Showsource1, &QAction::triggered, TabSheet1, &SourcePage::Showsource1Click);
    connect(Drawselection1, &QAction::triggered, TabSheet1, &SourcePage::Drawselection1Click);
    connect(Drawfirstandlast1, &QAction::triggered, TabSheet2, &FirstLastPage::Drawfirstandlast1Click);
    connect(Recalculatepositions1, &QAction::triggered, TabSheet3, &TunePage::Recalculatepositions1Click);
    connect(Drawtunedimage1, &QAction::triggered, TabSheet3, &TunePage::Drawtunedimage1Click);
}

void TForm2::ApplyLayout() {
    const MainWindowLayout& l = layout_;
    auto place = [](QWidget* widget, const Box& box) { widget->setGeometry(box.left, box.top, box.width, box.height); };
    place(PageControl1, l.PageControl1);
    place(StatusBar1, l.StatusBar1);
    TabSheet1->Place(l);
    TabSheet2->Place(l);
    TabSheet3->Place(l);
}

}  // namespace turnlet
