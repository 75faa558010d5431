// SPDX-License-Identifier: MIT
// The About box.
#include "dialogs/about_box.h"

#include <QCursor>
#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

#include "shell/catalogue.h"
#include "dialogs.h"
#include "app_context.h"
#include "shell/about_direction.h"

namespace turnlet {
namespace {

// Where the pictures stand in the panel, and their size.
constexpr int kImageLeft = 5, kImageTop = 16, kImageSize = 100;

// The product pages in the two languages.
const char* const kProductPageEnglish = "https://turnlet.example/en/";
const char* const kProductPageRussian = "https://turnlet.example/ru/";

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, QRect geometry) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(geometry);
    return label;
}

}  // namespace

TAboutBox::TAboutBox(AppContext& app, QWidget* parent) : QDialog(parent), app_(app) {
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About program"));
    setFixedSize(320, 232);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(8, 8, 304, 185);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    const QString pictures = QString::fromStdString(app_.resourceDir()) + QStringLiteral("/about/");
    for (int i = 0; i < 9; ++i) {
        QLabel* image = MakeLabel(Panel1, "", QString(), {kImageLeft, kImageTop, kImageSize, kImageSize});
        image->setObjectName(QStringLiteral("Image%1").arg(i + 1));
        image->setPixmap(QPixmap(pictures + QStringLiteral("about%1.png").arg(i + 1)));
        image->hide();
        Images[static_cast<std::size_t>(i)] = image;
    }
    QFont bold = font();
    bold.setBold(true);
    bold.setPointSize(bold.pointSize() + 4);
    ProductName = MakeLabel(Panel1, "ProductName", QStringLiteral("Turnlet"), {120, 16, 176, 26});
    ProductName->setFont(bold);
    bold.setPointSize(font().pointSize());
    Version =
        MakeLabel(Panel1, "Version", QString::fromUtf8(Tr(Msg::AboutVersion, Language::English)), {120, 46, 176, 17});
    Version->setFont(bold);
    Copyright = MakeLabel(Panel1, "Copyright",
                          QStringLiteral("360° views of products from a series of photographs. "
                                         "Free software under the MIT licence."),
                          {120, 72, 176, 60});
    Copyright->setWordWrap(true);
    Copyright->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Comments = MakeLabel(Panel1, "Comments", QStringLiteral("Turnlet on the web"), {120, 140, 176, 34});
    Comments->setWordWrap(true);
    Comments->setCursor(Qt::PointingHandCursor);
    Comments->setStyleSheet(QStringLiteral("color: #0645ad; text-decoration: underline"));
    Comments->installEventFilter(this);

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(122, 200, 75, 25);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(100);
    connect(Timer1, &QTimer::timeout, this, &TAboutBox::Timer1Timer);
    Timer1->start();
}

void TAboutBox::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TAboutBox::FormShow() {
    const std::string& code = app_.settings().languageCode;
    setWindowTitle(QString::fromUtf8(Tr(Msg::AboutCaption, LanguageOf(code))));
    Version->setText(QString::fromUtf8(Tr(Msg::AboutVersion, LanguageOf(code))));
}

void TAboutBox::Timer1Timer() {
    LookAt(QCursor::pos());
}

void TAboutBox::LookAt(QPoint pointer) {
    // The reference rectangle is the first picture's offset within its panel, taken from the
    // window's outer corner.
    const QRect window = frameGeometry();
    const int shown = AboutPictureIndex(pointer.x(), pointer.y(), window.x() + kImageLeft, window.y() + kImageTop,
                                        kImageSize, kImageSize);
    for (int i = 0; i < 9; ++i) Images[static_cast<std::size_t>(i)]->setVisible(i == shown);
}

int TAboutBox::shownPicture() const {
    for (int i = 0; i < 9; ++i)
        if (!Images[static_cast<std::size_t>(i)]->isHidden()) return i;
    return -1;
}

void TAboutBox::CommentsClick() {
    const std::string& code = app_.settings().languageCode;
    const char* page = code == "ru" ? kProductPageRussian : (code == "en" ? kProductPageEnglish : nullptr);
    if (page) app_.dialogs().openUrl(QUrl(QString::fromLatin1(page)));
}

bool TAboutBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Comments && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        CommentsClick();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace turnlet
