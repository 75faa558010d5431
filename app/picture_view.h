// SPDX-License-Identifier: MIT
// A picture box: shows a picture scaled by one factor to fit, keeping its proportions.
#pragma once

#include <QImage>
#include <QWidget>

#include "imaging/picture.h"

namespace turnlet {

// Shows a display copy of a picture (made small on a worker) as if it were the full-size picture
// it stands for: the fit and every mapping use the full size, the pixels come from the copy. The
// copy is scaled to the shown size once per change of picture or size and cached, so painting
// never scales more than the view shows.
class PictureView : public QWidget {
    Q_OBJECT

  public:
    enum class Anchor { TopLeft, Centre };

    explicit PictureView(QWidget* parent = nullptr, Anchor anchor = Anchor::TopLeft);

    // display: the pixels to show; fullWidth x fullHeight: the size of the picture they stand for.
    void setPicture(const Picture& display, int fullWidth, int fullHeight);
    void setPicture(const Picture& picture) { setPicture(picture, picture.width(), picture.height()); }
    void clearPicture();

    // Size of the full picture the view shows (0 x 0 when empty).
    int pictureWidth() const { return fullWidth_; }
    int pictureHeight() const { return fullHeight_; }
    bool hasPicture() const { return fullWidth_ > 0 && fullHeight_ > 0; }
    // The cached image as last painted, at the shown size (tests and screenshots).
    const QImage& shownImage() const { return shown_; }
    // The shown size for the current widget size: the fit of the full picture.
    QSize shownSize() const;
    // The display copy's own size.
    QSize displaySize() const { return display_.size(); }
    // False when the display copy is smaller than the shown size (it would be enlarged, blurred).
    bool coversShownSize() const;

  signals:
    // Positions in the view's own pixels; buttons as held after the event.
    void mousePressed(int x, int y, Qt::MouseButtons buttons);
    void mouseMoved(int x, int y, Qt::MouseButtons buttons);
    void mouseReleased(int x, int y, Qt::MouseButtons buttons);
    void mouseLeft();
    void doubleClicked();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    void updateShown();

    Anchor anchor_;
    QImage display_;  // owns its pixels
    QImage shown_;    // display_ at the shown size
    int fullWidth_ = 0, fullHeight_ = 0;
};

// A deep copy of a 24-bit picture as a QImage (both hold blue, green, red in that order per pixel).
QImage ToQImage(const Picture& picture);

}  // namespace turnlet
