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
#include "owner_thread.h"

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
    // Runs inside exportVideoProgress with the video's file name and the frames done.
    std::function<void(const std::string&, int)> onVideoStep;
    void exportVideoProgress(const std::string& video, int done, int total) override {
        const std::string name = video.substr(video.find_last_of('/') + 1);
        events.push_back("video " + name + " " + std::to_string(done) + "/" + std::to_string(total));
        if (onVideoStep) onVideoStep(name, done);
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

}  // namespace turnlet::testing
