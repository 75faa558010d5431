// SPDX-License-Identifier: MIT
// Project file writer and reader.
#include "project/project.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "base/files.h"
#include "base/text.h"
#include "base/number_text.h"

namespace turnlet {
namespace {

constexpr int kTunePointFields = 8;
// The export options added after the original keys: present only when on.
constexpr std::string_view kExtraSizesOn = "EXPORT_EXTRA_SIZES=1";
constexpr std::string_view kSmoothOn = "EXPORT_SMOOTH=1";

// Cells of a TUNE_POINT value. The path is not escaped, so a path holding "," gives more than eight
// fields; the seven numbers never hold one, so they are taken from the right and the rest is the path.
std::vector<std::string> TunePointCells(std::string_view value) {
    std::vector<std::string> cells(kTunePointFields);
    std::size_t commas = static_cast<std::size_t>(std::count(value.begin(), value.end(), ','));
    if (commas < kTunePointFields) {
        for (int i = 0; i < kTunePointFields; ++i) cells[static_cast<std::size_t>(i)] = SplitField(value, ",", i);
        return cells;
    }
    std::size_t end = value.size();
    for (int i = kTunePointFields - 1; i >= 1; --i) {
        std::size_t comma = value.rfind(',', end - 1);
        cells[static_cast<std::size_t>(i)] = std::string(value.substr(comma + 1, end - comma - 1));
        end = comma;
    }
    cells[0] = std::string(value.substr(0, end));
    return cells;
}

// The first value that a project file cannot hold (a line break would split its line), or nothing.
const std::string* FindUnstorableText(const Project& project) {
    for (const auto& source : project.sources)
        if (HasLineBreak(source)) return &source;
    if (HasLineBreak(project.exportSettings.directory)) return &project.exportSettings.directory;
    for (const Keyframe& keyframe : project.keyframes)
        if (HasLineBreak(keyframe.path)) return &keyframe.path;
    return nullptr;
}

// A size field: empty for not set.
std::string SizeText(std::int32_t size) {
    return size > 0 ? FormatInteger(size) : std::string();
}

// No positive size is "not set", as the writer writes it, so a project reads back as it was read.
std::int32_t SizeOf(std::string_view text) {
    return text.empty() ? 0 : std::max(IntegerOr(text, 200), 0);
}

}  // namespace

std::string ProjectFileNameForSave(std::string name) {
    std::string tail =
        name.size() > kProjectExtension.size() ? name.substr(name.size() - kProjectExtension.size()) : name;
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (tail != kProjectExtension) name += kProjectExtension;
    return name;
}

std::string WriteProjectText(const Project& project) {
    const ExportSettings& ex = project.exportSettings;
    std::vector<std::string> lines;
    lines.reserve(project.sources.size() + project.keyframes.size() + 19);
    for (const auto& source : project.sources) lines.push_back("SOURCE=" + source);
    lines.push_back("ROTATE=" + FormatInteger(static_cast<long long>(project.rotationIndex) * 90));
    const auto crop = [&](std::int32_t CropArea::*side) {
        return project.crop ? FormatInteger((*project.crop).*side) : std::string();
    };
    lines.push_back("CROP_LEFT=" + crop(&CropArea::left));
    lines.push_back("CROP_TOP=" + crop(&CropArea::top));
    lines.push_back("CROP_WIDTH=" + crop(&CropArea::width));
    lines.push_back("CROP_HEIGHT=" + crop(&CropArea::height));
    lines.push_back("LAST_FRAME=" + FormatInteger(project.lastFrame));
    lines.push_back("FIRST_FRAME=" + FormatInteger(project.firstFrame));
    lines.push_back("BACKGROUND_COLOR=" + FormatInteger(static_cast<std::int32_t>(project.backgroundColor)));
    for (const Keyframe& keyframe : project.keyframes) {
        std::string line = "TUNE_POINT=" + keyframe.path;
        for (double value : keyframe.values) line += "," + FormatKeyframeNumber(value);
        lines.push_back(std::move(line));
    }
    lines.push_back("EXPORT_FRAMES=" + FormatInteger(ex.frames));
    lines.push_back("EXPORT_DIR=" + ex.directory);
    lines.push_back(std::string("EXPORT_TYPE=") + ExportTypeName(ex.typeIndex));
    lines.push_back("JPEG_QUALITY=" + FormatInteger(ex.jpegQuality));
    lines.push_back("EXPORT_WIDTH=" + SizeText(ex.width));
    lines.push_back("EXPORT_HEIGHT=" + SizeText(ex.height));
    lines.push_back(std::string("EXPORT_PROPORTIONAL=") + (ex.proportional ? "1" : "0"));
    lines.push_back(std::string("HTML5_VIEWER=") + (ex.html5Viewer ? "1" : "0"));
    if (ex.extraSizes) lines.emplace_back(kExtraSizesOn);
    if (ex.smooth) lines.emplace_back(kSmoothOn);
    return JoinTextLines(lines);
}

void ReadProjectText(std::string_view text, Project& project) {
    ExportSettings& ex = project.exportSettings;
    ex.jpegQuality = 90;
    ex.width = ex.height = 0;
    ex.proportional = true;
    ex.html5Viewer = true;
    ex.extraSizes = false;
    ex.smooth = false;
    // The crop's four lines as written: the crop is set only when all four hold something.
    std::string cropTexts[4];

    for (std::string_view line : SplitTextLines(text)) {
        auto take = [&line](std::string_view key, std::string_view& value) {
            if (!line.starts_with(key)) return false;
            value = line.substr(key.size());
            return true;
        };
        std::string_view value;
        if (take("SOURCE=", value)) {
            project.sources.emplace_back(value);
        } else if (take("ROTATE=", value)) {
            // Only 0 .. 359 name one of the four quarter turns; anything else is no turn.
            int index = IntegerOr(value, 0) / 90;
            project.rotationIndex = index >= 0 && index <= 3 ? index : 0;
        } else if (take("CROP_LEFT=", value)) {
            cropTexts[0] = value;
        } else if (take("CROP_TOP=", value)) {
            cropTexts[1] = value;
        } else if (take("CROP_WIDTH=", value)) {
            cropTexts[2] = value;
        } else if (take("CROP_HEIGHT=", value)) {
            cropTexts[3] = value;
        } else if (take("FIRST_FRAME=", value)) {
            SetFirstFrame(project, IntegerOr(value, 0));
        } else if (take("LAST_FRAME=", value)) {
            SetLastFrame(project, IntegerOr(value, 0));
        } else if (take("BACKGROUND_COLOR=", value)) {
            project.backgroundColor = static_cast<Color>(IntegerOr(value, 0));
        } else if (take("EXPORT_FRAMES=", value)) {
            ex.frames = IntegerOr(value, 100);
        } else if (take("EXPORT_DIR=", value)) {
            ex.directory = value;
        } else if (line == "EXPORT_TYPE=JPEG") {
            ex.typeIndex = 0;
        } else if (line == "EXPORT_TYPE=PNG") {
            ex.typeIndex = 1;
        } else if (line == "EXPORT_TYPE=BMP") {
            ex.typeIndex = 2;
        } else if (take("JPEG_QUALITY=", value)) {
            // The quality slider holds 1 .. 100 and clamps what it is given.
            ex.jpegQuality = std::clamp(IntegerOr(value, 90), 1, 100);
        } else if (take("EXPORT_WIDTH=", value)) {
            ex.width = SizeOf(value);
        } else if (take("EXPORT_HEIGHT=", value)) {
            ex.height = SizeOf(value);
        } else if (line == "EXPORT_PROPORTIONAL=0") {
            ex.proportional = false;
        } else if (line == "HTML5_VIEWER=0") {
            ex.html5Viewer = false;
        } else if (line == kExtraSizesOn) {
            ex.extraSizes = true;
        } else if (line == kSmoothOn) {
            ex.smooth = true;
        } else if (take("TUNE_POINT=", value)) {
            const std::vector<std::string> cells = TunePointCells(value);
            Keyframe keyframe{cells[0], {}};
            for (int c = 0; c < kKeyframeValueCount; ++c)
                keyframe.values[c] = KeyframeNumber(ParseLeadingReal(cells[static_cast<std::size_t>(c) + 1]));
            project.keyframes.push_back(std::move(keyframe));
        }
    }
    if (!cropTexts[0].empty() && !cropTexts[1].empty() && !cropTexts[2].empty() && !cropTexts[3].empty()) {
        project.crop = CropArea{IntegerOr(cropTexts[0], 0), IntegerOr(cropTexts[1], 0), IntegerOr(cropTexts[2], 100),
                                IntegerOr(cropTexts[3], 100)};
    }
}

Status SaveProject(const Project& project, const std::string& fileName) {
    if (fileName.empty()) return Status::Error(fileName, "no file name given");
    if (const std::string* bad = FindUnstorableText(project))
        return Status::Error(fileName,
                             "a value holds a line break and cannot be stored in a project file: \"" + *bad + "\"");
    return WriteFileAtomically(fileName, WriteProjectText(project));
}

Status OpenProject(Project& project, const std::string& path, const std::string& exportDirectory) {
    std::string text;
    Status status = ReadWholeFile(path, text, kMaxProjectFileBytes);
    if (!status.ok()) return status;
    New(project, exportDirectory);
    ReadProjectText(text, project);
    return Status::Ok();
}

}  // namespace turnlet
