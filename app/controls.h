// SPDX-License-Identifier: MIT
// Small control classes of the main window: page control, source list, crop outline, status bar.
#pragma once

#include <QListWidget>
#include <QString>
#include <QTabWidget>
#include <QWidget>

#include <array>

#include "shell/status_texts.h"

namespace turnlet {

// A tab widget that tells how much of its size the tabs and the frame take.
class PageControl : public QTabWidget {
    Q_OBJECT

  public:
    using QTabWidget::QTabWidget;
    // Outer size minus the size its pages get.
    QSize chrome() const;
};

// The source list. Click fires for a left click on an item and for a keyboard move of the current
// item, not when code changes the list.
class SourceListBox : public QListWidget {
    Q_OBJECT

  public:
    explicit SourceListBox(QWidget* parent = nullptr);

  signals:
    void Click();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
};

// The crop outline over the source preview. Its one-pixel outline inverts what lies under it, so it
// shows on any photograph; the inside shows the preview unchanged but catches the mouse.
class CropOutline : public QWidget {
    Q_OBJECT

  public:
    explicit CropOutline(QWidget* parent = nullptr);
    // Positions are in the coordinates of the parent page; a negative size (a rectangle drawn up or
    // to the left) covers the same pixels as its positive counterpart.
    void place(int left, int top, int width, int height);

  signals:
    // Positions in the page's coordinates.
    void mousePressed(int pageX, int pageY, Qt::MouseButtons buttons);
    void mouseMoved(int pageX, int pageY, Qt::MouseButtons buttons);
    void mouseReleased(Qt::MouseButtons buttons);
    void mouseLeft();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
};

// The status bar: six panels of fixed widths (the last one takes the rest), sunken, texts of panels
// 0 to 4 centred; a text longer than its panel is shortened with an ellipsis on screen only.
class StatusPanels : public QWidget {
    Q_OBJECT

  public:
    explicit StatusPanels(QWidget* parent = nullptr);
    void setPanelText(int panel, const QString& text);
    QString panelText(int panel) const;
    // Where panel i lies in the bar.
    QRect panelRect(int panel) const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::array<QString, kStatusPanels> texts_;
};

}  // namespace turnlet
