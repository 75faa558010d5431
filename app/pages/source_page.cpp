// SPDX-License-Identifier: MIT
// The "Import images" page: the source list, the rotation, the crop and the preview worker.
#include "pages/source_page.h"

#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

#include <QColor>

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

#include "app_context.h"
#include "base/number_text.h"
#include "controls.h"
#include "dialogs.h"
#include "named_widget.h"
#include "picture_view.h"
#include "scoped_flag.h"

namespace turnlet {
namespace {

// The add-images dialog's filter (Qt's file chooser matches it regardless of letter case).
const char* const kPictureFilter =
    "All (*.jpg *.jpeg *.png *.bmp);;JPEG Image File (*.jpg *.jpeg);;Portable Network Graphics (*.png);;"
    "Bitmaps (*.bmp)";

const char* const kInvalidField = "background: #ffd8d8";

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption) {
    return Named(new QPushButton(QString::fromUtf8(caption), parent), name);
}

QLabel* MakeLabel(QWidget* parent, const char* name, const char* caption) {
    return Named(new QLabel(QString::fromUtf8(caption), parent), name);
}

void Place(QWidget* widget, const Box& box) {
    widget->setGeometry(box.left, box.top, box.width, box.height);
}

}  // namespace

SourcePage::SourcePage(AppContext& app, bool& dragActive, QWidget* parent)
    : QWidget(parent), app_(app), crop_(dragActive) {
    setObjectName(QStringLiteral("TabSheet1"));
    Button8 = MakeButton(this, "Button8", "Import from video");
    Button9 = MakeButton(this, "Button9", "Add images");
    Button10 = MakeButton(this, "Button10", "Clear list");
    ListBox1 = Named(new SourceListBox(this), "ListBox1");
    ListBox1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListBox1->setContextMenuPolicy(Qt::CustomContextMenu);
    PopupMenu1 = Named(new QMenu(this), "PopupMenu1");
    Delete1 = Named(PopupMenu1->addAction(QStringLiteral("Delete")), "Delete1");
    ListBox1->addAction(Delete1);
    Delete1->setShortcut(QKeySequence::Delete);
    Delete1->setShortcutContext(Qt::WidgetShortcut);
    GroupBox2 = Named(new QGroupBox(QStringLiteral("Rotate and crop"), this), "GroupBox2");
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
    Image1 = Named(new PictureView(this), "Image1");
    Shape1 = Named(new CropOutline(this), "Shape1");  // created after Image1: lies over it
    Shape1->hide();

    job_ = std::make_unique<ShowSource>([this](const ShowSourceResult& r) { ShowSourceHandOver(r); });
    ShowSourceWorker = std::make_unique<GuiWorker<ShowSourceRequest>>(
        this, [job = job_.get()](const ShowSourceRequest& request, Worker& w) { return (*job)(request, w); },
        [this](const Status& status) { app_.reportFailure(status); });

    connect(Button8, &QPushButton::clicked, this, &SourcePage::Button8Click);
    connect(Button9, &QPushButton::clicked, this, &SourcePage::Button9Click);
    connect(Button10, &QPushButton::clicked, this, &SourcePage::Button10Click);
    connect(Delete1, &QAction::triggered, this, &SourcePage::Delete1Click);
    connect(ListBox1, &SourceListBox::Click, this, &SourcePage::Showsource1Click);
    connect(ListBox1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PopupMenu1->popup(ListBox1->viewport()->mapToGlobal(at)); });
    // Only the user's choice is a change; choosing the shown rotation again changes nothing.
    connect(ComboBox1, &QComboBox::activated, this, [this](int index) {
        if (index != session().project().rotationIndex) ComboBox1Change();
    });
    connect(Button1, &QPushButton::clicked, this, &SourcePage::Button1Click);
    for (QLineEdit* field : {Edit1, Edit2, Edit3, Edit4}) {
        connect(field, &QLineEdit::textEdited, this, &SourcePage::CropFieldEdited);
        connect(field, &QLineEdit::editingFinished, this, &SourcePage::CropFieldFinished);
    }
    connect(Image1, &PictureView::mousePressed, this, &SourcePage::Image1MouseDown);
    connect(Image1, &PictureView::mouseMoved, this, &SourcePage::Image1MouseMove);
    connect(Image1, &PictureView::mouseReleased, this, &SourcePage::Image1MouseUp);
    connect(Image1, &PictureView::mouseLeft, this, &SourcePage::Image1MouseLeave);
    connect(Shape1, &CropOutline::mousePressed, this, &SourcePage::Shape1MouseDown);
    connect(Shape1, &CropOutline::mouseMoved, this, &SourcePage::Shape1MouseMove);
    connect(Shape1, &CropOutline::mouseReleased, this, &SourcePage::Shape1MouseUp);
    connect(Shape1, &CropOutline::mouseLeft, this, &SourcePage::Shape1MouseLeave);
    session().Subscribe([this](Changes changes) { SessionChanged(changes); });
}

SourcePage::~SourcePage() {
    StopWorker();
}

void SourcePage::StopWorker() {
    if (!ShowSourceWorker) return;
    ShowSourceWorker->stop();
    ShowSourceWorker.reset();
}

EditorSession& SourcePage::session() const {
    return app_.session();
}

void SourcePage::Place(const MainWindowLayout& l) {
    turnlet::Place(Button8, l.Button8);
    turnlet::Place(Button9, l.Button9);
    turnlet::Place(Button10, l.Button10);
    turnlet::Place(ListBox1, l.ListBox1);
    turnlet::Place(GroupBox2, l.GroupBox2);
    turnlet::Place(Image1, l.Image1);
    turnlet::Place(ComboBox1, l.ComboBox1);
    turnlet::Place(Button1, l.Button1);
    turnlet::Place(Label2, l.Label2);
    turnlet::Place(Edit1, l.Edit1);
    turnlet::Place(Label1, l.Label1);
    turnlet::Place(Edit2, l.Edit2);
    turnlet::Place(Label3, l.Label3);
    turnlet::Place(Edit3, l.Edit3);
    turnlet::Place(Label4, l.Label4);
    turnlet::Place(Edit4, l.Edit4);
}

void SourcePage::SessionChanged(Changes changes) {
    if (changes & kProjectReplaced) Forget();
    if (changes & kSourcesChanged) ShowSources(changes & kProjectReplaced);
    if (changes & kRotationChanged) {
        ComboBox1->setCurrentIndex(session().project().rotationIndex);
        if (!(changes & kProjectReplaced)) Showsource1Click();
    }
    if (changes & kCropChanged) Drawselection1Click();
}

void SourcePage::Forget() {
    ++generation_;
    SourceRedrawPending = false;
    SourceResizePending = false;
    Image1->clearPicture();
    ShownSourcePath.clear();
}

void SourcePage::ShowSources(bool fresh) {
    const std::vector<std::string>& sources = session().project().sources;
    const int row = fresh ? 0 : ListBox1->currentRow();
    ListBox1->clear();
    for (const std::string& path : sources) {
        auto* item = new QListWidgetItem(QString::fromStdString(path), ListBox1);
        // A photo that is not where the project says is marked, so the list shows what is missing.
        std::error_code error;
        if (!std::filesystem::exists(path, error)) {
            item->setForeground(QColor(0xb0, 0x00, 0x00));
            item->setToolTip(QString::fromUtf8(Tr(Msg::MissingFile, app_.language())));
        }
    }
    if (sources.empty()) {
        Forget();
        Drawselection1Click();
        return;
    }
    const int current = std::clamp(row, 0, static_cast<int>(sources.size()) - 1);
    ListBox1->setCurrentRow(current, QItemSelectionModel::ClearAndSelect);
    // The preview follows the list (after an undo, say) unless the page's own command shows next.
    if (!adding_ && sources[static_cast<std::size_t>(current)] != ShownSourcePath) Showsource1Click();
}

void SourcePage::Button8Click() {
    emit importVideoAsked();
}

void SourcePage::Button9Click() {
    const QStringList files =
        app_.dialogs().openFiles(this, QStringLiteral("Add images"), QString::fromLatin1(kPictureFilter));
    if (files.isEmpty()) return;
    std::vector<std::string> paths;
    for (const QString& file : files) paths.push_back(file.toStdString());
    {
        const ScopedFlag adding(adding_);
        session().AddSources(paths);
    }
    // The last photo added is the one shown.
    ListBox1->setCurrentRow(ListBox1->count() - 1, QItemSelectionModel::ClearAndSelect);
    Showsource1Click();
}

void SourcePage::Button10Click() {
    emit clearListAsked();
}

void SourcePage::Delete1Click() {
    std::vector<int> rows;
    for (const QListWidgetItem* item : ListBox1->selectedItems()) rows.push_back(ListBox1->row(item));
    session().DeleteSources(rows);
}

void SourcePage::Showsource1Click() {
    if (!session().project().imagesLoaded()) return;
    const int row = ListBox1->currentRow();
    const auto& sources = session().project().sources;
    if (row < 0 || row >= static_cast<int>(sources.size())) {
        SourceRedrawPending = false;
        return;
    }
    const std::string& path = sources[static_cast<std::size_t>(row)];
    app_.setStatusPanel(kPathPanel, path);
    std::error_code error;
    if (!std::filesystem::exists(path, error)) {
        // Marked missing in the list: no picture, and no message for each click on it.
        Image1->clearPicture();
        ShownSourcePath.clear();
        SourceRedrawPending = false;
        Drawselection1Click();
        return;
    }
    if (!ShowSourceWorker || ShowSourceWorker->busy()) {
        // Shown by the retry timer once the worker is free, so the preview always ends on the
        // selected item (and the crop is never drawn over another picture).
        SourceRedrawPending = true;
        return;
    }
    const QSize bound = DisplayBound();
    ShowSourceWorker->tryWake(
        {path, session().project().rotationDegrees(), bound.width(), bound.height(), generation_});
    SourceRedrawPending = false;
}

void SourcePage::RedrawSourceForSize() {
    if (!session().project().imagesLoaded() || ShownSourcePath.empty() || !Image1->hasPicture()) {
        SourceResizePending = false;
        return;
    }
    if (!ShowSourceWorker || ShowSourceWorker->busy()) return;  // still pending: the next tick tries again
    const QSize bound = DisplayBound();
    ShowSourceWorker->tryWake(
        {ShownSourcePath, session().project().rotationDegrees(), bound.width(), bound.height(), generation_});
    SourceResizePending = false;
}

void SourcePage::ComboBox1Change() {
    // A crop drawn on the picture turned one way means nothing on it turned another: one step.
    session().BeginGesture();
    session().SetRotation(ComboBox1->currentIndex());
    session().SetCrop(std::nullopt);
    session().EndGesture();
}

void SourcePage::ShowSourceHandOver(const ShowSourceResult& result) {
    // A request made before "New" belongs to a project that no longer exists.
    if (result.request.generation != generation_) return;
    const bool newSize = result.width != Image1->pictureWidth() || result.height != Image1->pictureHeight();
    Image1->setPicture(result.display, result.width, result.height);
    ShownSourcePath = result.request.path;
    Drawselection1Click();
    emit previewShown(newSize);
}

QSize SourcePage::DisplayBound() const {
    return (QSizeF(Image1->size()) * Image1->devicePixelRatioF()).toSize().expandedTo(QSize(1, 1));
}

CropView SourcePage::PreviewGeometry() const {
    const QRect r = Image1->geometry();
    return CropView{Image1->pictureWidth(), Image1->pictureHeight(), {r.x(), r.y(), r.width(), r.height()}};
}

void SourcePage::ShowCropFields() {
    if (typing_) return;  // the fields are what the user is typing
    const std::optional<CropArea>& crop = session().project().crop;
    QLineEdit* fields[4] = {Edit1, Edit2, Edit3, Edit4};
    const std::int32_t values[4] = {crop ? crop->left : 0, crop ? crop->top : 0, crop ? crop->width : 0,
                                    crop ? crop->height : 0};
    for (int i = 0; i < 4; ++i) {
        fields[i]->setText(crop ? QString::number(values[i]) : QString());
        fields[i]->setStyleSheet(QString());
    }
}

void SourcePage::Drawselection1Click() {
    const std::optional<CropArea>& crop = session().project().crop;
    const std::optional<PageRect> outline =
        crop && session().project().imagesLoaded() ? CropOutlineFor(PreviewGeometry(), *crop) : std::nullopt;
    if (outline) Shape1->place(outline->left, outline->top, outline->width, outline->height);
    Shape1->setVisible(outline.has_value());
    ShowCropFields();
}

void SourcePage::Button1Click() {
    session().SetCrop(std::nullopt);
}

void SourcePage::CropFieldEdited() {
    QLineEdit* fields[4] = {Edit1, Edit2, Edit3, Edit4};
    std::optional<std::int32_t> values[4];
    bool allEmpty = true, allSet = true;
    for (int i = 0; i < 4; ++i) {
        const std::string text = fields[i]->text().trimmed().toStdString();
        values[i] = ParseWholeInteger(text);
        allEmpty = allEmpty && text.empty();
        allSet = allSet && values[i].has_value();
    }
    for (int i = 0; i < 4; ++i)
        fields[i]->setStyleSheet(values[i] || allEmpty ? QString() : QString::fromLatin1(kInvalidField));
    if (!allEmpty && !allSet) return;
    if (!typing_) {
        typing_ = true;
        session().BeginGesture();
    }
    if (allEmpty)
        session().SetCrop(std::nullopt);
    else
        session().SetCrop(CropArea{*values[0], *values[1], *values[2], *values[3]});
}

void SourcePage::CropFieldFinished() {
    if (!typing_) {
        ShowCropFields();
        return;
    }
    if (const std::optional<CropArea>& crop = session().project().crop)
        session().SetCrop(ClampCrop(*crop, Image1->pictureWidth(), Image1->pictureHeight()));
    typing_ = false;
    session().EndGesture();
    ShowCropFields();
}

void SourcePage::Image1MouseDown(int x, int y, Qt::MouseButtons buttons) {
    if (!session().project().imagesLoaded()) return;
    crop_.ImageMouseDown(PreviewGeometry(), x, y, buttons & Qt::LeftButton);
    if (!gesture_ && (buttons & Qt::LeftButton)) {
        gesture_ = true;
        session().BeginGesture();
    }
}

void SourcePage::Image1MouseMove(int x, int y, Qt::MouseButtons buttons) {
    const CropSelection::MoveOutcome outcome = crop_.ImageMouseMove(PreviewGeometry(), x, y, buttons & Qt::LeftButton);
    if (outcome.pointerText) app_.setStatusPanel(kPointerPanel, *outcome.pointerText);
    if (outcome.crop) session().SetCrop(*outcome.crop);
}

void SourcePage::Image1MouseUp(int x, int y, Qt::MouseButtons) {
    if (const std::optional<CropArea> crop = crop_.ImageMouseUp(PreviewGeometry(), x, y)) session().SetCrop(*crop);
    if (gesture_) {
        gesture_ = false;
        session().EndGesture();
    }
}

void SourcePage::Image1MouseLeave() {
    crop_.EndDrag();
    if (gesture_) {
        gesture_ = false;
        session().EndGesture();
    }
}

void SourcePage::Shape1MouseDown(int pageX, int pageY, Qt::MouseButtons buttons) {
    const QRect at = Shape1->geometry();
    const std::optional<CropArea>& crop = session().project().crop;
    const std::optional<PageRect> outline = crop ? CropOutlineFor(PreviewGeometry(), *crop) : std::nullopt;
    crop_.OutlineMouseDown(outline ? *outline : PageRect{at.x(), at.y(), at.width(), at.height()}, pageX, pageY,
                           buttons & Qt::LeftButton);
    if (!gesture_ && (buttons & Qt::LeftButton)) {
        gesture_ = true;
        session().BeginGesture();
    }
}

void SourcePage::Shape1MouseMove(int pageX, int pageY, Qt::MouseButtons buttons) {
    const std::optional<CropArea>& crop = session().project().crop;
    if (!crop) return;
    if (const std::optional<CropArea> moved =
            crop_.OutlineMouseMove(PreviewGeometry(), *crop, pageX, pageY, buttons & Qt::LeftButton))
        session().SetCrop(*moved);
}

void SourcePage::Shape1MouseUp() {
    Image1MouseLeave();
}

void SourcePage::Shape1MouseLeave() {
    Image1MouseLeave();
}

void SourcePage::Retry() {
    if (SourceRedrawPending) Showsource1Click();
    if (SourceResizePending) RedrawSourceForSize();
}

void SourcePage::Resized() {
    Drawselection1Click();
    if (!Image1->coversShownSize()) SourceResizePending = true;
}

}  // namespace turnlet
