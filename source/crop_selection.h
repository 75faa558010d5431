// SPDX-License-Identifier: MIT
// The crop rectangle on the source preview: the view-to-picture mapping and the mouse editing.
#pragma once

#include <optional>
#include <string>

#include "imaging/view_fit.h"
#include "tuning/tune_params.h"

namespace turnlet {

struct PicturePoint {
    int x = 0, y = 0;
    friend bool operator==(const PicturePoint&, const PicturePoint&) = default;
};

// The picture pixel under view point (x, y): (truncate(x / scale), truncate(y / scale)); nothing
// when the point lies off the shown picture.
std::optional<PicturePoint> ViewToPicture(const PictureFit& fit, int x, int y);

// A rectangle in the coordinates of the page that holds the preview.
struct PageRect {
    int left = 0, top = 0, width = 0, height = 0;
    friend bool operator==(const PageRect&, const PageRect&) = default;
};

// What the crop handlers read besides the crop.
struct CropView {
    int pictureWidth = 0, pictureHeight = 0;  // the full-size rotated source in the preview
    PageRect image;                           // the preview control
};

// Where the outline of crop lies on the page: its corners' pixels mapped by the preview's fit.
// Nothing when the preview shows no picture.
std::optional<PageRect> CropOutlineFor(const CropView& view, const CropArea& crop);

// The crop typed into the four fields, kept on the picture: left and top within it, width and
// height at least 1 and no further than its edges (a picture of no size leaves the crop as typed).
CropArea ClampCrop(CropArea crop, int pictureWidth, int pictureHeight);

// The mouse editing of the crop. A press on the preview anchors a new rectangle; it becomes the crop
// once the pointer moves to another picture point with the button held, so a stray click keeps the
// crop. A press on the outline grabs it; moving it keeps its size and stays on the shown picture.
// Each step returns the crop it makes; the drag flag is the program's one DragActive.
class CropSelection {
  public:
    explicit CropSelection(bool& dragActive) : dragActive_(dragActive) {}

    void ImageMouseDown(const CropView& view, int x, int y, bool leftPressed);
    // While drawing: the picture point under the pointer for the status bar, and with the left
    // button held the rectangle from the anchor to it, corners in order.
    struct MoveOutcome {
        std::optional<std::string> pointerText;
        std::optional<CropArea> crop;
    };
    MoveOutcome ImageMouseMove(const CropView& view, int x, int y, bool leftHeld);
    // The release fixes the corner; nothing when no rectangle was drawn (a click, or a release off
    // the picture, where the drag goes on until the pointer leaves the preview).
    std::optional<CropArea> ImageMouseUp(const CropView& view, int x, int y);
    // Leaving the preview, or releasing or leaving the outline, ends any drag.
    void EndDrag() { dragActive_ = false; }

    // A press on the outline, which lies at outline on the page, grabs it at that point.
    void OutlineMouseDown(const PageRect& outline, int pageX, int pageY, bool leftPressed);
    // Moves crop with the pointer, kept on the shown picture; its size stays.
    std::optional<CropArea> OutlineMouseMove(const CropView& view, const CropArea& crop, int pageX, int pageY,
                                             bool leftHeld);

  private:
    CropArea From(const PicturePoint& corner) const;

    bool& dragActive_;
    PicturePoint grab_;    // where the outline was grabbed, in its own pixels
    PageRect grabbed_;     // the outline when grabbed
    PicturePoint anchor_;  // where a new rectangle was pressed, in picture pixels
    bool drawing_ = false;
};

}  // namespace turnlet
