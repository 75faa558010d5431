// SPDX-License-Identifier: MIT
// The preview mapping, the crop outline and the crop rectangle's mouse editing, on the worked examples.
#include <gtest/gtest.h>

#include <climits>
#include <optional>

#include "source/crop_selection.h"

namespace turnlet {
namespace {

TEST(FitPicture, ScaleAndShownArea) {
    struct Case {
        int w, h, iw, ih;
        double scale;
        int shownW, shownH;
    };
    const Case cases[] = {
        {4000, 3000, 556, 522, 0.139, 556, 417},   // landscape in a tall view: the width fills
        {3000, 4000, 556, 522, 0.1305, 391, 522},  // portrait: the height fills
        {556, 522, 556, 522, 1.0, 556, 522},
        {100, 50, 556, 522, 5.56, 556, 278},  // small pictures are enlarged
        {0, 3000, 556, 522, 0, 0, 0},
        {4000, 3000, 0, 522, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " in " << c.iw << "x" << c.ih);
        const PictureFit fit = FitPicture(c.w, c.h, c.iw, c.ih);
        EXPECT_DOUBLE_EQ(fit.scale, c.scale);
        EXPECT_EQ(fit.shownWidth, c.shownW);
        EXPECT_EQ(fit.shownHeight, c.shownH);
    }
}

TEST(ViewToPicture, TruncatesAndIgnoresPointsOffThePicture) {
    const PictureFit fit = FitPicture(4000, 3000, 556, 522);
    EXPECT_EQ(ViewToPicture(fit, 100, 200), (PicturePoint{719, 1438}));
    EXPECT_EQ(ViewToPicture(fit, 0, 0), (PicturePoint{0, 0}));
    EXPECT_EQ(ViewToPicture(fit, 555, 416), (PicturePoint{3992, 2992}));
    EXPECT_EQ(ViewToPicture(fit, 556, 10), std::nullopt);
    EXPECT_EQ(ViewToPicture(fit, 10, 417), std::nullopt);
    EXPECT_EQ(ViewToPicture(fit, -1, 10), std::nullopt);  // a drag can report points left of the view
    EXPECT_EQ(ViewToPicture(PictureFit{}, 0, 0), std::nullopt);
}

// A preview at scale 1: view point = picture point; the view sits at (328, 3) on its page.
class CropAtScaleOne : public ::testing::Test {
  protected:
    bool drag = false;
    CropSelection crop{drag};
    const CropView view{556, 522, {328, 3, 556, 522}};
};

TEST_F(CropAtScaleOne, AClickWithoutADragKeepsTheCropAndAOnePixelDragMakesOne) {
    crop.ImageMouseDown(view, 100, 200, true);
    EXPECT_TRUE(drag);
    EXPECT_EQ(crop.ImageMouseMove(view, 100, 200, true).crop, std::nullopt);  // a tremble within the pixel
    EXPECT_EQ(crop.ImageMouseUp(view, 100, 200), std::nullopt);
    EXPECT_FALSE(drag);

    crop.ImageMouseDown(view, 10, 20, true);
    EXPECT_EQ(crop.ImageMouseUp(view, 11, 20), (CropArea{10, 20, 2, 1}));
}

TEST_F(CropAtScaleOne, DragUpLeftIsPutInOrder) {
    crop.ImageMouseDown(view, 100, 80, true);
    const CropSelection::MoveOutcome move = crop.ImageMouseMove(view, 40, 30, true);
    EXPECT_EQ(move.pointerText, "(40,30)");
    EXPECT_EQ(move.crop, (CropArea{40, 30, 61, 51}));
    EXPECT_EQ(CropOutlineFor(view, *move.crop), (PageRect{368, 33, 60, 50}));
    // Back over the anchor the rectangle is one pixel, not nothing.
    EXPECT_EQ(crop.ImageMouseMove(view, 100, 80, true).crop, (CropArea{100, 80, 1, 1}));
    EXPECT_EQ(crop.ImageMouseUp(view, 40, 30), (CropArea{40, 30, 61, 51}));
}

TEST_F(CropAtScaleOne, MovesOffThePictureKeepTheCornerAndOnlyTheHeldButtonDraws) {
    crop.ImageMouseDown(view, 10, 10, true);
    const CropSelection::MoveOutcome off = crop.ImageMouseMove(view, 600, 50, true);
    EXPECT_EQ(off.pointerText, std::nullopt);
    EXPECT_EQ(off.crop, std::nullopt);
    const CropSelection::MoveOutcome hover = crop.ImageMouseMove(view, 50, 60, false);
    EXPECT_EQ(hover.pointerText, "(50,60)");
    EXPECT_EQ(hover.crop, std::nullopt);
    EXPECT_EQ(crop.ImageMouseMove(view, 50, 60, true).crop, (CropArea{10, 10, 41, 51}));
}

TEST_F(CropAtScaleOne, AReleaseOffThePictureKeepsTheDragUntilThePointerLeaves) {
    crop.ImageMouseDown(view, 100, 100, true);
    crop.ImageMouseMove(view, 50, 40, true);
    EXPECT_EQ(crop.ImageMouseUp(view, 700, 40), std::nullopt);
    EXPECT_TRUE(drag);
    crop.EndDrag();
    EXPECT_FALSE(drag);
    EXPECT_EQ(crop.ImageMouseUp(view, 60, 60), std::nullopt);  // no drag: nothing
}

TEST_F(CropAtScaleOne, NothingHappensWithoutAPictureOrWithOtherButtons) {
    crop.ImageMouseDown(view, 10, 10, false);
    EXPECT_FALSE(drag);
    const CropView empty{0, 0, view.image};
    crop.ImageMouseDown(empty, 10, 10, true);
    EXPECT_FALSE(drag);
    EXPECT_EQ(CropOutlineFor(empty, CropArea{0, 0, 5, 5}), std::nullopt);
    crop.OutlineMouseDown(PageRect{328, 3, 4, 4}, 330, 5, true);
    EXPECT_EQ(crop.OutlineMouseMove(empty, CropArea{0, 0, 5, 5}, 340, 10, true), std::nullopt);
}

TEST(CropSelection, MovingStopsAtTheRightEdgeOfTheShownPicture) {
    bool drag = false;
    CropSelection crop(drag);
    const CropView view{4000, 3000, {328, 3, 556, 522}};  // scale 0.139, shown 556 x 417
    const CropArea area{1000, 1000, 1000, 1000};
    const std::optional<PageRect> outline = CropOutlineFor(view, area);
    ASSERT_EQ(outline, (PageRect{467, 142, 138, 138}));

    crop.OutlineMouseDown(*outline, 500, 150, true);  // grabbed 33, 8 inside the outline
    EXPECT_TRUE(drag);
    // The grabbed point follows the pointer: the outline's corner at 487, 162.
    EXPECT_EQ(crop.OutlineMouseMove(view, area, 520, 170, true), (CropArea{1143, 1143, 1000, 1000}));
    // Right edge: 328 + truncate(4000 * 0.139) = 884, so the outline's left is 884 - 138.
    EXPECT_EQ(crop.OutlineMouseMove(view, area, 2000, 170, true), (CropArea{3007, 1143, 1000, 1000}));
    // The other corner: kept on the view.
    EXPECT_EQ(crop.OutlineMouseMove(view, area, 0, 0, true), (CropArea{0, 0, 1000, 1000}));
    EXPECT_EQ(crop.OutlineMouseMove(view, area, 400, 100, false), std::nullopt);  // button no longer held
}

TEST(CropSelection, ExtremeRectanglesNeitherOverflowNorCrash) {
    const CropView view{4000, 3000, {328, 3, 556, 522}};
    const std::optional<PageRect> outline = CropOutlineFor(view, CropArea{INT_MIN, 0, INT_MAX, 10});
    ASSERT_TRUE(outline);
    EXPECT_EQ(outline->width, static_cast<int>((static_cast<double>(INT_MAX) - 1) * 0.139));
    bool drag = false;
    CropSelection crop(drag);
    crop.OutlineMouseDown(*outline, 400, 100, true);
    EXPECT_TRUE(crop.OutlineMouseMove(view, CropArea{INT_MIN, 0, INT_MAX, 10}, 500, 100, true));
}

TEST(ClampCrop, KeepsTheCropOnThePicture) {
    struct Case {
        CropArea typed;
        int pictureWidth, pictureHeight;
        CropArea kept;
    };
    const Case cases[] = {
        {{100, 200, 640, 480}, 4000, 3000, {100, 200, 640, 480}},
        {{-5, 7, 10000, 0}, 4000, 3000, {0, 7, 4000, 1}},
        {{3999, 2999, 5, 5}, 4000, 3000, {3999, 2999, 1, 1}},
        {{5000, -1, -3, 3001}, 4000, 3000, {3999, 0, 1, 3000}},
        {{INT_MIN, INT_MAX, INT_MAX, INT_MIN}, 4000, 3000, {0, 2999, 4000, 1}},
        {{-5, -5, 0, 0}, 0, 3000, {-5, -5, 0, 0}},  // no picture: as typed
    };
    for (const Case& c : cases)
        EXPECT_EQ(ClampCrop(c.typed, c.pictureWidth, c.pictureHeight), c.kept) << c.typed.left << "," << c.typed.top;
}

}  // namespace
}  // namespace turnlet
