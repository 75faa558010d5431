// SPDX-License-Identifier: MIT
// Fitting a picture into a view.
#include "firstlast/view_fit.h"

namespace turnlet {

FittedSize FitToView(int width, int height, int viewWidth, int viewHeight) {
    if (width <= 0 || height <= 0 || viewWidth <= 0 || viewHeight <= 0) return {};
    const double r = static_cast<double>(width) / height;
    const double t = static_cast<double>(viewWidth) / viewHeight;
    if (t > r) return {static_cast<int>(viewHeight * r), viewHeight};
    return {viewWidth, static_cast<int>(viewWidth / r)};
}

FittedSize FitWithin(int width, int height, int viewWidth, int viewHeight) {
    if (width <= viewWidth && height <= viewHeight && width > 0 && height > 0) return {width, height};
    return FitToView(width, height, viewWidth, viewHeight);
}

}  // namespace turnlet
