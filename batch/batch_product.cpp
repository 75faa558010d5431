// SPDX-License-Identifier: MIT
// One product of a studio batch: its photos, and its project made from the template's set-up.
#include "batch/batch_product.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "codecs/image_files.h"
#include "tuning/frames_table.h"

namespace turnlet {
namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The turn's photo count before the first frame and after the last, as the template has them.
struct TurnRule {
    int skipped = 0;
    int leftOff = 0;
};

TurnRule RuleOf(const Project& project) {
    const int count = static_cast<int>(project.sources.size());
    if (count == 0) return {};
    const int first = std::clamp(project.firstFrame, 0, count - 1);
    const int last = std::clamp(project.lastFrame, first, count - 1);
    return {first, count - 1 - last};
}

}  // namespace

bool NameOrderLess(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0;
    // Equal numbers written with more or fewer leading zeros decide only when all else is equal.
    int zeros = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            // Compare the runs as numbers: leading zeros aside, the longer run is the larger.
            std::size_t ei = i, ej = j;
            while (ei < a.size() && IsDigit(a[ei])) ++ei;
            while (ej < b.size() && IsDigit(b[ej])) ++ej;
            std::size_t si = i, sj = j;
            while (si + 1 < ei && a[si] == '0') ++si;
            while (sj + 1 < ej && b[sj] == '0') ++sj;
            if (ei - si != ej - sj) return ei - si < ej - sj;
            const int digits = a.substr(si, ei - si).compare(b.substr(sj, ej - sj));
            if (digits != 0) return digits < 0;
            if (zeros == 0 && ei - i != ej - j) zeros = ei - i < ej - j ? -1 : 1;
            i = ei;
            j = ej;
            continue;
        }
        if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
        ++i;
        ++j;
    }
    if (a.size() - i != b.size() - j) return a.size() - i < b.size() - j;
    return zeros < 0;
}

Status ListPhotos(const std::string& folder, std::vector<std::string>& photos) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path base = fs::absolute(folder, ec);
    if (ec || !fs::is_directory(base, ec)) return Status::Error(folder, "not a folder of photos");
    std::vector<std::string> found;
    fs::directory_iterator it(base, ec);
    if (ec) return Status::Error(folder, "the folder cannot be read: " + ec.message());
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) return Status::Error(folder, "the folder cannot be read: " + ec.message());
        const std::string name = it->path().filename().string();
        if (name.empty() || name[0] == '.') continue;
        if (FileTypeOf(name) == FileType::Unknown) continue;
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) continue;
        found.push_back(name);
    }
    std::sort(found.begin(), found.end(),
              [](const std::string& a, const std::string& b) { return NameOrderLess(a, b); });
    photos.clear();
    const std::string prefix = base.lexically_normal().string();
    for (const std::string& name : found) photos.push_back((prefix.ends_with('/') ? prefix : prefix + "/") + name);
    return Status::Ok();
}

std::string ProductName(const std::string& folder) {
    std::filesystem::path path(folder);
    while (!path.empty() && !path.has_filename() && path.has_parent_path() && path != path.parent_path())
        path = path.parent_path();
    std::string name = path.filename().string();
    if (name == "." || name == "..") {
        std::error_code ec;
        name = std::filesystem::absolute(folder, ec).lexically_normal().parent_path().filename().string();
        if (name.empty()) name = std::filesystem::absolute(folder, ec).lexically_normal().filename().string();
    }
    return name;
}

KeyframeValues SetUpValues(const Project& templateProject) {
    KeyframeValues values{};
    const FrameRows rows = ProjectFrames(templateProject);
    if (rows.empty()) return values;
    for (int v = 0; v < kKeyframeValueCount; ++v) {
        const double first = rows.front().values[static_cast<std::size_t>(v)];
        const bool constant = std::all_of(rows.begin(), rows.end(), [&](const FrameRow& row) {
            return row.values[static_cast<std::size_t>(v)] == first;
        });
        if (constant) values[static_cast<std::size_t>(v)] = first;
    }
    return values;
}

bool ExportsFramePerPhoto(const Project& project) {
    return !project.sources.empty() &&
           project.exportSettings.frames == FrameCount(project.firstFrame, project.lastFrame);
}

BatchFailure MakeProductProject(const Project& templateProject, const std::vector<std::string>& photos,
                                const std::string& exportDirectory, Project& product,
                                std::vector<std::string>& details) {
    const TurnRule rule = RuleOf(templateProject);
    const int count = static_cast<int>(photos.size());
    const int turn = count - rule.skipped - rule.leftOff;
    if (count == 0) return BatchFailure::NoPhotos;
    if (turn < kMinProductPhotos) {
        details = {std::to_string(count), std::to_string(rule.skipped), std::to_string(rule.leftOff),
                   std::to_string(kMinProductPhotos)};
        return BatchFailure::TooFewPhotos;
    }
    Project made = templateProject;
    New(made, exportDirectory);
    made.rotationIndex = templateProject.rotationIndex;
    made.crop = templateProject.crop;
    made.backgroundColor = templateProject.backgroundColor;
    made.exportSettings = templateProject.exportSettings;
    made.exportSettings.directory = exportDirectory;
    made.sources = photos;
    made.lastFrame = count - 1 - rule.leftOff;
    made.firstFrame = rule.skipped;
    const KeyframeValues setUp = SetUpValues(templateProject);
    if (setUp != KeyframeValues{})
        ChangeKeyframe(made.keyframes, photos[static_cast<std::size_t>(rule.skipped)], setUp);
    if (ExportsFramePerPhoto(templateProject)) made.exportSettings.frames = turn;
    product = std::move(made);
    return BatchFailure::None;
}

void CutToTurn(Project& product, int last, bool framePerPhoto) {
    SetLastFrame(product, last);
    if (framePerPhoto) product.exportSettings.frames = FrameCount(product.firstFrame, product.lastFrame);
}

bool CropFits(const Project& product, int width, int height, std::vector<std::string>& details) {
    if (!product.crop) return true;
    const CropArea& c = *product.crop;
    const std::int64_t right = static_cast<std::int64_t>(c.left) + c.width;
    const std::int64_t bottom = static_cast<std::int64_t>(c.top) + c.height;
    if (c.left >= 0 && c.top >= 0 && right <= width && bottom <= height) return true;
    details = {std::to_string(c.width), std::to_string(c.height), std::to_string(c.left),
               std::to_string(c.top),   std::to_string(width),    std::to_string(height)};
    return false;
}

}  // namespace turnlet
