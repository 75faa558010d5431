// SPDX-License-Identifier: MIT
// Draws the About box's nine pictures (a friendly figure looking up-left, up, up-right, left,
// ahead, right, down-left, down, down-right) and the program's icon, as PNG files.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <string>

#include "codecs/image_files.h"
#include "imaging/picture.h"

namespace turnlet {
namespace {

struct Rgb {
    double r, g, b;
};

Rgb Mix(const Rgb& a, const Rgb& b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

double Length(double x, double y) {
    return std::sqrt(x * x + y * y);
}

// Inside an ellipse centred at cx, cy.
bool InEllipse(double x, double y, double cx, double cy, double rx, double ry) {
    const double u = (x - cx) / rx, v = (y - cy) / ry;
    return u * u + v * v <= 1.0;
}

// The figure in a 100 x 100 square; (lookX, lookY) in -1..1 is where it looks.
Rgb Figure(double x, double y, double lookX, double lookY, const Rgb& ground) {
    const double turnX = lookX * 4, turnY = lookY * 3;  // the head turns a little too
    const double hx = 50 + turnX * 0.5, hy = 55 + turnY * 0.5;
    const Rgb skin{255, 205, 95}, outline{150, 95, 20}, white{255, 255, 255}, ink{35, 30, 40};
    Rgb c = ground;
    // A tuft of hair on top.
    if (InEllipse(x, y, hx + 4, hy - 38, 6, 10) || InEllipse(x, y, hx - 5, hy - 36, 4, 8)) c = {120, 70, 20};
    // Head with its outline.
    const double head = Length(x - hx, y - hy);
    if (head <= 37) c = outline;
    if (head <= 35) {
        // A soft light from the upper left.
        c = Mix(skin, Rgb{255, 235, 170}, std::clamp((35 - Length(x - hx + 12, y - hy + 14)) / 35, 0.0, 1.0) * 0.6);
        const double fx = hx + turnX, fy = hy + turnY;
        // Cheeks.
        if (InEllipse(x, y, fx - 20, fy + 10, 6, 4) || InEllipse(x, y, fx + 20, fy + 10, 6, 4))
            c = Mix(c, Rgb{255, 130, 120}, 0.45);
        // Eyes: white with an outline, pupils toward the pointer, a glint.
        const double norm = (lookX != 0 && lookY != 0) ? std::numbers::sqrt2 / 2 : 1.0;
        for (double side : {-1.0, 1.0}) {
            const double ex = fx + side * 12, ey = fy - 8;
            if (InEllipse(x, y, ex, ey, 10.5, 12.5)) c = ink;
            if (InEllipse(x, y, ex, ey, 9, 11)) c = white;
            const double px = ex + lookX * norm * 4.5, py = ey + lookY * norm * 5.5;
            if (Length(x - px, y - py) <= 4.8) c = ink;
            if (Length(x - px + 1.6, y - py + 1.8) <= 1.4) c = white;
        }
        // A smile.
        const double m = Length(x - fx, y - (fy + 2));
        if (m >= 14 && m <= 16.5 && y > fy + 10) c = ink;
    }
    return c;
}

// Renders with 4 x 4 samples per pixel, so edges are smooth.
template <class Shade>
Picture Render(int size, Shade shade) {
    Picture picture(size, size);
    constexpr int kSamples = 4;
    for (int py = 0; py < size; ++py) {
        for (int px = 0; px < size; ++px) {
            Rgb sum{0, 0, 0};
            for (int sy = 0; sy < kSamples; ++sy)
                for (int sx = 0; sx < kSamples; ++sx) {
                    const Rgb c = shade(px + (sx + 0.5) / kSamples, py + (sy + 0.5) / kSamples);
                    sum = {sum.r + c.r, sum.g + c.g, sum.b + c.b};
                }
            const double n = kSamples * kSamples;
            std::uint8_t* p = picture.pixel(px, py);
            p[0] = static_cast<std::uint8_t>(sum.b / n + 0.5);
            p[1] = static_cast<std::uint8_t>(sum.g / n + 0.5);
            p[2] = static_cast<std::uint8_t>(sum.r / n + 0.5);
        }
    }
    return picture;
}

// The icon: the figure looking ahead on a tile, with a ring round it for the turn.
Rgb Icon(double x, double y) {
    const double s = 256.0 / 100.0;
    const double u = x / s, v = y / s;
    const Rgb tile = Mix(Rgb{40, 170, 180}, Rgb{20, 110, 140}, v / 100);
    Rgb c = Figure(50 + (u - 50) * 1.25, 52 + (v - 50) * 1.25, 0, 0, tile);
    const double r = Length(u - 50, v - 50);
    const double angle = std::atan2(v - 50, u - 50) * 180 / std::numbers::pi;  // -180..180, 0 to the right
    if (r >= 44 && r <= 47.5 && (angle < 60 || angle > 120)) c = {255, 255, 255};
    // An arrowhead at one end of the ring.
    const double ax = 50 + 45.75 * std::cos(60 * std::numbers::pi / 180),
                 ay = 50 + 45.75 * std::sin(60 * std::numbers::pi / 180);
    const double dx = u - ax, dy = v - ay;
    if (dx <= 0.5 && dx >= -6 && std::abs(dy) <= (dx + 6) * 0.9) c = {255, 255, 255};
    return c;
}

int Run(int argc, char** argv) {
    if (argc != 2) {
        std::fputs(
            "usage: turnlet-make-about-pictures OUTDIR\n"
            "  writes about1.png .. about9.png (100 x 100) and turnlet.png (256 x 256)\n",
            stderr);
        return 2;
    }
    const std::string out = argv[1];
    const Rgb ground{239, 239, 239};  // the dialog's own grey
    for (int i = 0; i < 9; ++i) {
        const double lookX = i % 3 - 1, lookY = i / 3 - 1;
        const Picture picture = Render(100, [&](double x, double y) { return Figure(x, y, lookX, lookY, ground); });
        const std::string file = out + "/about" + std::to_string(i + 1) + ".png";
        if (Status status = SavePicture(picture, file, 90); !status.ok()) {
            std::fprintf(stderr, "turnlet-make-about-pictures: %s\n", status.message().c_str());
            return 1;
        }
    }
    const std::string icon = out + "/turnlet.png";
    if (Status status = SavePicture(Render(256, Icon), icon, 90); !status.ok()) {
        std::fprintf(stderr, "turnlet-make-about-pictures: %s\n", status.message().c_str());
        return 1;
    }
    return 0;
}

}  // namespace
}  // namespace turnlet

int main(int argc, char** argv) {
    return turnlet::Run(argc, argv);
}
