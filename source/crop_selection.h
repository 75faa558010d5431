// SPDX-License-Identifier: MIT
// The crop rectangle on the source preview: the view-to-picture mapping and the mouse editing.
#pragma once

#include <optional>
#include <string>

#include "imaging/view_fit.h"
#include "project/project.h"

namespace turnlet {

struct PicturePoint {
    int x = 0, y = 0;
    friend bool operator==(const PicturePoint&, const PicturePoint&) = default;
};

// The picture pixel under view point (x, y): (truncate(x / scale), truncate(y / scale)); nothing
// when the point lies off the shown picture.
std::optional<PicturePoint> ViewToPicture(const PictureFit& fit, int x, int y);

// A rectangle in the coordinates of the page that holds the preview. The outline's width and height
// are negative while a new crop is drawn up or to the left of where it began.
struct PageRect {
    int left = 0, top = 0, width = 0, height = 0;
    friend bool operator==(const PageRect&, const PageRect&) = default;
};

// What the crop handlers read besides the project.
struct CropView {
    int pictureWidth = 0, pictureHeight = 0;  // the full-size rotated source in the preview
    PageRect image;                           // the preview control
};

// The model behind the crop outline and its mouse handlers. It edits the project's crop rectangle,
// crop texts and outline visibility and the program's one drag flag; the window applies the results.
// Handlers returning true ask the window to run its "Draw selection" command (Draw below, then its
// own refresh of the fields and the status bar).
class CropSelection {
  public:
    CropSelection(Project& project, bool& dragActive) : project_(project), dragActive_(dragActive) {}

    // Where the outline stands (meaningful while the project shows it).
    const PageRect& outline() const { return outline_; }

    // Places the outline over the crop rectangle and rewrites the four crop texts from it. Returns
    // false when it stopped early (no images: outline hidden; outline hidden; empty preview).
    bool Draw(const CropView& view);

    // A press on the preview anchors a new rectangle at the picture point under it; the rectangle
    // replaces the crop once the pointer moves to another point with the button held.
    bool ImageMouseDown(const CropView& view, int x, int y, bool leftPressed);
    // While drawing: the picture point under the pointer for the status bar, and with the left
    // button held the rectangle's moving corner.
    struct MoveOutcome {
        std::optional<std::string> pointerText;
        bool draw = false;
    };
    MoveOutcome ImageMouseMove(const CropView& view, int x, int y, bool leftHeld);
    // The release on the picture fixes the corner and puts the corners in order.
    bool ImageMouseUp(const CropView& view, int x, int y);
    // Leaving the preview, or releasing or leaving the outline, ends any drag.
    void EndDrag() { dragActive_ = false; }

    // A press on the outline grabs it at that point (page coordinates).
    void OutlineMouseDown(int pageX, int pageY, bool leftPressed);
    // Moves the whole rectangle with the pointer, kept on the shown picture; rewrites Left and Top.
    // Returns true when it moved.
    bool OutlineMouseMove(const CropView& view, int pageX, int pageY, bool leftHeld);

    // "No crop": the four texts emptied and the outline hidden; the rectangle itself is kept.
    void NoCrop();

  private:
    void Hide() { project_.cropOutlineVisible = false; }
    // The pointer has left the anchor: the new rectangle replaces the crop.
    void StartDrawing();

    Project& project_;
    bool& dragActive_;
    PageRect outline_;
    PicturePoint grab_;    // where the outline was grabbed, in its own pixels
    PicturePoint anchor_;  // where a new rectangle was pressed, in picture pixels
    bool drawing_ = false;
};

}  // namespace turnlet
