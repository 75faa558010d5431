// SPDX-License-Identifier: MIT
// Renders a synthetic turntable sequence (a labelled, textured cylinder) plus a project file that opens it.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <numbers>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "codecs/image_files.h"
#include "imaging/picture.h"

namespace turnlet {
namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kJpegQuality = 92;
constexpr double kPi = std::numbers::pi;

struct Options {
    std::filesystem::path outDir;
    int frames = 36;
    int width = 1200;
    int height = 900;
    // How far the object turns over all the frames; 360 makes frame N the first frame again.
    double turnDegrees = 360;
};

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

struct Jitter {
    double dx = 0, dy = 0, angleDeg = 0, exposure = 1;
};

Jitter FrameJitter(int frame, int width, int height) {
    std::uint64_t state = 0x7475726E6C6574ULL + static_cast<std::uint64_t>(frame) * 7919;
    const double shift = std::max(2.0, std::min(width, height) / 150.0);  // "a few pixels" at any size
    Jitter j;
    j.dx = Uniform(state) * shift;
    j.dy = Uniform(state) * shift;
    j.angleDeg = Uniform(state) * 1.0;
    j.exposure = 1.0 + Uniform(state) * 0.08;
    return j;
}

std::uint8_t ToByte(double v) {
    return static_cast<std::uint8_t>(std::clamp(v, 0.0, 255.0));
}

// 2x2 supersampling through the inverse of the camera jitter, so edges stay clean without a resampling pass.
Picture RenderFrame(const Scene& scene, int width, int height, double turn, const Jitter& jitter) {
    Picture picture(width, height);
    const double a = jitter.angleDeg * kPi / 180.0;
    const double ca = std::cos(a), sa = std::sin(a);
    const double cx = width * 0.5, cy = height * 0.5;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            Rgb sum;
            for (int sy = 0; sy < 2; ++sy) {
                for (int sx = 0; sx < 2; ++sx) {
                    const double px = x + 0.25 + 0.5 * sx - cx - jitter.dx;
                    const double py = y + 0.25 + 0.5 * sy - cy - jitter.dy;
                    const Rgb c = scene.sample(cx + px * ca + py * sa, cy - px * sa + py * ca, turn);
                    sum = {sum.r + c.r, sum.g + c.g, sum.b + c.b};
                }
            }
            const double f = 0.25 * jitter.exposure;
            std::uint8_t* p = picture.pixel(x, y);
            p[0] = ToByte(sum.b * f);
            p[1] = ToByte(sum.g * f);
            p[2] = ToByte(sum.r * f);
        }
    }
    return picture;
}

std::optional<int> ParseInt(std::string_view text) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

void PrintUsage(std::ostream& out) {
    out << "usage: turnlet-make-sample OUTDIR [--frames N] [--width W] [--height H] [--turn-degrees D]\n"
           "  Renders N frames (default 36, 2..1000) of W x H pixels (default 1200 x 900, 64..8000)\n"
           "  of an object turning D degrees in all (default 360, 1..3600) into OUTDIR/frame_001.jpg ...\n"
           "  and writes OUTDIR/sample.trn.prj and the camera jitter of every frame to\n"
           "  OUTDIR/jitter.csv.\n";
}

std::optional<Options> ParseArguments(int argc, char** argv) {
    Options options;
    bool haveDir = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--turn-degrees") {
            const std::optional<int> value = i + 1 < argc ? ParseInt(argv[i + 1]) : std::nullopt;
            if (!value || *value < 1 || *value > 3600) {
                std::cerr << "turnlet-make-sample: --turn-degrees must be a whole number from 1 to 3600\n";
                return std::nullopt;
            }
            options.turnDegrees = *value;
            ++i;
        } else if (arg == "--frames" || arg == "--width" || arg == "--height") {
            if (i + 1 >= argc) {
                std::cerr << "turnlet-make-sample: " << arg << " needs a value\n";
                return std::nullopt;
            }
            const std::optional<int> value = ParseInt(argv[++i]);
            const bool frames = arg == "--frames";
            const int low = frames ? 2 : 64, high = frames ? 1000 : 8000;
            if (!value || *value < low || *value > high) {
                std::cerr << "turnlet-make-sample: " << arg << " must be a whole number from " << low << " to " << high
                          << ", not '" << argv[i] << "'\n";
                return std::nullopt;
            }
            (frames ? options.frames : arg == "--width" ? options.width : options.height) = *value;
        } else if (!arg.empty() && arg[0] == '-') {
            std::cerr << "turnlet-make-sample: unknown option '" << arg << "'\n";
            return std::nullopt;
        } else if (haveDir) {
            std::cerr << "turnlet-make-sample: more than one output folder given\n";
            return std::nullopt;
        } else {
            options.outDir = std::filesystem::path(arg);
            haveDir = !arg.empty();
        }
    }
    if (!haveDir) {
        std::cerr << "turnlet-make-sample: no output folder given\n";
        return std::nullopt;
    }
    return options;
}

std::string FrameName(int index, int frames) {
    // At least three digits, more when needed, so names sort in turn order.
    const int digits = std::max(3, static_cast<int>(std::to_string(frames).size()));
    std::string number = std::to_string(index + 1);
    return "frame_" + std::string(static_cast<std::size_t>(digits) - number.size(), '0') + number + ".jpg";
}

// The crop the project uses: centred, with a margin around the object.
PixelRect SampleCrop(const Options& options) {
    const int cropWidth = options.width * 3 / 4;
    const int cropHeight = options.height * 5 / 6;
    return {(options.width - cropWidth) / 2, (options.height - cropHeight) / 2, cropWidth, cropHeight};
}

// What each frame's camera did, and the frame values that undo it against the first frame: the
// tuned view turns a frame about its crop's centre pixel, so the shift is the one about that point.
std::string JitterText(const Options& options) {
    const PixelRect crop = SampleCrop(options);
    const double centreX = crop.left + crop.width / 2 + 0.5, centreY = crop.top + crop.height / 2 + 0.5;
    const double imageX = options.width * 0.5, imageY = options.height * 0.5;
    const Jitter first = FrameJitter(0, options.width, options.height);
    std::string text = "frame,turn_degrees,shift_x,shift_y,tilt_degrees,exposure,dx,dy,angle,exposure_ratio\r\n";
    char line[512];
    for (int k = 0; k < options.frames; ++k) {
        const Jitter j = FrameJitter(k, options.width, options.height);
        // Frame k shows the first frame's point p at c + d_k + R(a_k - a_0)(p - c - d_0), c the
        // picture's centre and R clockwise on screen.
        const double delta = (j.angleDeg - first.angleDeg) * kPi / 180.0;
        const double c = std::cos(delta), s = std::sin(delta);
        auto turn = [&](double x, double y, double& ox, double& oy) {
            ox = c * x - s * y;
            oy = s * x + c * y;
        };
        double ax = 0, ay = 0, bx = 0, by = 0;
        turn(imageX - centreX, imageY - centreY, ax, ay);
        turn(first.dx, first.dy, bx, by);
        const double tx = (imageX - centreX) - ax + j.dx - bx;
        const double ty = (imageY - centreY) - ay + j.dy - by;
        std::snprintf(line, sizeof line, "%d,%.6f,%.6f,%.6f,%.6f,%.6f,%.6f,%.6f,%.6f,%.6f\r\n", k,
                      options.turnDegrees * k / options.frames, j.dx, j.dy, j.angleDeg, j.exposure, -tx, -ty,
                      -(j.angleDeg - first.angleDeg), first.exposure / j.exposure);
        text += line;
    }
    return text;
}

std::string ProjectText(const Options& options, const std::vector<std::string>& sources, const std::string& outDir) {
    // Centred crop with a margin around the object; the export keeps its proportions.
    const PixelRect crop = SampleCrop(options);
    const int cropWidth = crop.width, cropHeight = crop.height, cropLeft = crop.left, cropTop = crop.top;
    const int exportWidth = 600;
    const int exportHeight = static_cast<int>(std::lround(exportWidth * static_cast<double>(cropHeight) / cropWidth));

    std::string text;
    const auto line = [&text](std::string_view key, const std::string& value) {
        text.append(key).append("=").append(value).append("\r\n");
    };
    for (const std::string& source : sources) line("SOURCE", source);
    line("ROTATE", "0");
    line("CROP_LEFT", std::to_string(cropLeft));
    line("CROP_TOP", std::to_string(cropTop));
    line("CROP_WIDTH", std::to_string(cropWidth));
    line("CROP_HEIGHT", std::to_string(cropHeight));
    line("LAST_FRAME", std::to_string(options.frames - 1));
    line("FIRST_FRAME", "0");
    line("BACKGROUND_COLOR", "16777215");
    line("EXPORT_FRAMES", "72");
    line("EXPORT_DIR", outDir + "/export");
    line("EXPORT_TYPE", "JPEG");
    line("JPEG_QUALITY", "90");
    line("EXPORT_WIDTH", std::to_string(exportWidth));
    line("EXPORT_HEIGHT", std::to_string(exportHeight));
    line("EXPORT_PROPORTIONAL", "1");
    line("HTML5_VIEWER", "1");
    return text;
}

int Run(const Options& options) {
    std::error_code ec;
    // The project's export folder too: exports write into an existing folder only.
    std::filesystem::create_directories(options.outDir / "export", ec);
    if (ec || !std::filesystem::is_directory(options.outDir)) {
        std::cerr << "turnlet-make-sample: cannot create folder '" << options.outDir.string()
                  << "': " << (ec ? ec.message() : "a file of that name exists") << "\n";
        return kExitFailure;
    }
    std::filesystem::path absolute = std::filesystem::absolute(options.outDir, ec);
    if (ec) absolute = options.outDir;
    // Forward slashes in the project on every platform; drop a trailing separator so paths join cleanly.
    std::string outDir = absolute.lexically_normal().generic_string();
    while (outDir.size() > 1 && outDir.back() == '/') outDir.pop_back();

    const Scene scene(options.width, options.height);
    std::vector<std::string> sources;
    for (int k = 0; k < options.frames; ++k) {
        // Written so that the default full turn gives the very angles (and bytes) it always has.
        const double turn = 2.0 * kPi * (options.turnDegrees / 360.0) * k / options.frames;
        const Picture picture =
            RenderFrame(scene, options.width, options.height, turn, FrameJitter(k, options.width, options.height));
        const std::string path = outDir + "/" + FrameName(k, options.frames);
        const Status status = SavePicture(picture, path, kJpegQuality);
        if (!status.ok()) {
            std::cerr << "turnlet-make-sample: cannot write frame: " << status.message() << "\n";
            return kExitFailure;
        }
        sources.push_back(path);
    }

    const std::string projectPath = outDir + "/sample.trn.prj";
    const std::string text = ProjectText(options, sources, outDir);
    std::ofstream file(projectPath, std::ios::binary | std::ios::trunc);
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
    file.close();
    if (!file) {
        std::cerr << "turnlet-make-sample: cannot write '" << projectPath << "'\n";
        return kExitFailure;
    }
    const std::string jitter = JitterText(options);
    std::ofstream jitterFile(outDir + "/jitter.csv", std::ios::binary | std::ios::trunc);
    jitterFile.write(jitter.data(), static_cast<std::streamsize>(jitter.size()));
    jitterFile.close();
    if (!jitterFile) {
        std::cerr << "turnlet-make-sample: cannot write '" << outDir << "/jitter.csv'\n";
        return kExitFailure;
    }
    std::cout << "Wrote " << options.frames << " frames of " << options.width << " x " << options.height << " and "
              << projectPath << "\n";
    return 0;
}

}  // namespace
}  // namespace turnlet

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "-h" || std::string_view(argv[i]) == "--help") {
            turnlet::PrintUsage(std::cout);
            return 0;
        }
    }
    const std::optional<turnlet::Options> options = turnlet::ParseArguments(argc, argv);
    if (!options) {
        turnlet::PrintUsage(std::cerr);
        return turnlet::kExitUsage;
    }
    try {
        return turnlet::Run(*options);
    } catch (const std::exception& e) {
        std::cerr << "turnlet-make-sample: " << e.what() << "\n";
        return turnlet::kExitFailure;
    }
}
