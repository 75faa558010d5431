// SPDX-License-Identifier: MIT
// The tuned view: the export's own frame, the weave, the kept sources, files that cannot be read, threads.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "../imaging/pixel_test_util.h"
#include "export/export_engine.h"
#include "session/make_export_plan.h"
#include "imaging/geometry.h"
#include "codecs/image_files.h"
#include "imaging/resize.h"
#include "owner_thread.h"
#include "temp_folder.h"
#include "tuning/frames_table.h"
#include "tuning/tune_picture.h"

namespace turnlet {
namespace {

using testing::TempFolder;

class ExportFrames : public ExportObserver {
  public:
    void exportProgress(int) override {}
    void exportPreview(const Picture&) override {}
    void exportPreviewCleared() override {}
    void exportEnded(const ExportOutcome&) override {}
};

// The view of a frame that fits is the export's frame at the crop size, byte for byte; a smaller view
// is that frame resized by the export's own resize; the interlace view weaves two of them.
TEST(TunedView, ShowsTheExportsFrameBeforeItsFinalResize) {
    TempFolder folder;
    std::mt19937 rng(8);
    std::vector<std::string> sources;
    for (int i = 0; i < 4; ++i) {
        sources.push_back(folder.file("shot" + std::to_string(i) + ".png"));
        ASSERT_TRUE(SavePicture(testing::RandomPicture(48, 36, rng), sources.back(), 90).ok());
    }
    Project project;
    project.sources = sources;
    project.lastFrame = 3;
    // Every frame a keyframe, so each shows its own values.
    const KeyframeValues values[4] = {{0, 0, 0, 0, 0, 0, 0},
                                      {10.9, -3.9, 12.5, 100, 0, 0, 0},
                                      {-4, 6.66667, -30, -250, 20, -10, 35},
                                      {12.34, 0, 180, -1000, 0, 0, 0}};
    for (int k = 0; k < 4; ++k) ChangeKeyframe(project.keyframes, sources[k], values[k]);
    project.crop = CropArea{5, 3, 30, 28};
    project.rotationIndex = 1;
    project.backgroundColor = 0x00336699;
    ExportSettings& settings = project.exportSettings;
    settings.frames = 4;
    settings.width = 30;
    settings.height = 28;
    settings.typeIndex = 1;  // PNG: the files hold the frames exactly
    settings.directory = folder.file("out");
    settings.html5Viewer = false;
    auto plan = std::make_shared<ExportPlan>();
    ASSERT_TRUE(MakeExportPlan(project, {}, *plan).ok());
    ExportFrames host;
    ExportPicture exporter(std::make_shared<ExportSession>(host, plan), {});
    exporter.Start();
    ASSERT_TRUE(exporter.Wait().succeeded());

    std::vector<Picture> exported(4), decoded(4);
    for (int k = 0; k < 4; ++k) {
        ASSERT_TRUE(LoadPicture(settings.directory + "/000" + std::to_string(k + 1) + ".png", exported[k]).ok());
        ASSERT_TRUE(LoadPicture(sources[k], decoded[k]).ok());
    }
    const CropArea crop = *project.crop;
    const FrameRows frames = ProjectFrames(project);
    Picture view, work, expected;
    for (int k = 0; k < 4; ++k) {
        SCOPED_TRACE(k);
        const int j = (k + 1) % 4;
        TuneRequest r;
        r.rotationDegrees = 90;
        r.MainTuneParams = TuneParamsFromValues(frames[k].values, crop, 0x00336699);
        r.InterlaceTuneParams = TuneParamsFromValues(frames[j].values, crop, 0x00336699);
        r.viewWidth = r.viewHeight = 100;
        RenderTunedView(decoded[k], decoded[j], r, view, work);
        ASSERT_TRUE(view == exported[k]);
        if (k == 3) {
            EXPECT_EQ(testing::PixelAt(view, 15, 14), (testing::Bgr{0x33, 0x66, 0x99}));  // Scale -1000
        }
        r.viewWidth = 12;  // 30 x 28 fitted: 12 x 11
        RenderTunedView(decoded[k], decoded[j], r, view, work);
        expected.allocate(12, 11);
        ResizePicture(exported[k], expected);
        ASSERT_TRUE(view == expected);
        r.TuneInterlacePath = sources[j];  // woven at the view's fit, 100 x 93
        r.viewWidth = 100;
        RenderTunedView(decoded[k], decoded[j], r, view, work);
        Picture second = exported[j];
        expected.allocate(100, 93);
        InterlacePictures(exported[k], second, expected);
        ASSERT_TRUE(view == expected);
    }
}

// The job on its worker, hand-overs on the owner's thread: through slider steps, other frames, the
// interlace, a file replaced on disk and one that cannot be read, each view is what a render without
// any kept source shows.
TEST(TunePictureThreaded, ShowsWhatAnUncachedRenderShows) {
    TempFolder folder;
    std::mt19937 rng(12);
    std::vector<std::string> files;
    for (int i = 0; i < 3; ++i) {
        files.push_back(folder.file("f" + std::to_string(i) + (i == 1 ? ".bmp" : ".png")));
        ASSERT_TRUE(SavePicture(testing::RandomPicture(50, 40, rng), files.back(), 90).ok());
    }
    const std::string damaged = folder.file("damaged.png");
    testing::WriteBytes(damaged, "\x89PNG\r\n\x1a\n broken");
    testing::OwnerThread owner;
    Picture shown;  // owner thread only
    std::thread::id presentThread;
    TunePicture job([&](const TuneResult& r) {
        shown = r.display;
        presentThread = std::this_thread::get_id();
    });
    std::mutex mutex;
    std::condition_variable reported;
    Status last;  // guarded by mutex
    auto worker = std::make_unique<RequestWorker<TuneRequest>>(
        [&](const TuneRequest& request, Worker& w) { return job(request, w); }, owner.poster(),
        [&](const Status& s) {
            std::lock_guard lock(mutex);
            last = s;
            reported.notify_all();
        });
    TuneRequest r;
    r.MainTuneParams = r.InterlaceTuneParams = {4, 2, 36, 30, 0, 0, 0x00010203, 0, 0, 0, 0, 0};
    r.viewWidth = r.viewHeight = 20;
    auto step = [&](const std::function<void(TuneRequest&)>& change) {
        change(r);
        owner.Run([&] { ASSERT_TRUE(worker->tryWake(r)); });
        worker->waitIdle();
        Picture main, second, expected, work;
        LoadPicture(r.TuneFramePath, main);
        if (!r.TuneInterlacePath.empty()) LoadPicture(r.TuneInterlacePath, second);
        RenderTunedView(main, second, r, expected, work);
        owner.Run([&] {
            EXPECT_EQ(presentThread, std::this_thread::get_id());
            ASSERT_TRUE(shown == expected) << r.TuneFramePath;
        });
    };
    step([&](TuneRequest& q) { q.TuneFramePath = files[0]; });
    step([&](TuneRequest& q) { q.MainTuneParams.Angle = 2; });  // a slider step
    step([&](TuneRequest& q) { q.rotationDegrees = 270; });     // the kept source serves every turn
    step([&](TuneRequest& q) { q.TuneFramePath = files[1]; });
    step([&](TuneRequest& q) { q.TuneInterlacePath = files[0]; });
    step([&](TuneRequest& q) { q.TuneFramePath = files[2]; });  // the interlace frame stays kept
    step([&](TuneRequest& q) { q.TuneInterlacePath.clear(); });
    // A file replaced on disk (another size, so another key) is read again.
    ASSERT_TRUE(SavePicture(testing::RandomPicture(60, 45, rng), files[2], 90).ok());
    step([&](TuneRequest& q) { q.MainTuneParams.Gamma = 10; });
    // A file that cannot be read is named and drawn as background; the worker goes on.
    step([&](TuneRequest& q) { q.TuneFramePath = damaged; });
    {
        std::unique_lock lock(mutex);
        EXPECT_TRUE(reported.wait_for(lock, std::chrono::seconds(10), [&] { return last.file() == damaged; }));
    }
    step([&](TuneRequest& q) { q.TuneFramePath = files[0]; });
    owner.Run([&] { worker.reset(); });
}

}  // namespace
}  // namespace turnlet
