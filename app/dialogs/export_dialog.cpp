// SPDX-License-Identifier: MIT
// The export dialog: number, type, size and folder of the output frames; progress and preview.
#include "dialogs/export_dialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QUrl>

#include <filesystem>
#include <system_error>

#include "base/number_text.h"
#include "scoped_flag.h"
#include "dialogs.h"
#include "export/export_runner.h"
#include "export/viewer_page.h"
#include "app_context.h"
#include "named_widget.h"
#include "picture_view.h"
#include "session/make_export_plan.h"
#include "shell/catalogue.h"
#include "shell/export_fields.h"

namespace turnlet {
namespace {

constexpr int kBmp = 2;

}  // namespace

TForm8::TForm8(AppContext& app, QWidget* parent) : QDialog(parent), app_(app) {
    setObjectName(QStringLiteral("Form8"));
    setWindowTitle(QStringLiteral("Export "));
    // One row taller than the original 262 for "Half and double sizes" under the viewer box: beside it
    // the Russian texts of both would not fit.
    setFixedSize(771, 304);
    BuildControls();
    runner_ = std::make_unique<ExportRunner>(*this, [this](std::function<void()> step) {
        QMetaObject::invokeMethod(this, std::move(step), Qt::QueuedConnection);
    });
    ShowFields();
    app_.session().Subscribe([this](Changes changes) {
        if ((changes & (kExportChanged | kProjectReplaced)) && !ownEdit_) ShowFields();
        if (changes & kProjectReplaced) Image1->clearPicture();
        if (changes & (kRangeChanged | kSourcesChanged)) ShowRepeatNote();
    });
}

TForm8::~TForm8() {
    // Its workers hand over to this dialog: end them while it is whole.
    runner_.reset();
}

void TForm8::BuildControls() {
    auto label = [this](const char* name, const char* caption, QRect geometry) {
        return Named(new QLabel(QString::fromUtf8(caption), this), name, geometry);
    };
    auto button = [this](const char* name, const char* caption, QRect geometry) {
        return Named(new QPushButton(QString::fromUtf8(caption), this), name, geometry);
    };
    Label1 = label("Label1", "Number of frames", {8, 12, 120, 17});
    Edit1 = Named(new QLineEdit(this), "Edit1", {132, 9, 60, 23});
    Label7 = label("Label7", "", {200, 12, 320, 17});
    Label7->setStyleSheet(QStringLiteral("color: #a05000"));
    Label3 = label("Label3", "Images type", {8, 44, 120, 17});
    ComboBox1 = Named(new QComboBox(this), "ComboBox1", {132, 41, 80, 23});
    ComboBox1->addItems({QStringLiteral("JPEG"), QStringLiteral("PNG"), QStringLiteral("BMP")});
    Label4 = label("Label4", "Quality", {224, 44, 70, 17});
    TrackBar1 = Named(new QSlider(Qt::Horizontal, this), "TrackBar1", {296, 41, 160, 23});
    TrackBar1->setRange(1, 100);
    TrackBar1->setValue(90);
    Edit3 = Named(new QLineEdit(this), "Edit3", {462, 41, 56, 23});
    Label5 = label("Label5", "Width", {8, 76, 120, 17});
    Edit4 = Named(new QLineEdit(this), "Edit4", {132, 73, 60, 23});
    Label6 = label("Label6", "Height", {210, 76, 70, 17});
    Edit5 = Named(new QLineEdit(this), "Edit5", {282, 73, 60, 23});
    CheckBox1 = Named(new QCheckBox(QStringLiteral("Proportional"), this), "CheckBox1", {132, 103, 170, 21});
    CheckBox1->setChecked(true);
    CheckBox3 = Named(new QCheckBox(QStringLiteral("Smooth resize"), this), "CheckBox3", {310, 103, 208, 21});
    Button5 = button("Button5", "As selection", {348, 72, 170, 25});
    Label8 = label("Label8", "", {132, 125, 386, 17});
    Label8->setStyleSheet(QStringLiteral("color: #b00000"));
    Label8->setVisible(false);
    Label2 = label("Label2", "Directory", {8, 156, 120, 17});
    Edit2 = Named(new QLineEdit(this), "Edit2", {132, 153, 300, 23});
    Button1 = button("Button1", "Select", {438, 152, 80, 25});
    CheckBox2 = Named(new QCheckBox(QStringLiteral("Make HTML5 viewer"), this), "CheckBox2", {132, 182, 300, 21});
    CheckBox2->setChecked(true);
    CheckBox4 = Named(new QCheckBox(QStringLiteral("Half and double sizes"), this), "CheckBox4", {150, 206, 368, 21});
    ProgressBar1 = Named(new QProgressBar(this), "ProgressBar1", {8, 238, 510, 21});
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setFormat(QStringLiteral("%v / %m"));  // frames handed out of all
    Button2 = button("Button2", "Export result images", {8, 269, 200, 27});
    Button3 = button("Button3", "Stop", {216, 269, 100, 27});
    Button4 = button("Button4", "Close", {418, 269, 100, 27});
    Image1 = new PictureView(this, PictureView::Anchor::Centre);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(530, 8, 233, 279);
    // Return in a field ends the edit; it does not start an export.
    for (QPushButton* b : {Button1, Button2, Button3, Button4, Button5}) b->setAutoDefault(false);

    // Typing into a field changes the project as soon as the text is a value; the whole edit is one
    // step of the history, and leaving the field puts the value in range.
    connect(Edit1, &QLineEdit::textEdited, this, [this](const QString& t) {
        if (const auto n = ParseWholeInteger(t.toStdString())) Typed([n](ExportSettings& ex) { ex.frames = *n; });
        ShowRepeatNote();
    });
    connect(Edit2, &QLineEdit::textEdited, this,
            [this](const QString& t) { Typed([t](ExportSettings& ex) { ex.directory = t.toStdString(); }); });
    connect(Edit4, &QLineEdit::textEdited, this, [this](const QString& t) {
        if (const auto n = ParseWholeInteger(t.toStdString()); n || t.isEmpty())
            Typed([n](ExportSettings& ex) { ex.width = n.value_or(0); });
        ShowShapeNote();
    });
    connect(Edit5, &QLineEdit::textEdited, this, [this](const QString& t) {
        if (const auto n = ParseWholeInteger(t.toStdString()); n || t.isEmpty())
            Typed([n](ExportSettings& ex) { ex.height = n.value_or(0); });
        ShowShapeNote();
    });
    connect(Edit1, &QLineEdit::editingFinished, this, &TForm8::Edit1Exit);
    connect(Edit2, &QLineEdit::editingFinished, this, &TForm8::EndTyping);
    connect(Edit3, &QLineEdit::editingFinished, this, &TForm8::Edit3Exit);
    connect(Edit4, &QLineEdit::editingFinished, this, &TForm8::Edit4Exit);
    connect(Edit5, &QLineEdit::editingFinished, this, &TForm8::Edit5Exit);
    connect(ComboBox1, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (updating_) return;
        Change([index](ExportSettings& ex) { ex.typeIndex = index; });
        ComboBox1Change();
    });
    connect(TrackBar1, &QSlider::valueChanged, this, [this](int value) {
        if (!updating_) Change([value](ExportSettings& ex) { ex.jpegQuality = value; });
        TrackBar1Change();
    });
    connect(TrackBar1, &QSlider::sliderPressed, this, [this] { app_.session().BeginGesture(); });
    connect(TrackBar1, &QSlider::sliderReleased, this, [this] { app_.session().EndGesture(); });
    connect(CheckBox1, &QCheckBox::toggled, this, [this](bool on) {
        if (updating_) return;
        Change([on](ExportSettings& ex) { ex.proportional = on; });
        // Turned on: the size takes the crop's shape at once.
        if (on) FormShow();
        ShowShapeNote();
    });
    connect(CheckBox2, &QCheckBox::toggled, this, [this](bool on) {
        if (!updating_) Change([on](ExportSettings& ex) { ex.html5Viewer = on; });
        CheckBox4->setEnabled(on);
    });
    connect(CheckBox3, &QCheckBox::toggled, this, [this](bool on) {
        if (!updating_) Change([on](ExportSettings& ex) { ex.smooth = on; });
    });
    connect(CheckBox4, &QCheckBox::toggled, this, [this](bool on) {
        if (!updating_) Change([on](ExportSettings& ex) { ex.extraSizes = on; });
    });
    connect(Button1, &QPushButton::clicked, this, &TForm8::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm8::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TForm8::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &TForm8::Button4Click);
    connect(Button5, &QPushButton::clicked, this, &TForm8::Button5Click);
}

void TForm8::Change(const std::function<void(ExportSettings&)>& edit) {
    ExportSettings settings = app_.session().project().exportSettings;
    edit(settings);
    const ScopedFlag own(ownEdit_);
    app_.session().SetExportSettings(settings);
}

void TForm8::Typed(const std::function<void(ExportSettings&)>& edit) {
    if (!typing_) {
        typing_ = true;
        app_.session().BeginGesture();
    }
    Change(edit);
}

void TForm8::EndTyping() {
    if (!typing_) return;
    typing_ = false;
    app_.session().EndGesture();
}

void TForm8::ShowFields() {
    const ExportSettings& ex = app_.session().project().exportSettings;
    const ScopedFlag updating(updating_);
    Edit1->setText(QString::number(ex.frames));
    Edit2->setText(Text(ex.directory));
    ComboBox1->setCurrentIndex(ex.typeIndex >= 0 && ex.typeIndex <= kBmp ? ex.typeIndex : 0);
    TrackBar1->setValue(ex.jpegQuality);
    Edit3->setText(QString::number(ex.jpegQuality));
    Edit4->setText(ex.width > 0 ? QString::number(ex.width) : QString());
    Edit5->setText(ex.height > 0 ? QString::number(ex.height) : QString());
    CheckBox1->setChecked(ex.proportional);
    CheckBox2->setChecked(ex.html5Viewer);
    CheckBox3->setChecked(ex.smooth);
    CheckBox4->setChecked(ex.extraSizes);
    CheckBox4->setEnabled(ex.html5Viewer);
    ComboBox1Change();
    ShowRepeatNote();
    ShowShapeNote();
}

void TForm8::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TForm8::FormShow() {
    ComboBox1Change();
    TrackBar1Change();
    const ExportSettings& ex = app_.session().project().exportSettings;
    if (ex.width <= 0 || ex.height <= 0) Button5Click();
    if (ex.proportional) {
        // The crop may have changed since the size was set: the dependent side follows it.
        const CropArea area = app_.area();
        const FrameSize size = FollowCrop({ex.width, ex.height}, area.width, area.height);
        if (size.height != ex.height) Change([&size](ExportSettings& settings) { settings.height = size.height; });
    }
    ShowRepeatNote();
    ShowShapeNote();
}

void TForm8::ShowShapeNote() {
    const ExportSettings& ex = app_.session().project().exportSettings;
    const CropArea area = app_.area();
    const bool distorts = ex.width > 0 && ex.height > 0 && DistortsCrop({ex.width, ex.height}, area.width, area.height);
    if (distorts) {
        Label8->setText(Text(Tr(Msg::ExportSizeDistorts, app_.language(),
                                {std::to_string(ex.width), std::to_string(ex.height), std::to_string(area.width),
                                 std::to_string(area.height)})));
    }
    Label8->setVisible(distorts);
}

void TForm8::ShowRepeatNote() {
    const Project& p = app_.session().project();
    const int turnFrames = p.imagesLoaded() ? static_cast<int>(app_.session().frames().size()) : 0;
    const std::string note = FramesRepeatNote(Edit1->text().toStdString(), turnFrames, app_.settings().languageCode);
    Label7->setText(Text(note));
    Label7->setVisible(!note.empty());
}

void TForm8::Edit1Exit() {
    const int v = ExportFramesField(Edit1->text().toStdString());
    Edit1->setText(QString::number(v));
    Change([v](ExportSettings& ex) { ex.frames = v; });
    EndTyping();
    ShowRepeatNote();
}

void TForm8::Button1Click() {
    const QString folder = app_.dialogs().chooseFolder(this, Label2->text(), Edit2->text());
    if (folder.isEmpty() || !EnsureFolder(folder.toStdString())) return;
    Edit2->setText(folder);
    Change([&folder](ExportSettings& ex) { ex.directory = folder.toStdString(); });
}

void TForm8::ComboBox1Change() {
    const int type = ComboBox1->currentIndex();
    for (QWidget* quality :
         {static_cast<QWidget*>(Label4), static_cast<QWidget*>(TrackBar1), static_cast<QWidget*>(Edit3)})
        quality->setVisible(type == 0);
    CheckBox2->setVisible(type != kBmp);
    CheckBox4->setVisible(type != kBmp);
}

void TForm8::TrackBar1Change() {
    if (qualityGuard_) return;
    Edit3->setText(QString::number(TrackBar1->value()));
}

void TForm8::Edit3Exit() {
    const int v = QualityField(Edit3->text().toStdString());
    Edit3->setText(QString::number(v));
    qualityGuard_ = true;
    TrackBar1->setValue(v);
    qualityGuard_ = false;
}

void TForm8::Edit4Exit() {
    const int v = FrameSizeField(Edit4->text().toStdString());
    Edit4->setText(QString::number(v));
    const CropArea area = app_.area();
    const bool proportional = CheckBox1->isChecked();
    Change([&](ExportSettings& ex) {
        ex.width = v;
        if (!proportional) return;
        if (const auto other = ProportionalSize(v, area.height, area.width)) ex.height = *other;
    });
    EndTyping();
    ShowFields();
}

void TForm8::Edit5Exit() {
    const int v = FrameSizeField(Edit5->text().toStdString());
    Edit5->setText(QString::number(v));
    const CropArea area = app_.area();
    const bool proportional = CheckBox1->isChecked();
    Change([&](ExportSettings& ex) {
        ex.height = v;
        if (!proportional) return;
        if (const auto other = ProportionalSize(v, area.width, area.height)) ex.width = *other;
    });
    EndTyping();
    ShowFields();
}

void TForm8::Button5Click() {
    const CropArea area = app_.area();
    Change([&area](ExportSettings& ex) {
        ex.width = area.width;
        ex.height = area.height;
    });
    ShowFields();
}

void TForm8::Button2Click() {
    if (runner_->running()) return;
    const Project& p = app_.session().project();
    const Language language = app_.language();
    ExportPlanRequest request;
    request.pictureWidth = app_.previewPictureSize().width();
    request.pictureHeight = app_.previewPictureSize().height();
    request.templatePath = app_.resourceDir() + "/" + kViewerTemplateName;
    auto plan = std::make_shared<ExportPlan>();
    if (p.sources.empty()) {
        app_.dialogs().message(this, Text(Tr(Msg::ExportNothingToExport, language)));
        return;
    }
    if (Status status = MakeExportPlan(p, request, *plan); !status.ok()) {
        app_.dialogs().message(this, Label1->text() + QStringLiteral(": ") + Text(status.message()));
        return;
    }
    if (!EnsureFolder(plan->directory)) return;
    if (const std::vector<std::string> leftovers = LeftoverFrames(*plan); !leftovers.empty()) {
        const std::string example = std::filesystem::path(leftovers.front()).filename().string();
        if (app_.dialogs().question(
                this, Text(Tr(Msg::LeftoverFrames, language, {std::to_string(leftovers.size()), example})))) {
            std::error_code error;
            for (const std::string& file : leftovers) std::filesystem::remove(file, error);
        }
    }
    ProgressBar1->setRange(0, plan->frameCount());
    ProgressBar1->setValue(0);
    LockFields(true);
    runner_->Start(std::move(plan));
}

bool TForm8::EnsureFolder(const std::string& folder) {
    std::error_code error;
    if (std::filesystem::is_directory(folder, error)) return true;
    const Language language = app_.language();
    if (!app_.dialogs().question(this, Text(Tr(Msg::ExportCreateFolder, language, {folder})))) return false;
    std::filesystem::create_directories(folder, error);
    if (!error) return true;
    app_.dialogs().message(this, Text(Tr(Msg::ExportFolderFailed, language, {folder + ": " + error.message()})));
    return false;
}

void TForm8::LockFields(bool locked) {
    for (QWidget* field : std::initializer_list<QWidget*>{Edit1, Edit2, Edit3, Edit4, Edit5, ComboBox1, TrackBar1,
                                                          CheckBox1, CheckBox2, CheckBox3, Button1, Button2, Button5})
        field->setEnabled(!locked);
    CheckBox4->setEnabled(!locked && CheckBox2->isChecked());
}

void TForm8::Button3Click() {
    runner_->Stop();
}

void TForm8::Button4Click() {
    Button3Click();
    close();
}

bool TForm8::MayClose() {
    if (!runner_->running() || (runner_->session() && runner_->session()->stopped())) return true;
    const Language language = app_.language();
    // Yes stops it; No lets it run on with the dialog closed.
    if (app_.dialogs().question(this, Text(Tr(Msg::ExportStopQuestion, language)))) Button3Click();
    return true;
}

void TForm8::closeEvent(QCloseEvent* event) {
    if (!MayClose()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TForm8::reject() {
    if (MayClose()) QDialog::reject();
}

bool TForm8::exporting() const {
    return runner_->running();
}

const ExportSession* TForm8::session() const {
    return runner_->session();
}

void TForm8::exportProgress(int position) {
    ProgressBar1->setValue(position);
}

void TForm8::exportPreview(const Picture& frame) {
    if (frame.width() > 0 && frame.height() > 0) Image1->setPicture(frame);
}

void TForm8::exportPreviewCleared() {
    Image1->clearPicture();
}

void TForm8::exportEnded(const ExportOutcome& outcome) {
    LockFields(false);
    const QString text = Text(ExportOutcomeText(outcome, app_.language()));
    if (outcome.written == 0 || !runner_->session()) {
        app_.dialogs().message(this, text);
        return;
    }
    // The frames are what the user came for: one click shows them.
    const QString folder = Text(runner_->session()->plan().directory);
    if (app_.dialogs().messageWithAction(this, text, QString::fromUtf8(Tr(Msg::OpenFolder, app_.language()))))
        app_.dialogs().openUrl(QUrl::fromLocalFile(folder));
}

}  // namespace turnlet
