// SPDX-License-Identifier: MIT
// Turning a project into a frozen export plan.
#include "session/make_export_plan.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "base/number_text.h"
#include "tuning/frames_table.h"
#include "tuning/tune_params.h"

namespace turnlet {
namespace {

constexpr int kBmp = 2;

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

FrameSize ExportFrameSize(const Project& project, const CropArea& area) {
    const ExportSettings& ex = project.exportSettings;
    FrameSize size{ex.widthText.empty() ? area.width : IntegerOr(ex.widthText, 200),
                   ex.heightText.empty() ? area.height : IntegerOr(ex.heightText, 200)};
    return ex.proportional ? FollowCrop(size, area.width, area.height) : size;
}

Status MakeExportPlan(const Project& project, const ExportPlanRequest& request, ExportPlan& plan) {
    const ExportSettings& ex = project.exportSettings;
    if (project.sources.empty())
        return Status::Error({}, "the project has no source images, so there is nothing to export");
    const int n = IntegerOr(ex.framesText, 100);
    if (Status status = CheckExportFrames(n); !status.ok()) return status;

    plan = ExportPlan{};
    const CropArea crop = ResolveCrop(project.crop, request.pictureWidth, request.pictureHeight);
    plan.cropLeft = crop.left;
    plan.cropTop = crop.top;
    plan.cropWidth = crop.width;
    plan.cropHeight = crop.height;
    const FrameSize size = ExportFrameSize(project, crop);
    plan.outputWidth = size.width;
    plan.outputHeight = size.height;
    plan.rotationDegrees = project.rotationDegrees();
    plan.background = project.backgroundColor;
    plan.typeIndex = ex.typeIndex >= 0 && ex.typeIndex < kExportTypes ? ex.typeIndex : 0;
    plan.jpegQuality = std::clamp(ex.jpegQuality, 1, 100);
    plan.directory = request.directory ? *request.directory : ex.directory;
    plan.smooth = ex.smooth || request.smooth;
    if (ex.html5Viewer && plan.typeIndex != kBmp) plan.page = PlannedPage{request.templatePath};
    // The extra sets belong to the page: none without one.
    plan.extraSizes = plan.page && (ex.extraSizes || request.extraSizes);

    const int m = FrameCount(project.firstFrame, project.lastFrame);
    const CropArea noCrop;
    plan.frames.reserve(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k) {
        const int s = ExportSourceFrame(k, n, m);
        const std::int64_t index = static_cast<std::int64_t>(project.firstFrame) + s;
        if (index < 0 || index >= static_cast<std::int64_t>(project.sources.size()))
            return Status::Error({}, "frame " + std::to_string(s) + " of the turn lies beyond the source list");
        const TuneParams values = TuneParamsFromRow(project.frames, s + 1, noCrop, project.backgroundColor);
        plan.frames.push_back({project.sources[static_cast<std::size_t>(index)], values.ShiftX, values.ShiftY,
                               values.Angle, values.Scale, values.Brightness, values.Contrast, values.Gamma});
    }
    return Status::Ok();
}

}  // namespace turnlet
