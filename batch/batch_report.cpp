// SPDX-License-Identifier: MIT
// The batch report: one row per product, as CSV for spreadsheets and JSON for programs.
#include "batch/batch_report.h"

#include <cstdio>
#include <optional>

#include "base/files.h"

namespace turnlet {
namespace {

std::string Number(std::optional<double> value, const char* none) {
    if (!value) return none;
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", *value);
    return text;
}

std::string Frame(int frame, const char* none) {
    return frame < 0 ? std::string(none) : std::to_string(frame);
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (u < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", u);
            out += escape;
        } else {
            out += c;  // UTF-8 passes as it is
        }
    }
    return out + "\"";
}

}  // namespace

std::string ReportCsv(const std::vector<ProductResult>& results) {
    std::string text =
        "product,folder,status,photos,frames_written,first_frame,last_frame,align_confidence,unaligned_frames,"
        "turn_confidence,seconds,message\r\n";
    for (const ProductResult& r : results) {
        text += CsvField(r.name) + "," + CsvField(r.folder) + "," + ProductStateWord(r.state) + "," +
                std::to_string(r.photos) + "," + std::to_string(r.framesWritten) + "," + Frame(r.firstFrame, "") + "," +
                Frame(r.lastFrame, "") + "," + Number(r.alignConfidence, "") + "," + std::to_string(r.unalignedFrames) +
                "," + Number(r.turnConfidence, "") + "," + Number(r.seconds, "") + "," + CsvField(r.message) + "\r\n";
    }
    return text;
}

std::string ReportJson(const std::vector<ProductResult>& results) {
    int succeeded = 0, failed = 0, stopped = 0;
    std::string rows;
    for (const ProductResult& r : results) {
        if (r.state == ProductState::Failed)
            ++failed;
        else if (r.state == ProductState::Stopped)
            ++stopped;
        else
            ++succeeded;
        if (!rows.empty()) rows += ",\r\n";
        rows += "    {\"product\": " + JsonString(r.name) + ", \"folder\": " + JsonString(r.folder) +
                ", \"status\": \"" + ProductStateWord(r.state) + "\", \"photos\": " + std::to_string(r.photos) +
                ", \"frames_written\": " + std::to_string(r.framesWritten) +
                ", \"first_frame\": " + Frame(r.firstFrame, "null") +
                ", \"last_frame\": " + Frame(r.lastFrame, "null") +
                ", \"align_confidence\": " + Number(r.alignConfidence, "null") +
                ", \"unaligned_frames\": " + std::to_string(r.unalignedFrames) +
                ", \"turn_confidence\": " + Number(r.turnConfidence, "null") +
                ", \"seconds\": " + Number(r.seconds, "null") + ", \"message\": " + JsonString(r.message) + "}";
    }
    return "{\r\n  \"products\": [\r\n" + rows + (rows.empty() ? "" : "\r\n") +
           "  ],\r\n  \"succeeded\": " + std::to_string(succeeded) + ",\r\n  \"failed\": " + std::to_string(failed) +
           ",\r\n  \"stopped\": " + std::to_string(stopped) + "\r\n}\r\n";
}

Status WriteReport(const std::string& base, const std::vector<ProductResult>& results) {
    std::string stem = base;
    for (const char* extension : {".csv", ".json"}) {
        if (stem.size() > std::string(extension).size() && stem.ends_with(extension)) {
            stem.resize(stem.size() - std::string(extension).size());
            break;
        }
    }
    if (Status status = WriteFileAtomically(stem + ".csv", ReportCsv(results)); !status.ok()) return status;
    return WriteFileAtomically(stem + ".json", ReportJson(results));
}

}  // namespace turnlet
