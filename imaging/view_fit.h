// SPDX-License-Identifier: MIT
// The size a picture takes when fitted into a view with its proportions kept.
#pragma once

namespace turnlet {

struct FittedSize {
    int width = 0, height = 0;
    bool empty() const { return width <= 0 || height <= 0; }
    friend bool operator==(const FittedSize&, const FittedSize&) = default;
};

// With r = width / height and t = viewWidth / viewHeight: when t > r the view's height and
// truncate(viewHeight * r), otherwise the view's width and truncate(viewWidth / r). May enlarge.
// An empty picture or view gives 0 x 0.
FittedSize FitToView(int width, int height, int viewWidth, int viewHeight);

// How a view shows a picture: scaled by one factor to fit, anchored at the view's top-left corner.
struct PictureFit {
    double scale = 0;  // view pixels per picture pixel
    int shownWidth = 0;
    int shownHeight = 0;
};

// scale = min(viewWidth / width, viewHeight / height); the shown size is FitToView's.
PictureFit FitPicture(int width, int height, int viewWidth, int viewHeight);

// FitToView, but a picture that already fits is kept at its own size (a view never needs more).
FittedSize FitWithin(int width, int height, int viewWidth, int viewHeight);

}  // namespace turnlet
