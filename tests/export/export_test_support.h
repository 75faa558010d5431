// SPDX-License-Identifier: MIT
// A scripted export host, an owner thread that serves hand-overs, and temporary folders for the export tests.
#pragma once

#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
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
class FakeHost : public ExportHost, public ExportObserver {
  public:
    std::string crop[4];
    int preview[2] = {0, 0};
    std::string width = "200", height = "200";
    int quality = 90;
    std::string dir;
    int type = 1;
    int rotation = 0;
    Color background = 0x00FFFFFF;
    bool smooth = false;
    std::string language = "en";

    std::vector<std::string> events;
    std::vector<std::string> messages;
    int finishes = 0;
    std::vector<Status> failures;
    std::vector<std::string> wrongTypes;
    int progress = -1;
    Picture lastPreview;
    int previewsShown = 0;
    // Runs inside exportPreview, i.e. while a frame is being handed out.
    std::function<void(int)> onFrameHandedOut;
    // Runs at every hand-over before the inputs are read; may throw to stand for a failing owner.
    std::function<void()> onInputs;

    ExportInputs inputs() const override {
        if (onInputs) onInputs();
        ExportInputs in;
        in.cropTexts = {crop[0], crop[1], crop[2], crop[3]};
        in.previewWidth = preview[0];
        in.previewHeight = preview[1];
        in.outputWidthText = width;
        in.outputHeightText = height;
        in.jpegQuality = quality;
        in.typeIndex = type;
        in.directory = dir;
        in.rotationDegrees = rotation;
        in.backgroundColor = background;
        in.smooth = smooth;
        in.languageCode = language;
        return in;
    }

    void exportProgress(int position) override {
        progress = position;
        events.push_back("progress " + std::to_string(position));
    }
    void exportPreview(const Picture& frame) override {
        lastPreview = frame;
        ++previewsShown;
        events.push_back("preview " + std::to_string(frame.width()) + "x" + std::to_string(frame.height()));
        if (onFrameHandedOut) onFrameHandedOut(progress);
    }
    void exportPreviewCleared() override {
        lastPreview.clear();
        events.push_back("clear");
    }
    void exportFinished(const std::string& message) override {
        ++finishes;
        if (message.empty()) return;  // no text in this language: nothing is shown
        messages.push_back(message);
        events.push_back("message " + message);
    }
    void exportWrongFileType(const std::string& path, const std::string& message) override {
        wrongTypes.push_back(path);
        events.push_back("wrong type " + path + " " + message);
    }
    void exportFailed(const Status& status) override {
        failures.push_back(status);
        events.push_back("failure " + status.message());
    }
};

// A minimal owner thread with an event queue, standing in for the GUI thread.
class OwnerThread {
  public:
    OwnerThread() : thread_([this] { Loop(); }) {}
    ~OwnerThread() {
        Post({});
        thread_.join();
    }
    void Post(std::function<void()> fn) {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(fn));
        cv_.notify_all();
    }
    PostToOwner poster() {
        return [this](std::function<void()> fn) { Post(std::move(fn)); };
    }
    // Runs fn on the owner thread and returns once it has run.
    void Run(const std::function<void()>& fn) {
        std::promise<void> done;
        Post([&] {
            fn();
            done.set_value();
        });
        done.get_future().wait();
    }
    // Runs probe on the owner thread until it returns true; false after about ten seconds.
    bool RunUntil(const std::function<bool()>& probe) {
        for (int i = 0; i < 10000; ++i) {
            bool done = false;
            Run([&] { done = probe(); });
            if (done) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }
    std::thread::id id() const { return thread_.get_id(); }

  private:
    void Loop() {
        for (;;) {
            std::function<void()> fn;
            {
                std::unique_lock lock(mutex_);
                cv_.wait(lock, [this] { return !queue_.empty(); });
                fn = std::move(queue_.front());
                queue_.pop_front();
            }
            if (!fn) return;
            fn();
        }
    }
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> queue_;
    std::thread thread_;
};

}  // namespace turnlet::testing
