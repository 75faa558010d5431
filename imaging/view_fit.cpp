// SPDX-License-Identifier: MIT
// Fitting a picture into a view.
#include "imaging/view_fit.h"

#include <algorithm>

namespace turnlet {

FittedSize FitToView(int width, int height, int viewWidth, int viewHeight) {
    if (width <= 0 || height <= 0 || viewWidth <= 0 || viewHeight <= 0) return {};
    const double r = static_cast<double>(width) / height;
    const double t = static_cast<double>(viewWidth) / viewHeight;
    if (t > r) return {static_cast<int>(viewHeight * r), viewHeight};
    return {viewWidth, static_cast<int>(viewWidth / r)};
}

PictureFit FitPicture(int width, int height, int viewWidth, int viewHeight) {
    const FittedSize shown = FitToView(width, height, viewWidth, viewHeight);
    if (shown.empty()) return {};
    const double scale = std::min(static_cast<double>(viewWidth) / width, static_cast<double>(viewHeight) / height);
    return {scale, shown.width, shown.height};
}

FittedSize FitWithin(int width, int height, int viewWidth, int viewHeight) {
    if (width <= viewWidth && height <= viewHeight && width > 0 && height > 0) return {width, height};
    return FitToView(width, height, viewWidth, viewHeight);
}

}  // namespace turnlet
