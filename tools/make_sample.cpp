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
#include "tools/sample_scene.h"

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

// What each frame's camera did, and the frame values that undo it against the first frame: the
// tuned view turns a frame about its crop's centre pixel, so the shift is the one about that point.
std::string JitterText(const Options& options) {
    const PixelRect crop = SampleCrop(options.width, options.height);
    const double centreX = crop.left + crop.width / 2 + 0.5, centreY = crop.top + crop.height / 2 + 0.5;
    const double imageX = options.width * 0.5, imageY = options.height * 0.5;
    const SampleJitter first = SampleFrameJitter(0, options.width, options.height);
    std::string text = "frame,turn_degrees,shift_x,shift_y,tilt_degrees,exposure,dx,dy,angle,exposure_ratio\r\n";
    char line[512];
    for (int k = 0; k < options.frames; ++k) {
        const SampleJitter j = SampleFrameJitter(k, options.width, options.height);
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
    const PixelRect crop = SampleCrop(options.width, options.height);
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

    std::vector<std::string> sources;
    for (int k = 0; k < options.frames; ++k) {
        const Picture picture = RenderSampleFrame(options.width, options.height,
                                                  SampleTurnRadians(options.turnDegrees, k, options.frames), k);
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
