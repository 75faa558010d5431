// SPDX-License-Identifier: MIT
// Quarter turn and crop in one pass, through the frame renderer.
#include "firstlast/turned_crop.h"

#include "render/frame_render.h"

namespace turnlet {

CompareArea ClampCrop(int width, int height, const CompareArea& area) {
    CompareArea c = area;
    if (c.left < 0) c.left = 0;
    if (c.left > width - 1) c.left = width - 1;
    if (c.top < 0) c.top = 0;
    if (c.top > height - 1) c.top = height - 1;
    // In 64 bits: a huge typed width must not overflow the sum.
    if (c.width <= 0) c.width = 1;
    if (static_cast<long long>(c.left) + c.width > width - 1) c.width = width - c.left;
    if (c.height <= 0) c.height = 1;
    if (static_cast<long long>(c.top) + c.height > height - 1) c.height = height - c.top;
    return c;
}

void TurnedCrop(const Picture& decoded, int degrees, const CompareArea& area, Picture& output) {
    const bool sideways = degrees == 90 || degrees == 270;
    const int turnedWidth = sideways ? decoded.height() : decoded.width();
    const int turnedHeight = sideways ? decoded.width() : decoded.height();
    if (decoded.empty()) {
        output.allocate(0, 0);
        return;
    }
    const CompareArea c =
        area.skipsCrop() ? CompareArea{0, 0, turnedWidth, turnedHeight} : ClampCrop(turnedWidth, turnedHeight, area);
    // A transform without turn, zoom or shift, to a rectangle inside the picture, copies it; the
    // resize to the same size copies again, and neutral tone leaves it.
    FrameParams p;
    p.RotationDegrees = degrees;
    p.CropLeft = c.left;
    p.CropTop = c.top;
    p.CropWidth = c.width;
    p.CropHeight = c.height;
    p.OutputWidth = c.width;
    p.OutputHeight = c.height;
    RenderFrameFused(decoded, p, output);
}

}  // namespace turnlet
