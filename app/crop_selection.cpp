// SPDX-License-Identifier: MIT
// The crop rectangle on the preview: mouse handlers, "Draw selection" and "No crop".
#include <QLineEdit>

#include "controls.h"
#include "main_window.h"
#include "picture_view.h"

namespace turnlet {

CropView TForm2::PreviewGeometry() const {
    const QRect r = Image1->geometry();
    return CropView{Image1->pictureWidth(), Image1->pictureHeight(), {r.x(), r.y(), r.width(), r.height()}};
}

void TForm2::ShowCropFields() {
    Edit1->setText(QString::fromStdString(project.crop.left));
    Edit2->setText(QString::fromStdString(project.crop.top));
    Edit3->setText(QString::fromStdString(project.crop.width));
    Edit4->setText(QString::fromStdString(project.crop.height));
}

void TForm2::ShowCropOutline() {
    const PageRect& o = crop_.outline();
    Shape1->place(o.left, o.top, o.width, o.height);
    Shape1->setVisible(project.cropOutlineVisible);
}

void TForm2::Drawselection1Click() {
    const bool drawn = crop_.Draw(PreviewGeometry());
    ShowCropOutline();
    if (!drawn) return;
    ShowCropFields();
    Showstatus1Click();
}

void TForm2::Image1MouseDown(int x, int y, Qt::MouseButtons buttons) {
    const bool draw = crop_.ImageMouseDown(PreviewGeometry(), x, y, buttons & Qt::LeftButton);
    ShowCropOutline();
    if (draw) Drawselection1Click();
}

void TForm2::Image1MouseMove(int x, int y, Qt::MouseButtons buttons) {
    const CropSelection::MoveOutcome outcome = crop_.ImageMouseMove(PreviewGeometry(), x, y, buttons & Qt::LeftButton);
    ShowCropOutline();
    if (outcome.pointerText) SetStatusPanel(kPointerPanel, *outcome.pointerText);
    if (outcome.draw) Drawselection1Click();
}

void TForm2::Image1MouseUp(int x, int y, Qt::MouseButtons) {
    const bool draw = crop_.ImageMouseUp(PreviewGeometry(), x, y);
    ShowCropOutline();
    if (draw) Drawselection1Click();
}

void TForm2::Image1MouseLeave() {
    crop_.EndDrag();
}

void TForm2::Shape1MouseDown(int pageX, int pageY, Qt::MouseButtons buttons) {
    crop_.OutlineMouseDown(pageX, pageY, buttons & Qt::LeftButton);
}

void TForm2::Shape1MouseMove(int pageX, int pageY, Qt::MouseButtons buttons) {
    if (!crop_.OutlineMouseMove(PreviewGeometry(), pageX, pageY, buttons & Qt::LeftButton)) return;
    ShowCropOutline();
    ShowCropFields();
}

void TForm2::Shape1MouseUp() {
    crop_.EndDrag();
}

void TForm2::Shape1MouseLeave() {
    crop_.EndDrag();
}

void TForm2::Button1Click() {
    crop_.NoCrop();
    ShowCropFields();
    Drawselection1Click();
    // The area panel falls back to the source size at once, not at the next refresh.
    Showstatus1Click();
}

}  // namespace turnlet
