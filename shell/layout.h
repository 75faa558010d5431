// SPDX-License-Identifier: MIT
// The main window's control geometry: as designed, and as it follows the window's size.
#pragma once

namespace turnlet {

// Left, top, width, height in pixels, in the coordinates of the control's parent.
struct Box {
    int left = 0, top = 0, width = 0, height = 0;
    int right() const { return left + width; }
    int bottom() const { return top + height; }
    friend bool operator==(const Box&, const Box&) = default;
};

struct Extent {
    int width = 0, height = 0;
    friend bool operator==(const Extent&, const Extent&) = default;
};

// Design client area of the main window (below the menu).
inline constexpr Extent kDesignClient{911, 635};
inline constexpr int kStatusBarHeight = 19;

// Every positioned control of the main window. Page controls are children of the window's client
// area, page 0's controls of TabSheet1 (the crop fields of GroupBox2), page 1's of TabSheet2 (the
// views of PageControl2's pages), page 2's of TabSheet3.
struct MainWindowLayout {
    Box PageControl1, StatusBar1;
    // "Import images"
    Box Button8, Button9, Button10, ListBox1, GroupBox2, Image1;
    Box ComboBox1, Button1, Label2, Edit1, Label1, Edit2, Label3, Edit3, Label4, Edit4;
    // "First and last frames"
    Box PageControl2, Image3, Image4, Image5, Label5, SpinEdit1, BitBtn1, BitBtn2, Label6, SpinEdit2;
    Box BitBtn3;  // "Find end of turn"
    // "Tune positions"
    Box StringGrid1, Image2, TrackBar1, Button2, Button3, Button11, Button4, Button5, Label9, ComboBox2;
    Box Button12;  // "Auto-align"
};

MainWindowLayout DesignLayout();

// What the resize reads from the widgets: the client area and how much of each page control's
// outer size its frame and tabs take (outer size minus the size of its pages).
struct ResizeInput {
    Extent client;
    Extent pageControl1Chrome;
    Extent pageControl2Chrome;
};

// The window's resize rule applied to layout (steps that redraw or mark views are the window's).
// The first/last views are kept inside the page that holds them; no size goes below 0.
MainWindowLayout FormResize(MainWindowLayout layout, const ResizeInput& input);

}  // namespace turnlet
