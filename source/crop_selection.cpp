// SPDX-License-Identifier: MIT
// The crop rectangle on the source preview.
#include "source/crop_selection.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "base/number_text.h"

namespace turnlet {
namespace {

// Truncation toward zero, saturated so that typed or stored extremes never overflow.
int Trunc(double value) {
    if (!(value == value)) return 0;
    return static_cast<int>(std::clamp(std::trunc(value), static_cast<double>(std::numeric_limits<int>::min()),
                                       static_cast<double>(std::numeric_limits<int>::max())));
}

PictureFit FitOf(const CropView& view) {
    return FitPicture(view.pictureWidth, view.pictureHeight, view.image.width, view.image.height);
}

}  // namespace

std::optional<PicturePoint> ViewToPicture(const PictureFit& fit, int x, int y) {
    if (fit.scale <= 0 || x < 0 || y < 0 || x >= fit.shownWidth || y >= fit.shownHeight) return std::nullopt;
    return PicturePoint{Trunc(x / fit.scale), Trunc(y / fit.scale)};
}

std::optional<PageRect> CropOutlineFor(const CropView& view, const CropArea& crop) {
    if (view.pictureWidth <= 0 || view.pictureHeight <= 0) return std::nullopt;
    const double s = FitOf(view).scale;
    return PageRect{Trunc(crop.left * s + view.image.left), Trunc(crop.top * s + view.image.top),
                    Trunc((static_cast<double>(crop.width) - 1) * s),
                    Trunc((static_cast<double>(crop.height) - 1) * s)};
}

CropArea ClampCrop(CropArea crop, int pictureWidth, int pictureHeight) {
    if (pictureWidth <= 0 || pictureHeight <= 0) return crop;
    crop.left = std::clamp(crop.left, 0, pictureWidth - 1);
    crop.top = std::clamp(crop.top, 0, pictureHeight - 1);
    crop.width = std::clamp(crop.width, 1, pictureWidth - crop.left);
    crop.height = std::clamp(crop.height, 1, pictureHeight - crop.top);
    return crop;
}

CropArea CropSelection::From(const PicturePoint& corner) const {
    return {std::min(anchor_.x, corner.x), std::min(anchor_.y, corner.y), std::abs(corner.x - anchor_.x) + 1,
            std::abs(corner.y - anchor_.y) + 1};
}

void CropSelection::ImageMouseDown(const CropView& view, int x, int y, bool leftPressed) {
    if (!leftPressed || view.pictureWidth <= 0 || view.pictureHeight <= 0) return;
    const std::optional<PicturePoint> p = ViewToPicture(FitOf(view), x, y);
    if (!p) return;
    anchor_ = *p;
    drawing_ = false;
    dragActive_ = true;
}

CropSelection::MoveOutcome CropSelection::ImageMouseMove(const CropView& view, int x, int y, bool leftHeld) {
    MoveOutcome outcome;
    if (!dragActive_ || view.pictureHeight <= 0) return outcome;
    const std::optional<PicturePoint> p = ViewToPicture(FitOf(view), x, y);
    if (!p) return outcome;  // the rectangle keeps its last corner
    outcome.pointerText = "(" + FormatInteger(p->x) + "," + FormatInteger(p->y) + ")";
    if (leftHeld && (drawing_ || !(*p == anchor_))) {
        drawing_ = true;
        outcome.crop = From(*p);
    }
    return outcome;
}

std::optional<CropArea> CropSelection::ImageMouseUp(const CropView& view, int x, int y) {
    if (!dragActive_ || view.pictureHeight <= 0) return std::nullopt;
    // Off the picture the drag stays active until the pointer leaves the preview.
    const std::optional<PicturePoint> p = ViewToPicture(FitOf(view), x, y);
    if (!p) return std::nullopt;
    dragActive_ = false;
    if (!drawing_ && *p == anchor_) return std::nullopt;
    drawing_ = false;
    return From(*p);
}

void CropSelection::OutlineMouseDown(const PageRect& outline, int pageX, int pageY, bool leftPressed) {
    if (!leftPressed) return;
    grab_ = PicturePoint{pageX - outline.left, pageY - outline.top};
    grabbed_ = outline;
    dragActive_ = true;
}

std::optional<CropArea> CropSelection::OutlineMouseMove(const CropView& view, const CropArea& crop, int pageX,
                                                        int pageY, bool leftHeld) {
    if (!leftHeld || view.pictureWidth <= 0 || view.pictureHeight <= 0) return std::nullopt;
    const double s = FitOf(view).scale;
    if (s <= 0) return std::nullopt;
    // The grabbed point stays under the pointer.
    std::int64_t left = pageX - grab_.x;
    std::int64_t top = pageY - grab_.y;
    left = std::max<std::int64_t>(left, view.image.left);
    top = std::max<std::int64_t>(top, view.image.top);
    const std::int64_t right = static_cast<std::int64_t>(Trunc(view.pictureWidth * s)) + view.image.left;
    if (left + grabbed_.width > right) left = right - grabbed_.width;
    const std::int64_t bottom = static_cast<std::int64_t>(Trunc(view.pictureHeight * s)) + view.image.top;
    if (top + grabbed_.height > bottom) top = bottom - grabbed_.height;
    CropArea moved = crop;
    moved.left = Trunc((1 / s) * static_cast<double>(left - view.image.left));
    moved.top = Trunc((1 / s) * static_cast<double>(top - view.image.top));
    return moved;
}

}  // namespace turnlet
