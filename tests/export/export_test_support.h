// SPDX-License-Identifier: MIT
// A scripted export host and temporary folders for the export tests.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "export/export_engine.h"

namespace turnlet::testing {

inline std::filesystem::path FreshTempDir(const std::string& name) {
    const char* root = std::getenv("TURNLET_TEST_TMP");
    std::filesystem::path base = root ? std::filesystem::path(root) : std::filesystem::temp_directory_path();
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::filesystem::path dir =
        base / "export" / (std::string(info->test_suite_name()) + "." + info->name() + "." + name);
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

// Stands in for the main window and the export dialog; records what the export shows.
class FakeHost : public ExportHost {
  public:
    std::string crop[4];
    int preview[2] = {0, 0};
    std::string width = "200", height = "200";
    int quality = 90;
    std::string dir;
    int type = 1;
    int rotation = 0;
    Color background = 0x00FFFFFF;
    std::string language = "en";

    std::vector<std::string> events;
    std::vector<std::string> messages;
    std::vector<Status> failures;
    std::vector<std::string> wrongTypes;
    int progress = -1;
    Picture lastPreview;
    int previewsShown = 0;
    // Runs inside showPreview, i.e. while a frame is being handed out.
    std::function<void(int)> onFrameHandedOut;

    std::string cropText(int index) const override { return crop[index]; }
    int previewWidth() const override { return preview[0]; }
    int previewHeight() const override { return preview[1]; }
    std::string outputWidthText() const override { return width; }
    std::string outputHeightText() const override { return height; }
    int jpegQuality() const override { return quality; }
    std::string directory() const override { return dir; }
    int typeIndex() const override { return type; }
    int rotationDegrees() const override { return rotation; }
    Color backgroundColor() const override { return background; }
    std::string languageCode() const override { return language; }

    void setProgress(int position) override {
        progress = position;
        events.push_back("progress " + std::to_string(position));
    }
    void showPreview(const Picture& frame) override {
        lastPreview = frame;
        ++previewsShown;
        events.push_back("preview " + std::to_string(frame.width()) + "x" + std::to_string(frame.height()));
        if (onFrameHandedOut) onFrameHandedOut(progress);
    }
    void clearPreview() override {
        lastPreview.clear();
        events.push_back("clear");
    }
    void showFinished(const std::string& message) override {
        messages.push_back(message);
        events.push_back("message " + message);
    }
    void showWrongFileType(const std::string& path) override {
        wrongTypes.push_back(path);
        events.push_back("wrong type " + path);
    }
    void showFailure(const Status& status) override {
        failures.push_back(status);
        events.push_back("failure " + status.message());
    }
};

}  // namespace turnlet::testing
