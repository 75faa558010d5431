// SPDX-License-Identifier: MIT
// The main window's controls and menus at their designed places, with their handlers wired.
#include <QAbstractItemView>
#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTableView>

#include "controls.h"
#include "frames_table_model.h"
#include "main_window.h"
#include "named_widget.h"
#include "picture_view.h"

namespace turnlet {
namespace {

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption) {
    return Named(new QPushButton(QString::fromUtf8(caption), parent), name);
}

QLabel* MakeLabel(QWidget* parent, const char* name, const char* caption) {
    return Named(new QLabel(QString::fromUtf8(caption), parent), name);
}

// Frame numbers are not bounded by the control: the change handlers clamp, so any typed number
// must reach them.
QSpinBox* MakeFrameSpin(QWidget* parent, const char* name) {
    QSpinBox* spin = Named(new QSpinBox(parent), name);
    spin->setRange(-999999, 999999);
    return spin;
}

}  // namespace

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
    Autoalign1 = entry(Options1, "Autoalign1", "Auto-align", &TForm2::Button12Click);

    // "Export" is a command on the menu bar itself.
    Export1 = Named(bar->addAction(QStringLiteral("Export")), "Export1");
    connect(Export1, &QAction::triggered, this, &TForm2::Export1Click);

    Help1 = Named(bar->addMenu(QStringLiteral("Help")), "Help1");
    Context1 = entry(Help1, "Context1", "Context", &TForm2::Context1Click);
    Help1->addSeparator();
    About1 = entry(Help1, "About1", "About", &TForm2::About1Click);

    PopupMenu1 = Named(new QMenu(this), "PopupMenu1");
    Delete1 = entry(PopupMenu1, "Delete1", "Delete", &TForm2::Delete1Click);

    PopupMenu2 = Named(new QMenu(this), "PopupMenu2");
    Showsource1 = entry(PopupMenu2, "Showsource1", "Show source image", &TForm2::Showsource1Click);
    Drawselection1 = entry(PopupMenu2, "Drawselection1", "Draw selection", &TForm2::Drawselection1Click);
    Drawfirstandlast1 = entry(PopupMenu2, "Drawfirstandlast1", "Draw first and last", &TForm2::Drawfirstandlast1Click);
    Recalculatepositions1 =
        entry(PopupMenu2, "Recalculatepositions1", "Recalculate positions", &TForm2::Recalculatepositions1Click);
    Drawtunedimage1 = entry(PopupMenu2, "Drawtunedimage1", "Draw tuned image", &TForm2::Drawtunedimage1Click);
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
    TabSheet1 = Named(new QWidget, "TabSheet1");
    TabSheet2 = Named(new QWidget, "TabSheet2");
    TabSheet3 = Named(new QWidget, "TabSheet3");
    PageControl1->addTab(TabSheet1, QStringLiteral("Import images"));
    PageControl1->addTab(TabSheet2, QStringLiteral("First and last frames"));
    PageControl1->addTab(TabSheet3, QStringLiteral("Tune positions"));
    StatusBar1 = Named(new StatusPanels(ClientArea), "StatusBar1");

    // "Import images"
    Button8 = MakeButton(TabSheet1, "Button8", "Import from video");
    Button9 = MakeButton(TabSheet1, "Button9", "Add images");
    Button10 = MakeButton(TabSheet1, "Button10", "Clear list");
    ListBox1 = Named(new SourceListBox(TabSheet1), "ListBox1");
    ListBox1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListBox1->setContextMenuPolicy(Qt::CustomContextMenu);
    ListBox1->addAction(Delete1);
    Delete1->setShortcut(QKeySequence::Delete);
    Delete1->setShortcutContext(Qt::WidgetShortcut);
    GroupBox2 = Named(new QGroupBox(QStringLiteral("Rotate and crop"), TabSheet1), "GroupBox2");
    ComboBox1 = Named(new QComboBox(GroupBox2), "ComboBox1");
    ComboBox1->addItems(
        {QString::fromUtf8("0°"), QString::fromUtf8("90°"), QString::fromUtf8("180°"), QString::fromUtf8("270°")});
    Button1 = MakeButton(GroupBox2, "Button1", "No crop");
    Label2 = MakeLabel(GroupBox2, "Label2", "Left");
    Label1 = MakeLabel(GroupBox2, "Label1", "Top");
    Label3 = MakeLabel(GroupBox2, "Label3", "Width");
    Label4 = MakeLabel(GroupBox2, "Label4", "Height");
    Edit1 = Named(new QLineEdit(GroupBox2), "Edit1");
    Edit2 = Named(new QLineEdit(GroupBox2), "Edit2");
    Edit3 = Named(new QLineEdit(GroupBox2), "Edit3");
    Edit4 = Named(new QLineEdit(GroupBox2), "Edit4");
    Image1 = Named(new PictureView(TabSheet1), "Image1");
    Shape1 = Named(new CropOutline(TabSheet1), "Shape1");  // created after Image1: lies over it
    Shape1->hide();

    // "First and last frames"
    PageControl2 = Named(new PageControl(TabSheet2), "PageControl2");
    PageControl2->setTabPosition(QTabWidget::West);
    TabSheet5 = Named(new QWidget, "TabSheet5");
    TabSheet6 = Named(new QWidget, "TabSheet6");
    PageControl2->addTab(TabSheet5, QStringLiteral("Two images"));
    PageControl2->addTab(TabSheet6, QStringLiteral("Interlace mode"));
    Image3 = Named(new PictureView(TabSheet5), "Image3");
    Image4 = Named(new PictureView(TabSheet5), "Image4");
    Image5 = Named(new PictureView(TabSheet6), "Image5");
    Label5 = MakeLabel(TabSheet2, "Label5", "First frame");
    SpinEdit1 = MakeFrameSpin(TabSheet2, "SpinEdit1");
    BitBtn1 = MakeButton(TabSheet2, "BitBtn1", "Previous pair");
    BitBtn2 = MakeButton(TabSheet2, "BitBtn2", "Next pair");
    BitBtn3 = MakeButton(TabSheet2, "BitBtn3", "Find end of turn");
    Label6 = MakeLabel(TabSheet2, "Label6", "Last frame");
    SpinEdit2 = MakeFrameSpin(TabSheet2, "SpinEdit2");

    // "Tune positions"
    StringGrid1 = Named(new QTableView(TabSheet3), "StringGrid1");
    FramesModel = new FramesTableModel(project.frames, this);
    StringGrid1->setModel(FramesModel);
    StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StringGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    StringGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    StringGrid1->verticalHeader()->hide();
    StringGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    StringGrid1->verticalHeader()->setDefaultSectionSize(18);
    StringGrid1->horizontalHeader()->setDefaultSectionSize(55);
    StringGrid1->horizontalHeader()->setMinimumSectionSize(20);
    StringGrid1->horizontalHeader()->setHighlightSections(false);
    Image2 = Named(new PictureView(TabSheet3), "Image2");
    TrackBar1 = Named(new QSlider(Qt::Horizontal, TabSheet3), "TrackBar1");
    TrackBar1->setRange(0, 0);
    TrackBar1->setTickPosition(QSlider::TicksBelow);
    Button2 = MakeButton(TabSheet3, "Button2", "Previous");
    Button3 = MakeButton(TabSheet3, "Button3", "Clear keyframe");
    Button11 = MakeButton(TabSheet3, "Button11", "Clear all keyframes");
    Button4 = MakeButton(TabSheet3, "Button4", "Parameters");
    Button5 = MakeButton(TabSheet3, "Button5", "Next");
    Button12 = MakeButton(TabSheet3, "Button12", "Auto-align");
    Label9 = MakeLabel(TabSheet3, "Label9", "Interlace with");
    ComboBox2 = Named(new QComboBox(TabSheet3), "ComboBox2");
    ComboBox2->addItem(QStringLiteral(" "));

    ApplyLayout();

    connect(PageControl1, &QTabWidget::currentChanged, this, &TForm2::PageControl1Change);
    connect(Button8, &QPushButton::clicked, this, &TForm2::Button8Click);
    connect(Button9, &QPushButton::clicked, this, &TForm2::Button9Click);
    connect(Button10, &QPushButton::clicked, this, &TForm2::Button10Click);
    connect(ListBox1, &SourceListBox::Click, this, &TForm2::Showsource1Click);
    connect(ListBox1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PopupMenu1->popup(ListBox1->viewport()->mapToGlobal(at)); });
    // Only the user's choice is a change; choosing the shown rotation again changes nothing.
    connect(ComboBox1, &QComboBox::activated, this, [this](int index) {
        if (index != project.rotationIndex) ComboBox1Change();
    });
    connect(Button1, &QPushButton::clicked, this, &TForm2::Button1Click);
    // Typing into a crop field changes only the field; it takes effect where the field is next read.
    connect(Edit1, &QLineEdit::textEdited, this, [this](const QString& t) { project.crop.left = t.toStdString(); });
    connect(Edit2, &QLineEdit::textEdited, this, [this](const QString& t) { project.crop.top = t.toStdString(); });
    connect(Edit3, &QLineEdit::textEdited, this, [this](const QString& t) { project.crop.width = t.toStdString(); });
    connect(Edit4, &QLineEdit::textEdited, this, [this](const QString& t) { project.crop.height = t.toStdString(); });
    connect(Image1, &PictureView::mousePressed, this, &TForm2::Image1MouseDown);
    connect(Image1, &PictureView::mouseMoved, this, &TForm2::Image1MouseMove);
    connect(Image1, &PictureView::mouseReleased, this, &TForm2::Image1MouseUp);
    connect(Image1, &PictureView::mouseLeft, this, &TForm2::Image1MouseLeave);
    connect(Shape1, &CropOutline::mousePressed, this, &TForm2::Shape1MouseDown);
    connect(Shape1, &CropOutline::mouseMoved, this, &TForm2::Shape1MouseMove);
    connect(Shape1, &CropOutline::mouseReleased, this, &TForm2::Shape1MouseUp);
    connect(Shape1, &CropOutline::mouseLeft, this, &TForm2::Shape1MouseLeave);

    connect(SpinEdit1, &QSpinBox::valueChanged, this, &TForm2::SpinEdit1Change);
    connect(SpinEdit2, &QSpinBox::valueChanged, this, &TForm2::SpinEdit2Change);
    connect(BitBtn1, &QPushButton::clicked, this, &TForm2::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TForm2::BitBtn2Click);
    connect(BitBtn3, &QPushButton::clicked, this, &TForm2::BitBtn3Click);

    connect(StringGrid1->selectionModel(), &QItemSelectionModel::currentRowChanged, this, &TForm2::StringGrid1Click);
    connect(StringGrid1, &QAbstractItemView::doubleClicked, this, &TForm2::StringGrid1DblClick);
    connect(TrackBar1, &QSlider::valueChanged, this, &TForm2::TrackBar1Change);
    connect(Button2, &QPushButton::clicked, this, &TForm2::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TForm2::Button3Click);
    connect(Button11, &QPushButton::clicked, this, &TForm2::Button11Click);
    connect(Button4, &QPushButton::clicked, this, &TForm2::Button4Click);
    connect(Button5, &QPushButton::clicked, this, &TForm2::Button5Click);
    connect(Button12, &QPushButton::clicked, this, &TForm2::Button12Click);
    connect(ComboBox2, &QComboBox::activated, this, &TForm2::ComboBox2Change);
    connect(Image2, &PictureView::mousePressed, this, &TForm2::Image2MouseDown);
    connect(Image2, &PictureView::mouseMoved, this, &TForm2::Image2MouseMove);
    connect(Image2, &PictureView::mouseReleased, this, &TForm2::Image2MouseUp);
    connect(Image2, &PictureView::mouseLeft, this, &TForm2::Image2MouseLeave);
}

void TForm2::ApplyLayout() {
    const MainWindowLayout& l = layout_;
    auto place = [](QWidget* widget, const Box& box) { widget->setGeometry(box.left, box.top, box.width, box.height); };
    place(PageControl1, l.PageControl1);
    place(StatusBar1, l.StatusBar1);
    place(Button8, l.Button8);
    place(Button9, l.Button9);
    place(Button10, l.Button10);
    place(ListBox1, l.ListBox1);
    place(GroupBox2, l.GroupBox2);
    place(Image1, l.Image1);
    place(ComboBox1, l.ComboBox1);
    place(Button1, l.Button1);
    place(Label2, l.Label2);
    place(Edit1, l.Edit1);
    place(Label1, l.Label1);
    place(Edit2, l.Edit2);
    place(Label3, l.Label3);
    place(Edit3, l.Edit3);
    place(Label4, l.Label4);
    place(Edit4, l.Edit4);
    place(PageControl2, l.PageControl2);
    place(Image3, l.Image3);
    place(Image4, l.Image4);
    place(Image5, l.Image5);
    place(Label5, l.Label5);
    place(SpinEdit1, l.SpinEdit1);
    place(BitBtn1, l.BitBtn1);
    place(BitBtn2, l.BitBtn2);
    place(BitBtn3, l.BitBtn3);
    place(Label6, l.Label6);
    place(SpinEdit2, l.SpinEdit2);
    place(StringGrid1, l.StringGrid1);
    place(Image2, l.Image2);
    place(TrackBar1, l.TrackBar1);
    place(Button2, l.Button2);
    place(Button3, l.Button3);
    place(Button11, l.Button11);
    place(Button4, l.Button4);
    place(Button5, l.Button5);
    place(Button12, l.Button12);
    place(Label9, l.Label9);
    place(ComboBox2, l.ComboBox2);
}

}  // namespace turnlet
