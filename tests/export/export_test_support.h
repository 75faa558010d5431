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

// A plan of n frames picked evenly from the m = sources.size() frames of a turn, all values 0,
// writing PNG at 200 x 200 from the whole of a 640 x 480 picture into dir.
inline ExportPlan EvenPlan(const std::vector<std::string>& sources, int n, const std::string& dir) {
    ExportPlan plan;
    const int m = static_cast<int>(sources.size());
    for (int k = 0; k < n; ++k) plan.frames.push_back({sources[ExportSourceFrame(k, n, m)]});
    plan.cropWidth = 640;
    plan.cropHeight = 480;
    plan.outputWidth = 200;
    plan.outputHeight = 200;
    plan.typeIndex = 1;
    plan.directory = dir;
    return plan;
}

// Stands in for the export dialog; records what the export shows.
class FakeObserver : public ExportObserver {
  public:
    std::vector<std::string> events;
    std::vector<ExportOutcome> outcomes;
    int progress = -1;
    Picture lastPreview;
    int previewsShown = 0;
    // Runs inside exportPreview, i.e. while a frame is being handed out.
    std::function<void(int)> onFrameHandedOut;

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
    void exportEnded(const ExportOutcome& outcome) override {
        outcomes.push_back(outcome);
        events.push_back("ended " + std::to_string(outcome.written) + "/" + std::to_string(outcome.total));
    }
};

// Runs plan to its end on a worker that hands over in place, and returns how it ended.
inline ExportOutcome RunPlan(FakeObserver& observer, ExportPlan plan, ExportOptions options = {}) {
    auto session = std::make_shared<ExportSession>(observer, std::make_shared<const ExportPlan>(std::move(plan)));
    ExportPicture worker(session, {}, options);
    worker.Start();
    return worker.Wait();
}

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
