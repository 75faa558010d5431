// SPDX-License-Identifier: MIT
// The main window's control geometry.
#include "shell/layout.h"

#include <algorithm>

namespace turnlet {
namespace {

int NotNegative(int value) {
    return std::max(value, 0);
}

}  // namespace

MainWindowLayout DesignLayout() {
    MainWindowLayout l;
    l.PageControl1 = {8, 8, 895, 593};
    l.StatusBar1 = {0, kDesignClient.height - kStatusBarHeight, kDesignClient.width, kStatusBarHeight};

    l.Button8 = {3, 5, 100, 25};
    l.Button9 = {112, 5, 100, 25};
    l.Button10 = {222, 5, 100, 25};
    l.ListBox1 = {3, 36, 319, 382};
    l.GroupBox2 = {3, 424, 319, 89};
    l.Image1 = {328, 3, 556, 522};
    // Inside GroupBox2: the rotation and "No crop" on the first row, the four fields under their labels.
    l.ComboBox1 = {8, 20, 70, 22};
    l.Button1 = {84, 19, 100, 24};
    l.Label2 = {8, 46, 70, 14};
    l.Edit1 = {8, 61, 70, 21};
    l.Label1 = {84, 46, 70, 14};
    l.Edit2 = {84, 61, 70, 21};
    l.Label3 = {160, 46, 70, 14};
    l.Edit3 = {160, 61, 70, 21};
    l.Label4 = {236, 46, 70, 14};
    l.Edit4 = {236, 61, 70, 21};

    l.PageControl2 = {3, 3, 884, 489};
    l.Image3 = {0, 0, 418, 452};
    l.Image4 = {423, 0, 418, 452};
    l.Image5 = {0, 0, 841, 452};
    l.Label5 = {27, 498, 80, 14};
    l.SpinEdit1 = {109, 498, 55, 22};
    l.BitBtn1 = {328, 495, 130, 25};
    l.BitBtn2 = {477, 494, 130, 25};
    l.Label6 = {745, 498, 80, 14};
    l.SpinEdit2 = {824, 495, 55, 22};
    l.BitBtn3 = {617, 494, 120, 25};

    l.StringGrid1 = {3, 3, 527, 454};
    l.Image2 = {536, 3, 209, 454};
    l.TrackBar1 = {3, 463, 881, 33};
    l.Button2 = {11, 502, 110, 25};
    l.Button3 = {131, 502, 110, 25};
    l.Button11 = {252, 502, 110, 25};
    l.Button4 = {373, 502, 110, 25};
    l.Button5 = {494, 502, 110, 25};
    l.Label9 = {736, 507, 70, 14};
    l.ComboBox2 = {808, 504, 65, 22};
    l.Button12 = {615, 502, 110, 25};
    return l;
}

MainWindowLayout FormResize(MainWindowLayout l, const ResizeInput& in) {
    const int cw = in.client.width, ch = in.client.height;
    l.StatusBar1 = {0, ch - kStatusBarHeight, NotNegative(cw), kStatusBarHeight};

    l.PageControl1.width = NotNegative(cw - 10);
    l.PageControl1.height = NotNegative(ch - 30);
    const int pcw = NotNegative(l.PageControl1.width - in.pageControl1Chrome.width);
    const int pch = NotNegative(l.PageControl1.height - in.pageControl1Chrome.height);

    l.ListBox1.height = NotNegative(pch - l.ListBox1.top - l.GroupBox2.height - kStatusBarHeight - 20);
    l.GroupBox2.top = l.ListBox1.top + l.ListBox1.height + 7;
    l.Image1.width = NotNegative(pcw - l.Image1.left - 20);
    l.Image1.height = NotNegative(pch - 25);

    l.PageControl2.width = NotNegative(pcw - 15);
    l.PageControl2.height = NotNegative(pch - 65);
    const int b = l.PageControl2.bottom();
    l.Label5.top = l.Label6.top = b + 10;
    l.SpinEdit1.top = l.SpinEdit2.top = b + 7;
    l.BitBtn1.top = l.BitBtn2.top = b + 5;
    l.Label6.left = l.PageControl2.right() - 150;
    l.SpinEdit2.left = l.PageControl2.right() - 60;
    const int m = l.PageControl2.left + l.PageControl2.width / 2;
    l.BitBtn1.left = m - l.BitBtn1.width - 10;
    l.BitBtn2.left = m + 10;
    l.BitBtn3.top = l.BitBtn2.top;
    l.BitBtn3.left = l.BitBtn2.right() + 10;

    const int half = NotNegative((pcw - 50) / 2);
    l.Image3.height = l.Image4.height = l.Image5.height = NotNegative(pch - 30);
    l.Image3.width = l.Image4.width = half;
    l.Image4.left = l.Image3.left + half + 5;
    l.Image5.width = NotNegative(pcw - 20);
    // The views stay within the page that holds them, so no part of a picture is cut off unseen.
    const int pageW = NotNegative(l.PageControl2.width - in.pageControl2Chrome.width);
    const int pageH = NotNegative(l.PageControl2.height - in.pageControl2Chrome.height);
    for (Box* view : {&l.Image3, &l.Image4, &l.Image5}) {
        view->width = std::min(view->width, NotNegative(pageW - view->left));
        view->height = std::min(view->height, NotNegative(pageH - view->top));
    }

    l.TrackBar1.top = l.PageControl1.height - 100;
    l.TrackBar1.width = NotNegative(pcw - 20);
    const int t = l.TrackBar1.bottom();
    for (Box* control : {&l.Button2, &l.Button3, &l.Button11, &l.Button4, &l.Button5, &l.Button12, &l.ComboBox2})
        control->top = t + 5;
    l.Label9.top = t + 9;
    l.Label9.left = pcw - 165;
    l.ComboBox2.left = pcw - 85;
    l.StringGrid1.height = NotNegative(l.TrackBar1.top - l.StringGrid1.top - 4);
    l.Image2.width = NotNegative(pcw - l.Image2.left - 10);
    l.Image2.height = l.StringGrid1.height;
    return l;
}

}  // namespace turnlet
