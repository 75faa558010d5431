// SPDX-License-Identifier: MIT
// A frozen export: the frame parameters and file names it gives.
#include "export/export_plan.h"

#include <algorithm>
#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace turnlet {

FrameParams ExportPlan::Frame(int k) const {
    const PlannedFrame& f = frames[static_cast<std::size_t>(k)];
    FrameParams p;
    p.RotationDegrees = rotationDegrees;
    p.CropLeft = cropLeft;
    p.CropTop = cropTop;
    p.CropWidth = cropWidth;
    p.CropHeight = cropHeight;
    p.ShiftX = f.shiftX;
    p.ShiftY = f.shiftY;
    p.Angle = f.angle;
    p.Scale = f.scale;
    p.Brightness = f.brightness;
    p.Contrast = f.contrast;
    p.Gamma = f.gamma;
    p.Background = background;
    p.OutputWidth = outputWidth;
    p.OutputHeight = outputHeight;
    p.Smooth = smooth;
    return p;
}

std::string ExportPlan::FileName(int k) const {
    char text[16];
    std::snprintf(text, sizeof text, "%04" PRId32, static_cast<std::int32_t>(k + 1));
    return text + ExportExtension(typeIndex);
}

std::string ExportExtension(int typeIndex) {
    switch (typeIndex) {
        case 1:
            return ".png";
        case 2:
            return ".bmp";
        case 3:
            return ".webp";
        case 4:
            return ".avif";
        default:
            return ".jpg";
    }
}

int ExportSourceFrame(int k, int n, int m) {
    if (n <= 1) return 0;
    // 64-bit product: identical to 32-bit arithmetic wherever that does not overflow.
    return static_cast<int>(static_cast<std::int64_t>(k) * (m - 1) / (n - 1));
}

Status CheckExportFrames(int n) {
    if (n >= 1 && n <= kMaxExportFrames) return Status::Ok();
    return Status::Error({}, std::to_string(n) + " is not a number of frames an export can make (1 to " +
                                 std::to_string(kMaxExportFrames) + ")");
}

std::vector<std::string> LeftoverFrames(const ExportPlan& plan) {
    std::vector<std::string> leftovers;
    const std::string own = ExportExtension(plan.typeIndex);
    auto look = [&](const std::filesystem::path& folder) {
        std::error_code error;
        for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
            if (!it->is_regular_file(error)) continue;
            const std::string name = it->path().filename().string();
            const std::size_t dot = name.find('.');
            if (dot == std::string::npos || dot < 4) continue;
            bool digits = true;
            for (std::size_t i = 0; i < dot; ++i) digits = digits && std::isdigit(static_cast<unsigned char>(name[i]));
            const std::string extension = name.substr(dot);
            bool frameType = false;
            for (int type = 0; type < kExportTypeCount; ++type)
                frameType = frameType || extension == ExportExtension(type);
            if (!digits || !frameType) continue;
            // More digits than any export writes: not one of its frames either way.
            const long long number = dot > 12 ? -1 : std::stoll(name.substr(0, dot));
            if (extension != own || number < 1 || number > plan.frameCount()) leftovers.push_back(it->path().string());
        }
    };
    look(plan.directory);
    for (const char* set : {"half", "double", "zoom"}) look(std::filesystem::path(plan.directory) / set);
    std::sort(leftovers.begin(), leftovers.end());
    return leftovers;
}

}  // namespace turnlet
