// SPDX-License-Identifier: MIT
// The combined rotate-zoom-shift-crop that places one frame by its tuning values.
#pragma once

#include <cmath>

#include "picture.h"

namespace turnlet {

// Zoom factor (source pixels per output pixel) for a scale value: 1000 / (1000 - scale) above 0,
// (1000 + scale) / 1000 otherwise. Not finite or negative for scale >= 1000.
double ZoomFactor(double scale);

// Where output pixel (x, y) of a transform takes its colour from. Shared by TransformPicture and
// the export's fused frame renderer so both evaluate the very same expression.
class TransformMapping {
  public:
    TransformMapping(int left, int top, int outWidth, int outHeight, double angle, double scale)
        : left_(left), top_(top), cx_(outWidth / 2), cy_(outHeight / 2) {
        const double theta = angle * 3.141592653589793 / 180;
        c_ = std::cos(theta);
        s_ = std::sin(theta);
        k_ = ZoomFactor(scale);
        // Scale 1000 and above gives an infinite or negative zoom: nothing of the source is shown.
        valid_ = std::isfinite(k_) && k_ >= 0;
    }

    bool valid() const { return valid_; }

    // Source pixel for output (x, y) within a sourceWidth x sourceHeight source; false means background.
    bool Map(int x, int y, int sourceWidth, int sourceHeight, int& sx, int& sy) const {
        if (!valid_) return false;
        const double dx = x - cx_;
        const double dy = y - cy_;
        const double u = dx * c_ - dy * s_;
        const double v = dx * s_ + dy * c_;
        // Compared as reals before converting, so huge offsets cannot overflow an int.
        const double fx = std::trunc(u * k_ + left_ + cx_);
        const double fy = std::trunc(v * k_ + top_ + cy_);
        if (!(fx >= 0 && fx < sourceWidth && fy >= 0 && fy < sourceHeight)) return false;
        sx = static_cast<int>(fx);
        sy = static_cast<int>(fy);
        return true;
    }

  private:
    double left_;
    double top_;
    int cx_;
    int cy_;
    double c_ = 1;
    double s_ = 0;
    double k_ = 1;
    bool valid_ = true;
};

// outWidth x outHeight output showing the source rectangle at (left, top), turned by angle degrees
// about its centre and zoomed by ZoomFactor(scale); uncovered pixels take background.
// A scale of 1000 or more (infinite or negative zoom) fills the output with the background.
void TransformPicture(const Picture& source, Picture& output, int left, int top, int outWidth, int outHeight,
                      Color background, double angle, double scale);

}  // namespace turnlet
