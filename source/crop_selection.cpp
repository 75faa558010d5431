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
    constexpr double kMax = std::numeric_limits<int>::max();
    constexpr double kMin = std::numeric_limits<int>::min();
    if (value >= kMax) return std::numeric_limits<int>::max();
    if (value <= kMin) return std::numeric_limits<int>::min();
    return static_cast<int>(value);
}

std::int32_t Saturate(std::int64_t value) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                                              std::numeric_limits<std::int32_t>::max()));
}

PictureFit FitOf(const CropView& view) {
    return FitPicture(view.pictureWidth, view.pictureHeight, view.image.width, view.image.height);
}

}  // namespace

std::optional<PicturePoint> ViewToPicture(const PictureFit& fit, int x, int y) {
    if (fit.scale <= 0 || x < 0 || y < 0 || x >= fit.shownWidth || y >= fit.shownHeight) return std::nullopt;
    return PicturePoint{Trunc(x / fit.scale), Trunc(y / fit.scale)};
}

bool CropSelection::Draw(const CropView& view) {
    if (!project_.imagesLoaded) {
        Hide();
        return false;
    }
    if (!project_.cropOutlineVisible || view.pictureWidth <= 0 || view.pictureHeight <= 0) return false;
    const double s = FitOf(view).scale;
    const CropRect& r = project_.cropRect;
    outline_.left = Trunc(r.left * s + view.image.left);
    outline_.top = Trunc(r.top * s + view.image.top);
    outline_.width = Trunc(static_cast<double>(static_cast<std::int64_t>(r.right) - r.left) * s);
    outline_.height = Trunc(static_cast<double>(static_cast<std::int64_t>(r.bottom) - r.top) * s);
    project_.crop.left = FormatInteger(r.left);
    project_.crop.top = FormatInteger(r.top);
    project_.crop.width = FormatInteger(static_cast<long long>(r.right) - r.left + 1);
    project_.crop.height = FormatInteger(static_cast<long long>(r.bottom) - r.top + 1);
    return true;
}

bool CropSelection::ImageMouseDown(const CropView& view, int x, int y, bool leftPressed) {
    if (!leftPressed) return false;
    if (!project_.imagesLoaded) {
        Hide();
        return false;
    }
    if (view.pictureWidth <= 0 || view.pictureHeight <= 0) return false;
    const std::optional<PicturePoint> p = ViewToPicture(FitOf(view), x, y);
    if (!p) return false;
    // The new rectangle starts only when the pointer moves: a stray click keeps the crop.
    anchor_ = *p;
    drawing_ = false;
    dragActive_ = true;
    return false;
}

void CropSelection::StartDrawing() {
    if (drawing_) return;
    drawing_ = true;
    project_.cropRect = CropRect{anchor_.x, anchor_.y, anchor_.x, anchor_.y};
    project_.cropOutlineVisible = true;
}

CropSelection::MoveOutcome CropSelection::ImageMouseMove(const CropView& view, int x, int y, bool leftHeld) {
    MoveOutcome outcome;
    if (!project_.imagesLoaded) {
        Hide();
        return outcome;
    }
    if (!dragActive_ || view.pictureHeight <= 0) return outcome;
    const std::optional<PicturePoint> p = ViewToPicture(FitOf(view), x, y);
    if (!p) return outcome;  // the rectangle keeps its last corner
    outcome.pointerText = "(" + FormatInteger(p->x) + "," + FormatInteger(p->y) + ")";
    if (leftHeld && (drawing_ || !(*p == anchor_))) {
        StartDrawing();
        project_.cropRect.right = p->x;
        project_.cropRect.bottom = p->y;
        outcome.draw = true;
    }
    return outcome;
}

bool CropSelection::ImageMouseUp(const CropView& view, int x, int y) {
    if (!dragActive_) return false;
    if (!project_.imagesLoaded) {
        Hide();
        return false;
    }
    if (view.pictureHeight <= 0) return false;
    // Off the picture the drag stays active until the pointer leaves the preview.
    const std::optional<PicturePoint> p = ViewToPicture(FitOf(view), x, y);
    if (!p) return false;
    if (!drawing_ && *p == anchor_) {
        dragActive_ = false;
        return false;
    }
    StartDrawing();
    CropRect& r = project_.cropRect;
    r.right = p->x;
    r.bottom = p->y;
    if (r.right < r.left) std::swap(r.left, r.right);
    if (r.bottom < r.top) std::swap(r.top, r.bottom);
    dragActive_ = false;
    return true;
}

void CropSelection::OutlineMouseDown(int pageX, int pageY, bool leftPressed) {
    if (!leftPressed) return;
    grab_ = PicturePoint{pageX - outline_.left, pageY - outline_.top};
    dragActive_ = true;
}

bool CropSelection::OutlineMouseMove(const CropView& view, int pageX, int pageY, bool leftHeld) {
    if (!leftHeld || view.pictureWidth <= 0 || view.pictureHeight <= 0) return false;
    const double s = FitOf(view).scale;
    if (s <= 0) return false;
    // The grabbed point stays under the pointer.
    int left = pageX - grab_.x;
    int top = pageY - grab_.y;
    if (left < view.image.left) left = view.image.left;
    if (top < view.image.top) top = view.image.top;
    const std::int64_t right = static_cast<std::int64_t>(Trunc(view.pictureWidth * s)) + view.image.left;
    if (static_cast<std::int64_t>(left) + outline_.width > right) left = Saturate(right - outline_.width);
    const std::int64_t bottom = static_cast<std::int64_t>(Trunc(view.pictureHeight * s)) + view.image.top;
    if (static_cast<std::int64_t>(top) + outline_.height > bottom) top = Saturate(bottom - outline_.height);
    outline_.left = left;
    outline_.top = top;
    const int cropLeft = Trunc((1 / s) * (left - view.image.left));
    const int cropTop = Trunc((1 / s) * (top - view.image.top));
    project_.crop.left = FormatInteger(cropLeft);
    project_.crop.top = FormatInteger(cropTop);
    // The rectangle follows with its size kept, so the next redraw keeps the moved position.
    CropRect& r = project_.cropRect;
    r.right = Saturate(static_cast<std::int64_t>(r.right) + cropLeft - r.left);
    r.bottom = Saturate(static_cast<std::int64_t>(r.bottom) + cropTop - r.top);
    r.left = cropLeft;
    r.top = cropTop;
    return true;
}

void CropSelection::NoCrop() {
    project_.crop = CropTexts{};
    Hide();
}

}  // namespace turnlet
