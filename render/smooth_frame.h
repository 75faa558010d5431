// SPDX-License-Identifier: MIT
// How a smooth frame reads its source: the turned source averaged down to about one pixel per output
// pixel, and each output pixel's centre taken through the transform to one of those averages.
#pragma once

#include <cstdint>
#include <vector>

#include "frame_render.h"
#include "imaging/picture.h"
#include "imaging/resize.h"
#include "imaging/transform.h"
#include "imaging/turned_view.h"

namespace turnlet {

// Averaging the source first and sampling the average once per output pixel reads each source
// pixel once, in decoded-row order, where averaging the crop's pixels would take every one of them
// through the transform: a tenth of the work on a 3-to-1 shrink, with the same anti-aliasing.
struct SmoothPlan {
    // For a decodedWidth x decodedHeight source (not yet turned); the frame must pass SmoothResizes.
    SmoothPlan(const FrameParams& params, int decodedWidth, int decodedHeight);

    // The reduced (turned) pixel that output pixel (x, y) takes, or false for the background.
    bool Reduced(int x, int y, int& rx, int& ry) const { return Reduced(columnTerms[x], rowTerms[y], rx, ry); }
    bool Reduced(TransformMapping::Terms column, TransformMapping::Terms row, int& rx, int& ry) const {
        // The transform's point, moved from pixel centres to pixel edges, in reduced pixels.
        const double fx = (mapping.SourceX(column, row) + 0.5) * factorX;
        const double fy = (mapping.SourceY(column, row) + 0.5) * factorY;
        // NaN fails every comparison.
        if (!(fx >= 0 && fx < reducedWidth && fy >= 0 && fy < reducedHeight)) return false;
        rx = static_cast<int>(fx);
        ry = static_cast<int>(fy);
        return true;
    }

    // The reduced (turned) pixels the frame reads: the smallest rectangle holding them all, empty
    // when the frame is background only.
    PixelRect TurnedReach() const;

    // Untilted frames only (mapping.sine() == 0): the terms that mix the axes are then zeros (of
    // either sign, which the sums they enter do not see), so the reduced column an output pixel
    // takes depends on its column alone and the reduced row on its row alone. The reduced column
    // of output column x, or -1 when it misses the reduced picture; likewise the row of row y.
    int UprightColumn(int x) const;
    int UprightRow(int y) const;

    // The decoded source's own reduction (the turned one with its axes swapped when sideways):
    // x across decoded columns, y down decoded rows.
    SmoothAxis DecodedAxisX() const;
    SmoothAxis DecodedAxisY() const;
    int DecodedReducedWidth() const { return sideways ? reducedHeight : reducedWidth; }
    int DecodedReducedHeight() const { return sideways ? reducedWidth : reducedHeight; }

    TransformMapping mapping;
    int degrees;
    bool sideways;
    int decodedWidth, decodedHeight;
    int turnedWidth = 0, turnedHeight = 0;
    // Turned source averaged to reducedWidth x reducedHeight (each no larger than the turned side).
    int reducedWidth = 0, reducedHeight = 0;
    double factorX = 0, factorY = 0;  // reduced pixels per turned pixel
    // The transform's terms at the centre of each output column and row, as crop positions.
    std::vector<TransformMapping::Terms> columnTerms, rowTerms;
    std::vector<double> columnCos, columnSin;  // the column terms apart, for vector loads
};

// The source pixels each reduced pixel averages, over the whole rectangle of reduced pixels.
PixelRect SourceOfReduced(const PixelRect& reduced, const SmoothAxis& ax, const SmoothAxis& ay);

// Reduced pixels outputs (of ax and ay's reduction of a decoded source) from pixels, which holds
// where.area of that source and must cover SourceOfReduced(outputs): the bytes ResizePictureSmooth
// gives those pixels when it reduces the whole source. out takes the size of outputs.
void ReduceArea(const Picture& pixels, const PictureArea& where, const SmoothAxis& ax, const SmoothAxis& ay,
                const PixelRect& outputs, Picture& out);

// Whether output pixel (x, y) takes reduced pixel (turned.left + x, turned.top + y), every one of
// them: then the reduced pixels are the frame, and can be averaged straight into it.
bool SamplesOneToOne(const SmoothPlan& plan, const PixelRect& turned, int width, int height);

// Fills output from the reduced pixels turned (a rectangle of the turned reduced picture, held by
// view): each output pixel the reduced pixel plan.Reduced gives, or the background.
void SampleReduced(const SmoothPlan& plan, const TurnedView& view, const PixelRect& turned,
                   const std::uint8_t* background, Picture& output);

// The smallest rectangle of a width x height picture holding the corner points (xs[i], ys[i]) that
// lie on it, the points given before they become pixels (floor or truncation, the caller's rule):
// empty when none does, the whole picture when a point is NaN.
PixelRect CornerBounds(const double (&xs)[4], const double (&ys)[4], int width, int height);

// Turned rectangle [x0, x1] x [y0, y1] (inclusive) of a source turned by degrees, as a rectangle of
// the decodedWidth x decodedHeight source.
PixelRect DecodedRect(int x0, int x1, int y0, int y1, int degrees, int decodedWidth, int decodedHeight);

}  // namespace turnlet
