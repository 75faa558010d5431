// SPDX-License-Identifier: MIT
// A picture box that scales a cached display copy.
#include "picture_view.h"

#include <QMouseEvent>
#include <QPainter>

#include <cstring>

#include "source/crop_selection.h"

namespace turnlet {

QImage ToQImage(const Picture& picture) {
    if (picture.empty()) return {};
    QImage image(picture.width(), picture.height(), QImage::Format_BGR888);
    if (image.isNull()) return {};
    for (int y = 0; y < picture.height(); ++y) std::memcpy(image.scanLine(y), picture.row(y), picture.stride());
    return image;
}

PictureView::PictureView(QWidget* parent, Anchor anchor) : QWidget(parent), anchor_(anchor) {
    // Moves without a button held still report where the pointer is (the crop's coordinates).
    setMouseTracking(true);
}

void PictureView::setPicture(const Picture& display, int fullWidth, int fullHeight) {
    display_ = ToQImage(display);
    fullWidth_ = display_.isNull() ? 0 : fullWidth;
    fullHeight_ = display_.isNull() ? 0 : fullHeight;
    shown_ = QImage();
    update();
}

void PictureView::clearPicture() {
    display_ = QImage();
    shown_ = QImage();
    fullWidth_ = fullHeight_ = 0;
    update();
}

QSize PictureView::shownSize() const {
    const PictureFit fit = FitPicture(fullWidth_, fullHeight_, width(), height());
    return {fit.shownWidth, fit.shownHeight};
}

bool PictureView::coversShownSize() const {
    if (display_.isNull()) return true;
    const QSize device = (QSizeF(shownSize()) * devicePixelRatioF()).toSize();
    return display_.width() >= device.width() && display_.height() >= device.height();
}

void PictureView::updateShown() {
    const qreal ratio = devicePixelRatioF();
    const QSize size = (QSizeF(shownSize()) * ratio).toSize();
    if (display_.isNull() || size.isEmpty()) {
        shown_ = QImage();
        return;
    }
    if (shown_.size() == size && shown_.devicePixelRatio() == ratio) return;
    shown_ =
        display_.size() == size ? display_ : display_.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    shown_.setDevicePixelRatio(ratio);
}

void PictureView::paintEvent(QPaintEvent*) {
    updateShown();
    if (shown_.isNull()) return;
    QPainter painter(this);
    QPoint at(0, 0);
    if (anchor_ == Anchor::Centre) {
        const QSize shown = shownSize();
        at = QPoint((width() - shown.width()) / 2, (height() - shown.height()) / 2);
    }
    painter.drawImage(at, shown_);
}

void PictureView::mousePressEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    emit mousePressed(p.x(), p.y(), event->buttons());
}

void PictureView::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    emit mouseMoved(p.x(), p.y(), event->buttons());
}

void PictureView::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    emit mouseReleased(p.x(), p.y(), event->buttons());
}

void PictureView::mouseDoubleClickEvent(QMouseEvent* event) {
    emit doubleClicked();
    // A double click is also a press: keep the press semantics for the handlers.
    mousePressEvent(event);
}

void PictureView::leaveEvent(QEvent*) {
    emit mouseLeft();
}

}  // namespace turnlet
