// SPDX-License-Identifier: MIT
// What became of one product of a batch: the report's row, and the record a finished product keeps.
#include "batch/batch_record.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <map>
#include <utility>
#include <vector>

#include "base/files.h"

namespace turnlet {
namespace {

constexpr std::string_view kMagic = "TURNLET_BATCH_RECORD=1";

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

bool ParseInt(std::string_view text, int& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

bool ParseDouble(std::string_view text, double& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

std::string Hex(std::uint64_t value) {
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(value));
    return hex;
}

bool ParseHex(const std::string& hex, std::uint64_t& value) {
    unsigned long long v = 0;
    const auto [end, ec] = std::from_chars(hex.data(), hex.data() + hex.size(), v, 16);
    if (hex.empty() || ec != std::errc() || end != hex.data() + hex.size()) return false;
    value = v;
    return true;
}

bool ParseOptional(std::string_view text, std::optional<double>& value) {
    if (text.empty()) {
        value.reset();
        return true;
    }
    double v = 0;
    if (!ParseDouble(text, v)) return false;
    value = v;
    return true;
}

}  // namespace

const char* ProductStateWord(ProductState state) {
    switch (state) {
        case ProductState::Done:
            return "done";
        case ProductState::Skipped:
            return "skipped";
        case ProductState::Failed:
            return "failed";
        case ProductState::Stopped:
            return "stopped";
    }
    return "stopped";
}

std::string WriteRecordText(const ProductResult& r, std::uint64_t fingerprint,
                            const std::vector<std::string>& outputs) {
    std::string text;
    auto line = [&](std::string_view key, const std::string& value) {
        text.append(key).append("=").append(value).append("\r\n");
    };
    text.append(kMagic).append("\r\n");
    line("FINGERPRINT", Hex(fingerprint));
    line("PHOTOS", std::to_string(r.photos));
    line("FRAMES", std::to_string(r.framesWritten));
    line("FIRST", std::to_string(r.firstFrame));
    line("LAST", std::to_string(r.lastFrame));
    line("ALIGN_CONFIDENCE", r.alignConfidence ? Number(*r.alignConfidence) : "");
    line("UNALIGNED", std::to_string(r.unalignedFrames));
    line("TURN_CONFIDENCE", r.turnConfidence ? Number(*r.turnConfidence) : "");
    line("SECONDS", Number(r.seconds));
    const bool fits = std::none_of(outputs.begin(), outputs.end(), [](const std::string& name) {
        return name.empty() || name.find_first_of("\r\n") != std::string::npos;
    });
    for (const std::string& name : fits ? outputs : std::vector<std::string>()) line("OUTPUT", name);
    // Last, so that a record cut short anywhere lacks it and reads as no record.
    line("END", "1");
    return text;
}

bool ReadRecordText(std::string_view text, ProductResult& result, std::uint64_t& fingerprint,
                    std::vector<std::string>& outputs) {
    std::map<std::string, std::string, std::less<>> values;
    std::vector<std::string> files;
    bool first = true;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (line.ends_with('\r')) line.remove_suffix(1);
        if (first) {
            if (line != kMagic) return false;
            first = false;
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) return false;
        if (line.substr(0, equals) == "OUTPUT")
            files.emplace_back(line.substr(equals + 1));
        else
            values[std::string(line.substr(0, equals))] = std::string(line.substr(equals + 1));
    }
    if (first || values["END"] != "1") return false;
    ProductResult r = result;
    std::uint64_t print = 0;
    if (!ParseHex(values["FINGERPRINT"], print)) return false;
    if (!ParseInt(values["PHOTOS"], r.photos) || !ParseInt(values["FRAMES"], r.framesWritten) ||
        !ParseInt(values["FIRST"], r.firstFrame) || !ParseInt(values["LAST"], r.lastFrame) ||
        !ParseOptional(values["ALIGN_CONFIDENCE"], r.alignConfidence) ||
        !ParseInt(values["UNALIGNED"], r.unalignedFrames) ||
        !ParseOptional(values["TURN_CONFIDENCE"], r.turnConfidence) || !ParseDouble(values["SECONDS"], r.seconds))
        return false;
    r.message.clear();
    result = r;
    fingerprint = print;
    outputs = std::move(files);
    return true;
}

std::vector<std::string> ProductFiles(const std::string& folder) {
    namespace fs = std::filesystem;
    std::vector<std::string> files;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (!it->is_regular_file(ec) || ec) continue;
        std::string name = it->path().lexically_relative(folder).generic_string();
        if (name != kRecordFileName) files.push_back(std::move(name));
    }
    if (ec) return {};
    std::sort(files.begin(), files.end());
    return files;
}

bool ProductFilesPresent(const std::string& folder, const std::vector<std::string>& outputs) {
    namespace fs = std::filesystem;
    std::error_code ec;
    return std::all_of(outputs.begin(), outputs.end(), [&](const std::string& name) {
        return fs::is_regular_file(fs::path(folder) / fs::path(name), ec);
    });
}

void Fingerprint::add(std::string_view bytes) {
    // FNV-1a over the bytes and then their length, so that "ab" + "c" differs from "a" + "bc".
    auto mix = [this](unsigned char byte) {
        hash_ ^= byte;
        hash_ *= 1099511628211ull;
    };
    for (const char c : bytes) mix(static_cast<unsigned char>(c));
    for (std::size_t n = bytes.size(), i = 0; i < sizeof n; ++i) mix(static_cast<unsigned char>(n >> (8 * i)));
}

bool Fingerprint::addFile(const std::string& path) {
    const FileStamp stamp = StampOf(path);
    add(path);
    add(std::to_string(stamp.size) + ":" + std::to_string(stamp.modified));
    return stamp.valid;
}

}  // namespace turnlet
