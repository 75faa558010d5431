// SPDX-License-Identifier: MIT
// The preview mapping and the crop rectangle's mouse editing, on the worked examples.
#include <gtest/gtest.h>

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
    CropAtScaleOne() { project.imagesLoaded = true; }
    CropTexts Fields() const { return project.crop; }

    Project project;
    bool drag = false;
    CropSelection crop{project, drag};
    const CropView view{556, 522, {328, 3, 556, 522}};
};

TEST_F(CropAtScaleOne, AClickWithoutADragKeepsTheCropAndAOnePixelDragMakesOne) {
    for (const bool cropped : {false, true}) {
        if (cropped) {
            crop.ImageMouseDown(view, 5, 6, true);
            crop.ImageMouseUp(view, 25, 36);
            crop.Draw(view);
        }
        const Project before = project;
        EXPECT_FALSE(crop.ImageMouseDown(view, 100, 200, true));
        EXPECT_TRUE(drag);
        crop.ImageMouseMove(view, 100, 200, true);  // a tremble within the pixel
        EXPECT_FALSE(crop.ImageMouseUp(view, 100, 200));
        EXPECT_FALSE(drag);
        crop.Draw(view);
        EXPECT_EQ(Fields(), before.crop);
        EXPECT_EQ(project.cropRect, before.cropRect);
        EXPECT_EQ(project.cropOutlineVisible, cropped);
    }
    crop.ImageMouseDown(view, 10, 20, true);
    ASSERT_TRUE(crop.ImageMouseUp(view, 11, 20));
    ASSERT_TRUE(crop.Draw(view));
    EXPECT_EQ(Fields(), (CropTexts{"10", "20", "2", "1"}));
}

TEST_F(CropAtScaleOne, DragUpLeftIsPutInOrderOnRelease) {
    crop.ImageMouseDown(view, 100, 80, true);
    const CropSelection::MoveOutcome move = crop.ImageMouseMove(view, 40, 30, true);
    EXPECT_EQ(move.pointerText, "(40,30)");
    ASSERT_TRUE(move.draw);
    crop.Draw(view);
    // While drawing up and left the outline runs backwards and the size fields show 0 or less.
    EXPECT_EQ(crop.outline(), (PageRect{428, 83, -60, -50}));
    EXPECT_EQ(Fields(), (CropTexts{"100", "80", "-59", "-49"}));
    ASSERT_TRUE(crop.ImageMouseUp(view, 40, 30));
    crop.Draw(view);
    EXPECT_EQ(Fields(), (CropTexts{"40", "30", "61", "51"}));
    EXPECT_EQ(project.cropRect, (CropRect{40, 30, 100, 80}));
}

TEST_F(CropAtScaleOne, MovesOffThePictureKeepTheCornerAndOnlyTheHeldButtonDraws) {
    crop.ImageMouseDown(view, 10, 10, true);
    EXPECT_FALSE(crop.ImageMouseMove(view, 600, 50, true).pointerText);  // off the picture
    EXPECT_EQ(project.cropRect, CropRect{});
    const CropSelection::MoveOutcome hover = crop.ImageMouseMove(view, 50, 60, false);
    EXPECT_EQ(hover.pointerText, "(50,60)");
    EXPECT_FALSE(hover.draw);
    EXPECT_EQ(project.cropRect, CropRect{});
    EXPECT_TRUE(crop.ImageMouseMove(view, 50, 60, true).draw);
    EXPECT_EQ(project.cropRect, (CropRect{10, 10, 50, 60}));
}

TEST_F(CropAtScaleOne, AReleaseOffThePictureKeepsTheDragUntilThePointerLeaves) {
    crop.ImageMouseDown(view, 100, 100, true);
    crop.ImageMouseMove(view, 50, 40, true);
    EXPECT_FALSE(crop.ImageMouseUp(view, 700, 40));
    EXPECT_TRUE(drag);
    crop.EndDrag();
    EXPECT_FALSE(drag);
    EXPECT_EQ(project.cropRect, (CropRect{100, 100, 50, 40}));  // left as last drawn, not in order
    EXPECT_FALSE(crop.ImageMouseUp(view, 60, 60));              // no drag: nothing
}

TEST_F(CropAtScaleOne, NothingHappensWithoutImagesOrWithOtherButtons) {
    EXPECT_FALSE(crop.ImageMouseDown(view, 10, 10, false));
    EXPECT_FALSE(drag);
    project.cropOutlineVisible = true;
    project.imagesLoaded = false;
    EXPECT_FALSE(crop.ImageMouseDown(view, 10, 10, true));
    EXPECT_FALSE(project.cropOutlineVisible);  // hidden
    EXPECT_FALSE(drag);
    EXPECT_FALSE(crop.Draw(view));
    const CropView empty{0, 0, view.image};
    project.imagesLoaded = true;
    EXPECT_FALSE(crop.ImageMouseDown(empty, 10, 10, true));
    EXPECT_FALSE(crop.OutlineMouseMove(empty, 10, 10, true));
}

TEST_F(CropAtScaleOne, NoCropEmptiesTheFieldsAndKeepsTheRectangle) {
    crop.ImageMouseDown(view, 5, 6, true);
    crop.ImageMouseUp(view, 25, 36);
    crop.Draw(view);
    crop.NoCrop();
    EXPECT_EQ(Fields(), CropTexts{});
    EXPECT_FALSE(project.cropOutlineVisible);
    EXPECT_FALSE(crop.Draw(view));
    EXPECT_EQ(Fields(), CropTexts{});
    EXPECT_EQ(project.cropRect, (CropRect{5, 6, 25, 36}));
}

TEST(CropSelection, MovingStopsAtTheRightEdgeOfTheShownPicture) {
    Project project;
    project.imagesLoaded = true;
    project.cropOutlineVisible = true;
    project.cropRect = {1000, 1000, 1999, 1999};
    bool drag = false;
    CropSelection crop(project, drag);
    const CropView view{4000, 3000, {328, 3, 556, 522}};  // scale 0.139, shown 556 x 417
    ASSERT_TRUE(crop.Draw(view));
    EXPECT_EQ(crop.outline(), (PageRect{467, 142, 138, 138}));
    EXPECT_EQ(project.crop, (CropTexts{"1000", "1000", "1000", "1000"}));

    crop.OutlineMouseDown(500, 150, true);  // grabbed 33, 8 inside the outline
    EXPECT_TRUE(drag);
    ASSERT_TRUE(crop.OutlineMouseMove(view, 520, 170, true));
    EXPECT_EQ(crop.outline(), (PageRect{487, 162, 138, 138}));  // the grabbed point follows the pointer
    EXPECT_EQ(project.crop, (CropTexts{"1143", "1143", "1000", "1000"}));

    ASSERT_TRUE(crop.OutlineMouseMove(view, 2000, 170, true));
    // Right edge: 328 + truncate(4000 * 0.139) = 884, so the outline's left is 884 - 138.
    EXPECT_EQ(crop.outline(), (PageRect{746, 162, 138, 138}));
    EXPECT_EQ(project.crop, (CropTexts{"3007", "1143", "1000", "1000"}));
    EXPECT_EQ(project.cropRect, (CropRect{3007, 1143, 4006, 2142}));

    ASSERT_TRUE(crop.OutlineMouseMove(view, 0, 0, true));  // the other corner: clamped to the view
    EXPECT_EQ(crop.outline(), (PageRect{328, 3, 138, 138}));
    EXPECT_EQ(project.crop, (CropTexts{"0", "0", "1000", "1000"}));
    EXPECT_FALSE(crop.OutlineMouseMove(view, 400, 100, false));  // button no longer held

    // A later redraw (after a resize, for instance) keeps the moved position and size.
    crop.OutlineMouseMove(view, 2000, 170, true);
    ASSERT_TRUE(crop.Draw(view));
    EXPECT_EQ(project.crop, (CropTexts{"3007", "1143", "1000", "1000"}));
}

TEST(CropSelection, ExtremeRectanglesNeitherOverflowNorCrash) {
    Project project;
    project.imagesLoaded = true;
    project.cropOutlineVisible = true;
    project.cropRect = {-2147483647 - 1, 0, 2147483647, 10};
    bool drag = false;
    CropSelection crop(project, drag);
    ASSERT_TRUE(crop.Draw(CropView{4000, 3000, {328, 3, 556, 522}}));
    EXPECT_EQ(project.crop.width, "4294967296");
}

}  // namespace
}  // namespace turnlet
