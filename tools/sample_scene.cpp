// SPDX-License-Identifier: MIT
// Drawing the synthetic turntable.
#include "tools/sample_scene.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <string_view>

namespace turnlet {
namespace {

constexpr double kPi = std::numbers::pi;

struct Rgb {
    double r = 0, g = 0, b = 0;
};

Rgb Mix(const Rgb& a, const Rgb& b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}
Rgb Scale(const Rgb& c, double f) {
    return {c.r * f, c.g * f, c.b * f};
}

// Deterministic, so every run (and every machine) produces the same "photographs".
std::uint64_t SplitMix(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}
double Uniform(std::uint64_t& state) {  // -1 .. 1
    return static_cast<double>(SplitMix(state) >> 11) / static_cast<double>(1ULL << 53) * 2.0 - 1.0;
}

// Value noise on the object's surface, so alignment has fine detail to lock onto.
double Hash2(int x, int y) {
    std::uint64_t s = static_cast<std::uint64_t>(static_cast<std::uint32_t>(x)) * 0x1F1F1F1FULL ^
                      static_cast<std::uint64_t>(static_cast<std::uint32_t>(y)) * 0x9E3779B1ULL;
    return static_cast<double>(SplitMix(s) & 0xFFFF) / 65535.0;
}

// 5x7 glyphs for the label, rows top first, bit 4 = leftmost column.
struct Glyph {
    char c;
    std::uint8_t rows[7];
};
constexpr Glyph kGlyphs[] = {
    {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}}, {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}}, {'N', {0x11, 0x19, 0x15, 0x13, 0x11, 0x11, 0x11}},
    {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}}, {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}},
};
constexpr std::string_view kLabel = "TURNLET";

bool LabelInk(double s, double t) {  // s, t in 0..1 across the label's text box
    const int columns = static_cast<int>(kLabel.size()) * 6 - 1;
    const int col = static_cast<int>(s * columns);
    const int row = static_cast<int>(t * 7);
    if (col < 0 || col >= columns || row < 0 || row >= 7) return false;
    if (col % 6 == 5) return false;
    const char c = kLabel[static_cast<std::size_t>(col / 6)];
    for (const Glyph& g : kGlyphs) {
        if (g.c == c) return (g.rows[row] >> (4 - col % 6)) & 1;
    }
    return false;
}

// The scene in normalised coordinates: x, y in pixels of a width x height frame; turn in radians.
class Scene {
  public:
    Scene(int width, int height) : width_(width), height_(height) {
        const double unit = std::min(width, height);
        cx_ = width * 0.5;
        radius_ = unit * 0.26;
        ellipse_ = radius_ * 0.28;  // seen from slightly above
        top_ = height * 0.5 - unit * 0.30;
        bottom_ = height * 0.5 + unit * 0.26;
    }

    Rgb sample(double x, double y, double turn) const {
        const double u = (x - cx_) / radius_;
        if (std::abs(u) <= 1.0) {
            const double arc = ellipse_ * std::sqrt(1.0 - u * u);
            const double dz = (y - top_) / ellipse_;
            if (u * u + dz * dz <= 1.0) return lid(u, dz, turn);
            if (y >= top_ + arc && y <= bottom_ + arc) return side(u, (y - top_ - arc) / (bottom_ - top_), turn);
        }
        return backdrop(x, y);
    }

  private:
    Rgb backdrop(double x, double y) const {
        // Seamless sweep: lighter at the top, a soft contact shadow under the object.
        const double t = y / height_;
        Rgb c = Mix({236, 236, 232}, {206, 206, 202}, t);
        const double sx = (x - cx_) / (radius_ * 1.35);
        const double sy = (y - bottom_ - ellipse_ * 0.6) / (ellipse_ * 1.6);
        const double d = sx * sx + sy * sy;
        if (d < 1.0) c = Scale(c, 1.0 - 0.35 * (1.0 - d) * (1.0 - d));
        return c;
    }

    Rgb side(double u, double v, double turn) const {
        const double phi = std::asin(u);  // 0 faces the camera, positive to the right
        double lon = phi - turn;          // the front (lon 0) moves right as the turn grows
        lon = std::remainder(lon, 2.0 * kPi);
        const double deg = lon * 180.0 / kPi;

        Rgb c{46, 104, 150};  // body
        if (static_cast<int>(std::floor((lon + kPi) / (2.0 * kPi) * 24.0)) % 2 == 0) c = Scale(c, 0.88);
        if (std::abs(v - 0.12) < 0.025 || std::abs(v - 0.88) < 0.025) c = {214, 176, 60};  // gold rings
        const double grain = Hash2(static_cast<int>((lon + kPi) * 60.0), static_cast<int>(v * 160.0));
        c = Scale(c, 0.9 + 0.2 * grain);

        if (std::abs(deg) < 7.0) c = {220, 52, 40};  // front stripe, full height
        if (std::abs(deg) < 42.0 && v > 0.36 && v < 0.62) {
            const bool stripe = std::abs(deg) < 7.0;
            const double s = (deg + 38.0) / 76.0;
            const double t = (v - 0.41) / 0.16;
            if (!stripe) c = {246, 244, 236};
            if (LabelInk(s, t)) c = stripe ? Rgb{250, 250, 250} : Rgb{30, 30, 36};
        }
        if (deg > 120.0 && deg < 150.0 && std::abs(v - 0.3) < 0.06) c = {240, 200, 40};  // a mark on the back

        // Light from the upper left and a little from the front.
        const double nx = u, nz = std::sqrt(std::max(0.0, 1.0 - u * u));
        const double lambert = std::max(0.0, -0.45 * nx + 0.89 * nz);
        const double specular = std::pow(std::max(0.0, -0.25 * nx + 0.97 * nz), 40.0);
        Rgb lit = Scale(c, 0.28 + 0.78 * lambert);
        lit = Mix(lit, {255, 255, 255}, specular * 0.35);
        return Scale(lit, 1.0 - 0.12 * v);
    }

    Rgb lid(double u, double dz, double turn) const {
        // Rotate the lid's coordinates with the object so its arrow shows the front.
        const double c = std::cos(turn), s = std::sin(turn);
        const double px = u * c - dz * s;
        const double pz = u * s + dz * c;
        Rgb col{190, 196, 204};
        const double r = std::sqrt(u * u + dz * dz);
        if (r > 0.9) col = {150, 156, 166};
        if (pz > 0.0 && pz < 0.8 && std::abs(px) < 0.08 + 0.12 * (pz > 0.55 ? (0.8 - pz) / 0.25 : 0.0)) {
            col = {220, 52, 40};
        }
        if (pz > 0.5 && pz < 0.8 && std::abs(px) < (0.8 - pz) * 0.9) col = {220, 52, 40};
        return Scale(col, 1.05 - 0.1 * dz);
    }

    double width_, height_, cx_, radius_, ellipse_, top_, bottom_;
};

std::uint8_t ToByte(double v) {
    return static_cast<std::uint8_t>(std::clamp(v, 0.0, 255.0));
}

}  // namespace

SampleJitter SampleFrameJitter(int frame, int width, int height) {
    std::uint64_t state = 0x7475726E6C6574ULL + static_cast<std::uint64_t>(frame) * 7919;
    const double shift = std::max(2.0, std::min(width, height) / 150.0);  // "a few pixels" at any size
    SampleJitter j;
    j.dx = Uniform(state) * shift;
    j.dy = Uniform(state) * shift;
    j.angleDeg = Uniform(state) * 1.0;
    j.exposure = 1.0 + Uniform(state) * 0.08;
    return j;
}

double SampleTurnRadians(double turnDegrees, int frame, int frames) {
    // Written so that the default full turn gives the very angles (and bytes) it always has.
    return 2.0 * kPi * (turnDegrees / 360.0) * frame / frames;
}

PixelRect SampleCrop(int width, int height) {
    const int cropWidth = width * 3 / 4;
    const int cropHeight = height * 5 / 6;
    return {(width - cropWidth) / 2, (height - cropHeight) / 2, cropWidth, cropHeight};
}

// 2x2 supersampling through the inverse of the camera jitter, so edges stay clean without a resampling pass.
Picture RenderSampleFrame(int width, int height, double turn, int frame, int reduction, int samples) {
    const Scene scene(width, height);
    const SampleJitter jitter = SampleFrameJitter(frame, width, height);
    const int r = std::max(reduction, 1), n = std::max(samples, 1);
    const int outWidth = (width + r - 1) / r, outHeight = (height + r - 1) / r;
    Picture picture(outWidth, outHeight);
    const double a = jitter.angleDeg * kPi / 180.0;
    const double ca = std::cos(a), sa = std::sin(a);
    const double cx = width * 0.5, cy = height * 0.5;
    for (int y = 0; y < outHeight; ++y) {
        for (int x = 0; x < outWidth; ++x) {
            Rgb sum;
            for (int sy = 0; sy < n; ++sy) {
                for (int sx = 0; sx < n; ++sx) {
                    // Exact in binary for 2 x 2 at full size: every sample where it always was.
                    const double px = (x + (sx + 0.5) / n) * r - cx - jitter.dx;
                    const double py = (y + (sy + 0.5) / n) * r - cy - jitter.dy;
                    const Rgb c = scene.sample(cx + px * ca + py * sa, cy - px * sa + py * ca, turn);
                    sum = {sum.r + c.r, sum.g + c.g, sum.b + c.b};
                }
            }
            const double f = jitter.exposure / (n * n);
            std::uint8_t* p = picture.pixel(x, y);
            p[0] = ToByte(sum.b * f);
            p[1] = ToByte(sum.g * f);
            p[2] = ToByte(sum.r * f);
        }
    }
    return picture;
}

}  // namespace turnlet
