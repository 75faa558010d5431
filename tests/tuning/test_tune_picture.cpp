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
#include "imaging/geometry.h"
#include "imaging/image_files.h"
#include "imaging/resize.h"
#include "imaging/tone.h"
#include "imaging/transform.h"
#include "owner_thread.h"
#include "temp_folder.h"
#include "tuning/frames_table.h"
#include "tuning/tune_picture.h"

namespace turnlet {
namespace {

using testing::TempFolder;

// The tuned frame made the long way: turn, crop-shift-rotate-zoom, tone, each into a new picture.
Picture FullFrame(const Picture& source, int degrees, const TuneParams& p) {
    Picture turned, aligned;
    RotateQuarter(source, turned, degrees);
    TransformPicture(turned, aligned, p.CropLeft + p.ShiftX, p.CropTop + p.ShiftY, p.CropWidth, p.CropHeight,
                     p.Background, p.Angle, p.Scale);
    AdjustTone(aligned, p.Brightness, p.Contrast, p.Gamma);
    return aligned;
}

// What the view shows for a request: the full frame scaled to fit (nearest), or the two full frames
// woven into the view's fit.
Picture ExpectedView(const Picture& main, const Picture& second, const TuneRequest& r) {
    const FittedSize size = TunedViewSize(r);
    Picture view(size.width, size.height);
    if (size.empty()) return Picture();
    const Picture full = FullFrame(main, r.rotationDegrees, r.MainTuneParams);
    if (r.TuneInterlacePath.empty()) {
        ResizePicture(full, view);
    } else {
        Picture other = FullFrame(second, r.rotationDegrees, r.InterlaceTuneParams);
        InterlacePictures(full, other, view);
    }
    return view;
}

std::vector<TuneRequest> Requests(std::mt19937& rng) {
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    std::vector<TuneRequest> requests;
    for (int i = 0; i < 32; ++i) {
        TuneRequest r;
        r.TuneFramePath = "main";
        if (i % 3 == 1) r.TuneInterlacePath = "second";
        r.rotationDegrees = 90 * (i % 4);
        for (TuneParams* p : {&r.MainTuneParams, &r.InterlaceTuneParams}) {
            p->CropLeft = pick(-8, 20);
            p->CropTop = pick(-8, 20);
            p->ShiftX = pick(-6, 6);
            p->ShiftY = pick(-6, 6);
            p->Angle = pick(-40, 40) * 0.5;
            p->Scale = i == 5 ? 1000 : pick(-500, 500);  // 1000: the lowest Scale of the dialog
            p->Brightness = i % 2 ? pick(-100, 100) : 0;
            p->Gamma = i % 4 == 1 ? pick(-100, 100) : 0;
            p->Background = 0x00102030u * static_cast<Color>(i % 5);
        }
        r.MainTuneParams.CropWidth = r.InterlaceTuneParams.CropWidth = pick(1, 40);
        r.MainTuneParams.CropHeight = r.InterlaceTuneParams.CropHeight = pick(1, 40);
        r.viewWidth = pick(1, 60);
        r.viewHeight = pick(1, 60);
        requests.push_back(r);
    }
    return requests;
}

TEST(TunedView, IsTheFrameMadeStepByStepFittedOrWoven) {
    std::mt19937 rng(21);
    const Picture main = testing::RandomPicture(33, 27, rng), second = testing::RandomPicture(33, 27, rng);
    Picture output = testing::RandomPicture(70, 70, rng), work = testing::RandomPicture(3, 3, rng);
    for (const TuneRequest& r : Requests(rng)) {
        SCOPED_TRACE(::testing::Message() << r.rotationDegrees << " crop " << r.MainTuneParams.CropWidth << "x"
                                          << r.MainTuneParams.CropHeight << " view " << r.viewWidth << "x"
                                          << r.viewHeight << (r.TuneInterlacePath.empty() ? "" : " interlaced"));
        RenderTunedView(main, second, r, output, work);
        ASSERT_TRUE(output == ExpectedView(main, second, r));
    }
    // Scale 1000 (the dialog's -1000) shows the background alone.
    TuneRequest r;
    r.MainTuneParams = {0, 0, 10, 10, 0, 0, 0x00ABCDEF, 0, 1000, 0, 0, 0};
    r.viewWidth = r.viewHeight = 10;
    RenderTunedView(main, second, r, output, work);
    EXPECT_EQ(testing::PixelAt(output, 5, 5), (testing::Bgr{0xAB, 0xCD, 0xEF}));
    EXPECT_EQ(testing::PixelAt(output, 0, 9), (testing::Bgr{0xAB, 0xCD, 0xEF}));
}

class ExportFrames : public ExportHost, public ExportObserver {
  public:
    ExportInputs in;
    std::vector<Status> failures;
    ExportInputs inputs() const override { return in; }
    void exportProgress(int) override {}
    void exportPreview(const Picture&) override {}
    void exportPreviewCleared() override {}
    void exportFinished(const std::string&) override {}
    void exportWrongFileType(const std::string&, const std::string&) override {}
    void exportFailed(const Status& status) override { failures.push_back(status); }
};

// The view of a frame, when the view can hold the whole frame, is the export's frame at the crop
// size, byte for byte; a smaller view is that frame resized by the export's own resize.
TEST(TunedView, ShowsTheExportsFrameBeforeItsFinalResize) {
    TempFolder folder;
    std::mt19937 rng(8);
    std::vector<std::string> sources;
    for (int i = 0; i < 4; ++i) {
        sources.push_back(folder.file("shot" + std::to_string(i) + ".png"));
        ASSERT_TRUE(SavePicture(testing::RandomPicture(48, 36, rng), sources.back(), 90).ok());
    }
    TextGrid frames = MakeFramesTable();
    frames.setRowCount(5);
    const char* values[4][7] = {{"0", "0", "0", "0", "0", "0", "0"},
                                {"10.9", "-3.9", "12.5", "100", "0", "0", "0"},
                                {"-4", "6.66667", "-30", "-250", "20", "-10", "35"},
                                {" 12.34", "0", "180", "0", "-100", "0", "0"}};
    for (int r = 1; r <= 4; ++r)
        for (int c = 2; c <= 8; ++c) frames.set(r, c, values[r - 1][c - 2]);

    ExportFrames host;
    host.in.cropTexts = {"5", "3", "30", "28"};
    host.in.outputWidthText = "30";
    host.in.outputHeightText = "28";
    host.in.typeIndex = 1;  // PNG: the files hold the frames exactly
    host.in.directory = folder.file("out");
    host.in.rotationDegrees = 90;
    host.in.backgroundColor = 0x00336699;
    std::filesystem::create_directories(host.in.directory);
    auto session = std::make_shared<ExportSession>(host, host, BuildExportTable(4, frames, sources, 0));
    ExportPicture exporter(session, {});
    exporter.Start();
    ASSERT_TRUE(exporter.Wait().ok());
    ASSERT_TRUE(host.failures.empty());

    const TuneCrop crop = TuneCropFromTexts("5", "3", "30", "28", 0, 0);
    for (int k = 0; k < 4; ++k) {
        SCOPED_TRACE(k);
        Picture exported, source, view, work;
        ASSERT_TRUE(LoadPicture(host.in.directory + "/000" + std::to_string(k + 1) + ".png", exported).ok());
        ASSERT_TRUE(LoadPicture(sources[k], source).ok());
        TuneRequest r;
        r.TuneFramePath = sources[k];
        r.rotationDegrees = 90;
        r.MainTuneParams = TuneParamsFromRow(frames, k + 1, crop, 0x00336699);
        r.viewWidth = 100;
        r.viewHeight = 100;
        RenderTunedView(source, Picture(), r, view, work);
        ASSERT_TRUE(view == exported);
        r.viewWidth = 12;
        RenderTunedView(source, Picture(), r, view, work);
        Picture resized(12, 11);  // 30 x 28 fitted into 12 x 100
        ResizePicture(exported, resized);
        ASSERT_TRUE(view == resized);
    }
}

// The job on a worker without an owner thread: hand-overs run in place.
class TuneJob : public ::testing::Test {
  protected:
    struct Shown {
        std::string path;
        int frameWidth = 0, frameHeight = 0;
        Picture display;
    };

    TuneJob()
        : job([this](const TuneResult& r) {
              shown.push_back({r.request.TuneFramePath, r.frameWidth, r.frameHeight, r.display});
          }),
          worker([this](const TuneRequest& request, Worker& w) { return job(request, w); }, {},
                 [this](const Status& status) {
                     std::lock_guard lock(mutex);
                     statuses.push_back(status);
                     reported.notify_all();
                 }) {}

    Status Run(TuneRequest request) {
        EXPECT_TRUE(worker.tryWake(std::move(request)));
        std::unique_lock lock(mutex);
        reported.wait(lock, [&] { return statuses.size() > runs; });
        ++runs;
        return statuses.back();
    }

    // What a render without any kept source shows.
    static Picture Uncached(const TuneRequest& r) {
        Picture main, second, view, work;
        LoadPicture(r.TuneFramePath, main);
        if (!r.TuneInterlacePath.empty()) LoadPicture(r.TuneInterlacePath, second);
        RenderTunedView(main, second, r, view, work);
        return view;
    }

    TempFolder folder;
    std::vector<Shown> shown;
    std::mutex mutex;
    std::condition_variable reported;
    std::vector<Status> statuses;
    std::size_t runs = 0;
    TunePicture job;
    RequestWorker<TuneRequest> worker;
};

TEST_F(TuneJob, ShowsWhatAnUncachedRenderShowsThroughStepsFramesAndChangedFiles) {
    std::mt19937 rng(12);
    std::vector<std::string> files;
    for (int i = 0; i < 3; ++i) {
        files.push_back(folder.file("f" + std::to_string(i) + (i == 1 ? ".bmp" : ".png")));
        ASSERT_TRUE(SavePicture(testing::RandomPicture(50, 40, rng), files.back(), 90).ok());
    }
    TuneRequest r;
    r.MainTuneParams = r.InterlaceTuneParams = {4, 2, 36, 30, 0, 0, 0x00FFFFFF, 0, 0, 0, 0, 0};
    r.viewWidth = 20;
    r.viewHeight = 20;
    auto step = [&](const std::function<void(TuneRequest&)>& change) {
        change(r);
        ASSERT_TRUE(Run(r).ok());
        ASSERT_TRUE(shown.back().display == Uncached(r));
        EXPECT_EQ(shown.back().frameWidth, 36);
        EXPECT_EQ(shown.back().path, r.TuneFramePath);
    };
    step([&](TuneRequest& q) { q.TuneFramePath = files[0]; });
    for (int angle : {1, 2, 3}) step([&](TuneRequest& q) { q.MainTuneParams.Angle = angle; });  // slider steps
    step([&](TuneRequest& q) { q.MainTuneParams.Brightness = 40; });
    step([&](TuneRequest& q) { q.MainTuneParams.ShiftX = -7; });
    step([&](TuneRequest& q) { q.rotationDegrees = 270; });  // the kept source serves every turn
    step([&](TuneRequest& q) { q.TuneFramePath = files[1]; });
    step([&](TuneRequest& q) { q.TuneInterlacePath = files[0]; });
    step([&](TuneRequest& q) { q.InterlaceTuneParams.Scale = 300; });
    step([&](TuneRequest& q) { q.TuneFramePath = files[2]; });  // the interlace frame stays held
    step([&](TuneRequest& q) { q.TuneInterlacePath = files[2]; });
    step([&](TuneRequest& q) { q.TuneInterlacePath.clear(); });
    step([&](TuneRequest& q) { q.viewWidth = 100; });  // the whole frame

    // A file replaced on disk (another size, so another key) is read again.
    ASSERT_TRUE(SavePicture(testing::RandomPicture(60, 45, rng), files[2], 90).ok());
    step([&](TuneRequest& q) { q.MainTuneParams.Gamma = 10; });
    EXPECT_EQ(Run({}).code(), Status::Code::Ok);  // no frame: nothing shown
    EXPECT_EQ(shown.size(), 15u);
}

TEST_F(TuneJob, AnUnreadableFrameIsNamedDrawnAsBackgroundAndTheWorkerGoesOn) {
    std::mt19937 rng(13);
    const std::string good = folder.file("good.png");
    ASSERT_TRUE(SavePicture(testing::RandomPicture(20, 20, rng), good, 90).ok());
    const std::string damaged = folder.file("damaged.png");
    testing::WriteBytes(damaged, "\x89PNG\r\n\x1a\n broken");
    const std::string text = folder.file("notes.txt");
    testing::WriteBytes(text, "hello");

    TuneRequest r;
    r.MainTuneParams = r.InterlaceTuneParams = {0, 0, 20, 20, 0, 0, 0x00010203, 0, 0, 0, 0, 0};
    r.viewWidth = r.viewHeight = 20;
    r.TuneFramePath = damaged;
    const Status bad = Run(r);
    EXPECT_EQ(bad.file(), damaged);
    ASSERT_EQ(shown.size(), 1u);
    Picture background(20, 20);
    background.fill(0x00010203);
    EXPECT_TRUE(shown[0].display == background);

    r.TuneFramePath = good;
    r.TuneInterlacePath = text;
    EXPECT_EQ(Run(r).code(), Status::Code::WrongFileType);
    EXPECT_EQ(testing::PixelAt(shown.back().display, 10, 0), (testing::Bgr{1, 2, 3}));  // even rows: background

    r.TuneInterlacePath.clear();
    EXPECT_TRUE(Run(r).ok());
    EXPECT_TRUE(shown.back().display == Uncached(r));

    // An empty crop (a width typed as 0) shows nothing, without a message.
    r.MainTuneParams.CropWidth = 0;
    EXPECT_TRUE(Run(r).ok());
    EXPECT_TRUE(shown.back().display.empty());
    EXPECT_EQ(shown.back().frameWidth, 0);
}

// With a real owner thread: requests one at a time, results on the owner's thread, and the worker's
// pictures read there only while the worker waits.
TEST(TunePictureThreaded, HandsOverOnTheOwnerThread) {
    TempFolder folder;
    std::mt19937 rng(14);
    const std::string a = folder.file("a.png"), b = folder.file("b.png");
    ASSERT_TRUE(SavePicture(testing::RandomPicture(64, 48, rng), a, 90).ok());
    ASSERT_TRUE(SavePicture(testing::RandomPicture(64, 48, rng), b, 90).ok());
    testing::OwnerThread owner;
    std::vector<std::uint64_t> sums;  // owner thread only
    std::thread::id presentThread;
    TunePicture job([&](const TuneResult& r) {
        std::uint64_t sum = 0;
        for (std::size_t i = 0; i < r.display.byteSize(); ++i) sum += r.display.data()[i];
        sums.push_back(sum);
        presentThread = std::this_thread::get_id();
    });
    auto worker = std::make_unique<RequestWorker<TuneRequest>>(
        [&](const TuneRequest& request, Worker& w) { return job(request, w); }, owner.poster());
    std::thread::id ownerId;
    owner.Run([&] { ownerId = std::this_thread::get_id(); });
    TuneRequest r;
    r.MainTuneParams = r.InterlaceTuneParams = {2, 2, 40, 40, 0, 0, 0, 0, 0, 0, 0, 0};
    r.viewWidth = r.viewHeight = 30;
    for (int i = 0; i < 8; ++i) {
        r.TuneFramePath = i % 2 ? a : b;
        r.TuneInterlacePath = i % 3 ? "" : a;
        r.MainTuneParams.Angle = i;
        owner.Run([&] { ASSERT_TRUE(worker->tryWake(r)); });
        worker->waitIdle();
    }
    owner.Run([&] {
        EXPECT_EQ(sums.size(), 8u);
        EXPECT_EQ(presentThread, ownerId);
        worker.reset();
    });
}

}  // namespace
}  // namespace turnlet
