// SPDX-License-Identifier: MIT
// Synthetic sequences with a known camera motion for the alignment tests.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "codecs/image_files.h"
#include "imaging/picture.h"

namespace turnlet::testing {

// What the camera did to a frame: the picture turned clockwise by tilt degrees about its centre,
// then shifted, and its exposure scaled.
struct Shake {
    double dx = 0, dy = 0, tilt = 0, exposure = 1;
};

// The frame values that undo frame k's shake against frame 0's, about the crop centre
// (cropCentreX, cropCentreY in area coordinates) of a width x height picture.
struct Correction {
    double DX = 0, DY = 0, Angle = 0, exposureRatio = 1;
};
inline Correction CorrectionFor(const Shake& first, const Shake& frame, int width, int height, double cropCentreX,
                                double cropCentreY) {
    const double pi = 3.141592653589793;
    const double delta = (frame.tilt - first.tilt) * pi / 180;
    const double c = std::cos(delta), s = std::sin(delta);
    const double ox = width * 0.5 - cropCentreX, oy = height * 0.5 - cropCentreY;
    const double tx = ox - (c * ox - s * oy) + frame.dx - (c * first.dx - s * first.dy);
    const double ty = oy - (s * ox + c * oy) + frame.dy - (s * first.dx + c * first.dy);
    return {-tx, -ty, -(frame.tilt - first.tilt), first.exposure / frame.exposure};
}

// A photograph-like texture: smooth value noise over several scales with some hard-edged shapes.
inline double Lattice(int x, int y, int seed) {
    std::uint64_t z = static_cast<std::uint64_t>(static_cast<std::uint32_t>(x)) * 0x9E3779B97F4A7C15ULL ^
                      static_cast<std::uint64_t>(static_cast<std::uint32_t>(y)) * 0xC2B2AE3D27D4EB4FULL ^
                      static_cast<std::uint64_t>(seed) * 0x165667B19E3779F9ULL;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return static_cast<double>((z ^ (z >> 31)) & 0xFFFF) / 65535.0;
}
inline double Noise(double x, double y, int seed) {
    const double fx = std::floor(x), fy = std::floor(y);
    const int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
    double a = x - fx, b = y - fy;
    a = a * a * (3 - 2 * a);
    b = b * b * (3 - 2 * b);
    const double top = Lattice(ix, iy, seed) + (Lattice(ix + 1, iy, seed) - Lattice(ix, iy, seed)) * a;
    const double bottom = Lattice(ix, iy + 1, seed) + (Lattice(ix + 1, iy + 1, seed) - Lattice(ix, iy + 1, seed)) * a;
    return top + (bottom - top) * b;
}
inline void PhotoColour(double x, double y, double rgb[3]) {
    double v = 0;
    for (int octave = 0; octave < 5; ++octave) {
        const double scale = 90.0 / (1 << octave);
        v += Noise(x / scale, y / scale, octave) / (1 << octave);
    }
    v /= 1.9;
    // Hard edges: a grid of tiles, some darker.
    const bool tile = Lattice(static_cast<int>(std::floor(x / 70)), static_cast<int>(std::floor(y / 70)), 9) > 0.7;
    const double base = 40 + 150 * v * (tile ? 0.6 : 1.0);
    rgb[0] = base * 0.9;
    rgb[1] = base;
    rgb[2] = base * 1.1 + 10 * Noise(x / 40, y / 40, 7);
}

// width x height frame of the photo under shake, 2 x 2 samples per pixel.
inline Picture ShakenPhoto(int width, int height, const Shake& shake) {
    Picture picture(width, height);
    const double pi = 3.141592653589793;
    const double a = shake.tilt * pi / 180, c = std::cos(a), s = std::sin(a);
    const double cx = width * 0.5, cy = height * 0.5;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            double sum[3] = {0, 0, 0};
            for (int j = 0; j < 2; ++j)
                for (int i = 0; i < 2; ++i) {
                    const double px = x + 0.25 + 0.5 * i - cx - shake.dx, py = y + 0.25 + 0.5 * j - cy - shake.dy;
                    double rgb[3];
                    PhotoColour(cx + px * c + py * s, cy - px * s + py * c, rgb);
                    for (int k = 0; k < 3; ++k) sum[k] += rgb[k];
                }
            std::uint8_t* p = picture.pixel(x, y);
            for (int k = 0; k < 3; ++k) {
                const double v = sum[2 - k] * 0.25 * shake.exposure;
                p[k] = static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
            }
        }
    }
    return picture;
}

}  // namespace turnlet::testing
