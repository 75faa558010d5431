// SPDX-License-Identifier: MIT
// Small control classes of the main window.
#include "controls.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <qdrawutil.h>
#include <QStyle>
#include <QStyleOptionTabWidgetFrame>

#include <cstdlib>

namespace turnlet {

QSize PageControl::chrome() const {
    QStyleOptionTabWidgetFrame option;
    initStyleOption(&option);
    const QRect contents = style()->subElementRect(QStyle::SE_TabWidgetTabContents, &option, this);
    return size() - contents.size();
}

SourceListBox::SourceListBox(QWidget* parent) : QListWidget(parent) {
    connect(this, &QAbstractItemView::clicked, this, &SourceListBox::Click);
}

void SourceListBox::keyPressEvent(QKeyEvent* event) {
    const int before = currentRow();
    QListWidget::keyPressEvent(event);
    if (currentRow() != before) emit Click();
}

CropOutline::CropOutline(QWidget* parent) : QWidget(parent) {
    // Painted over the preview, never filled: the preview must show through.
    setAttribute(Qt::WA_NoSystemBackground);
    setAutoFillBackground(false);
}

void CropOutline::place(int left, int top, int width, int height) {
    if (width < 0) left += width;
    if (height < 0) top += height;
    setGeometry(left, top, std::abs(width), std::abs(height));
}

void CropOutline::paintEvent(QPaintEvent*) {
    const int w = width(), h = height();
    if (w <= 0 || h <= 0) return;
    QPainter painter(this);
    painter.setCompositionMode(QPainter::RasterOp_NotDestination);
    // Four strips that never overlap: a pixel inverted twice would vanish.
    painter.fillRect(0, 0, w, 1, Qt::black);
    if (h > 1) painter.fillRect(0, h - 1, w, 1, Qt::black);
    if (h > 2) {
        painter.fillRect(0, 1, 1, h - 2, Qt::black);
        if (w > 1) painter.fillRect(w - 1, 1, 1, h - 2, Qt::black);
    }
}

void CropOutline::mousePressEvent(QMouseEvent* event) {
    const QPoint p = mapToParent(event->position().toPoint());
    emit mousePressed(p.x(), p.y(), event->buttons());
}

void CropOutline::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = mapToParent(event->position().toPoint());
    emit mouseMoved(p.x(), p.y(), event->buttons());
}

void CropOutline::mouseReleaseEvent(QMouseEvent* event) {
    emit mouseReleased(event->buttons());
}

void CropOutline::leaveEvent(QEvent*) {
    emit mouseLeft();
}

StatusPanels::StatusPanels(QWidget* parent) : QWidget(parent) {}

void StatusPanels::setPanelText(int panel, const QString& text) {
    if (panel < 0 || panel >= kStatusPanels || texts_[panel] == text) return;
    texts_[panel] = text;
    if (panel == kPathPanel) setToolTip(text);
    update(panelRect(panel));
}

QString StatusPanels::panelText(int panel) const {
    return panel >= 0 && panel < kStatusPanels ? texts_[panel] : QString();
}

QRect StatusPanels::panelRect(int panel) const {
    int left = 0;
    for (int i = 0; i < panel; ++i) left += kStatusPanelWidths[i];
    const int width = panel == kStatusPanels - 1 ? std::max(kStatusPanelWidths[panel], this->width() - left)
                                                 : kStatusPanelWidths[panel];
    return QRect(left, 0, width, height());
}

void StatusPanels::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    for (int i = 0; i < kStatusPanels; ++i) {
        const QRect r = panelRect(i).adjusted(1, 1, -1, -1);
        qDrawShadePanel(&painter, r, palette(), true, 1);
        painter.setPen(palette().color(QPalette::WindowText));
        const QRect textRect = r.adjusted(3, 0, -3, 0);
        const Qt::Alignment align = (i == kPathPanel ? Qt::AlignLeft : Qt::AlignHCenter) | Qt::AlignVCenter;
        const Qt::TextElideMode elide = i == kPathPanel ? Qt::ElideMiddle : Qt::ElideRight;
        painter.drawText(textRect, align, painter.fontMetrics().elidedText(texts_[i], elide, textRect.width()));
    }
}

}  // namespace turnlet
