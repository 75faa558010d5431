// SPDX-License-Identifier: MIT
// The combined rotate-zoom-shift-crop that places one frame by its tuning values.
#pragma once

#include <cmath>

#include "picture.h"

namespace turnlet {

// Zoom factor (source pixels per output pixel) for a scale value: 1000 / (1000 - scale) above 0,
// (1000 + scale) / 1000 otherwise. Not finite or negative for scale >= 1000.
double ZoomFactor(double scale);

// Where output pixel (x, y) of a transform takes its colour from: the one statement of the formula.
// TransformPicture's paths (portable and vector) and the export's fused frame renderer all evaluate
// it, the vector paths with the same operations in the same order, and the tests hold each to Map.
class TransformMapping {
  public:
    TransformMapping(int left, int top, int outWidth, int outHeight, double angle, double scale)
        : left_(left), top_(top), cx_(outWidth / 2), cy_(outHeight / 2) {
        const double theta = angle * 3.141592653589793 / 180;
        c_ = std::cos(theta);
        s_ = std::sin(theta);
        k_ = ZoomFactor(scale);
        // Scale 1000 and above gives an infinite or negative zoom (an infinite scale gives -0, caught
        // by the first test), NaN gives NaN: nothing of the source is shown.
        valid_ = scale < 1000 && std::isfinite(k_) && k_ >= 0;
    }

    bool valid() const { return valid_; }

    // d * cos and d * sin for an output column's or row's distance d from the centre. They depend on
    // one coordinate only, so a row walk computes them once per column and once per row.
    struct Terms {
        double cos;
        double sin;
    };
    Terms ColumnTerms(int x) const {
        const double dx = x - cx_;
        return {dx * c_, dx * s_};
    }
    Terms RowTerms(int y) const {
        const double dy = y - cy_;
        return {dy * c_, dy * s_};
    }
    // The same at a position between pixels (the smooth frame samples at output pixel centres).
    Terms ColumnTermsAt(double x) const {
        const double dx = x - cx_;
        return {dx * c_, dx * s_};
    }
    Terms RowTermsAt(double y) const {
        const double dy = y - cy_;
        return {dy * c_, dy * s_};
    }
    // The source point before truncation: u * k + left + cx with u = dx * c - dy * s, and
    // v * k + top + cy with v = dx * s + dy * c, grouped exactly as written.
    double SourceX(Terms column, Terms row) const { return (column.cos - row.sin) * k_ + left_ + cx_; }
    double SourceY(Terms column, Terms row) const { return (column.sin + row.cos) * k_ + top_ + cy_; }

    // Source pixel for output (x, y) within a sourceWidth x sourceHeight source; false means background.
    bool Map(int x, int y, int sourceWidth, int sourceHeight, int& sx, int& sy) const {
        if (!valid_) return false;
        const Terms column = ColumnTerms(x);
        const Terms row = RowTerms(y);
        // Compared as reals before converting, so huge offsets cannot overflow an int.
        const double fx = std::trunc(SourceX(column, row));
        const double fy = std::trunc(SourceY(column, row));
        if (!(fx >= 0 && fx < sourceWidth && fy >= 0 && fy < sourceHeight)) return false;
        sx = static_cast<int>(fx);
        sy = static_cast<int>(fy);
        return true;
    }

    // The constants of SourceX and SourceY, for the vector paths that repeat them lane by lane.
    double zoom() const { return k_; }
    double left() const { return left_; }
    double top() const { return top_; }
    double centreX() const { return cx_; }
    double centreY() const { return cy_; }
    double cosine() const { return c_; }
    double sine() const { return s_; }

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
