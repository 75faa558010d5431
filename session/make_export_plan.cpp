// SPDX-License-Identifier: MIT
// Turning a project into a frozen export plan.
#include "session/make_export_plan.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "codecs/image_files.h"
#include "tuning/frames_table.h"
#include "tuning/tune_params.h"

namespace turnlet {
namespace {

static_assert(kExportTypes == kExportTypeCount, "the project's type list is the export's");

std::int32_t Saturate(std::int64_t value) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                                              std::numeric_limits<std::int32_t>::max()));
}

// The proportional rule: value * numerator / denominator, the product first, the division truncating.
std::int64_t Proportional(std::int64_t value, std::int64_t numerator, std::int64_t denominator) {
    return value * numerator / denominator;
}

}  // namespace

bool KeepsProportions(FrameSize size, std::int32_t cropWidth, std::int32_t cropHeight) {
    if (cropWidth <= 0 || cropHeight <= 0) return true;
    return size.height == Proportional(size.width, cropHeight, cropWidth) ||
           size.width == Proportional(size.height, cropWidth, cropHeight);
}

FrameSize FollowCrop(FrameSize size, std::int32_t cropWidth, std::int32_t cropHeight) {
    if (KeepsProportions(size, cropWidth, cropHeight)) return size;
    size.height = Saturate(std::max<std::int64_t>(1, Proportional(size.width, cropHeight, cropWidth)));
    return size;
}

bool DistortsCrop(FrameSize size, std::int32_t cropWidth, std::int32_t cropHeight) {
    if (cropWidth <= 0 || cropHeight <= 0 || size.width <= 0 || size.height <= 0) return false;
    // Small frames cannot match to 1 %: one that is the crop's shape to the pixel does not distort.
    if (KeepsProportions(size, cropWidth, cropHeight)) return false;
    const double frame = static_cast<double>(size.width) / size.height;
    const double crop = static_cast<double>(cropWidth) / cropHeight;
    return std::abs(frame / crop - 1) > 0.01;
}

FrameSize ExportFrameSize(const ExportSettings& settings, const CropArea& area) {
    FrameSize size{settings.width > 0 ? settings.width : area.width,
                   settings.height > 0 ? settings.height : area.height};
    return settings.proportional ? FollowCrop(size, area.width, area.height) : size;
}

Status MakeExportPlan(const Project& project, const ExportPlanRequest& request, ExportPlan& plan) {
    const ExportSettings& ex = project.exportSettings;
    if (project.sources.empty())
        return Status::Error({}, "the project has no source images, so there is nothing to export");
    const int n = ex.frames;
    if (Status status = CheckExportFrames(n); !status.ok()) return status;

    plan = ExportPlan{};
    const CropArea crop = ResolveCrop(project.crop, request.pictureWidth, request.pictureHeight);
    plan.cropLeft = crop.left;
    plan.cropTop = crop.top;
    plan.cropWidth = crop.width;
    plan.cropHeight = crop.height;
    const FrameSize size = ExportFrameSize(ex, crop);
    plan.outputWidth = size.width;
    plan.outputHeight = size.height;
    plan.rotationDegrees = project.rotationDegrees();
    plan.background = project.backgroundColor;
    plan.typeIndex = ex.typeIndex >= 0 && ex.typeIndex < kExportTypes ? ex.typeIndex : 0;
    plan.jpegQuality = std::clamp(ex.jpegQuality, 1, 100);
    plan.directory = request.directory ? *request.directory : ex.directory;
    plan.smooth = ex.smooth || request.smooth;
    if (ex.html5Viewer && plan.typeIndex != kExportBmp) plan.page = PlannedPage{request.templatePath};
    // The extra sets belong to the page: none without one.
    plan.extraSizes = plan.page && (ex.extraSizes || request.extraSizes);
    plan.zoomSet = plan.page && (ex.zoomSet || request.zoomSet);
    plan.videoMp4 = ex.videoMp4 || request.videoMp4;
    plan.animatedWebp = ex.animatedWebp || request.animatedWebp;
    plan.ffmpegPath = request.ffmpegPath;

    const FrameRows rows = ProjectFrames(project);
    const int m = static_cast<int>(rows.size());
    const CropArea noCrop;
    plan.frames.reserve(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k) {
        const int s = ExportSourceFrame(k, n, m);
        const std::int64_t index = static_cast<std::int64_t>(project.firstFrame) + s;
        if (index < 0 || index >= static_cast<std::int64_t>(project.sources.size()))
            return Status::Error({}, "frame " + std::to_string(s) + " of the turn lies beyond the source list");
        const KeyframeValues none{};
        const KeyframeValues& frame = s < m ? rows[static_cast<std::size_t>(s)].values : none;
        const TuneParams values = TuneParamsFromValues(frame, noCrop, project.backgroundColor);
        plan.frames.push_back({project.sources[static_cast<std::size_t>(index)], values.ShiftX, values.ShiftY,
                               values.Angle, values.Scale, values.Brightness, values.Contrast, values.Gamma});
    }
    return Status::Ok();
}

Status TurnedSourceSize(const Project& project, int& width, int& height) {
    int w = 0, h = 0;
    if (Status status = ReadPictureSize(project.sources.at(0), w, h); !status.ok()) return status;
    const bool sideways = project.rotationDegrees() == 90 || project.rotationDegrees() == 270;
    width = sideways ? h : w;
    height = sideways ? w : h;
    return Status::Ok();
}

}  // namespace turnlet
