// SPDX-License-Identifier: MIT
// Every reader of source pictures against the damaged corpus: the plain load, the preview, the
// first/last comparison, the tuned view and the export (pipelined and step by step). Each must
// name the file in its error, within a second and a few hundred megabytes, and stay usable.
#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "child_measure.h"
#include "damaged_corpus.h"
#include "export/export_engine.h"
#include "firstlast/show_first_last.h"
#include "codecs/image_files.h"
#include "codecs/jpeg_scaled.h"
#include "source/show_source.h"
#include "tuning/tune_picture.h"

namespace turnlet {
namespace {

using damaged::DamagedFile;
using testing::ChildMeasure;
using testing::MeasureInChild;

std::string Outcome(const Status& status) {
    if (status.ok()) return "ok";
    return "error|" + status.file() + "|" + status.message();
}

// Runs one request of a job on a worker without an owner thread and returns the job's status.
template <class Request, class Job>
Status RunJob(Job& job, Request request) {
    std::mutex mutex;
    std::condition_variable reported;
    std::optional<Status> outcome;
    RequestWorker<Request> worker([&](const Request& r, Worker& w) { return job(r, w); }, {},
                                  [&](const Status& status) {
                                      std::lock_guard lock(mutex);
                                      outcome = status;
                                      reported.notify_all();
                                  });
    if (!worker.tryWake(std::move(request))) return Status::Error("", "worker refused the request");
    std::unique_lock lock(mutex);
    reported.wait(lock, [&] { return outcome.has_value(); });
    return *outcome;
}

// The export's observer: records how the export ended.
class Host : public ExportObserver {
  public:
    void exportProgress(int) override {}
    void exportPreview(const Picture&) override {}
    void exportPreviewCleared() override {}
    void exportEnded(const ExportOutcome& outcome) override { ended = outcome; }
    std::optional<ExportOutcome> ended;
};

class DamagedCallers : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        const char* root = std::getenv("TURNLET_TEST_TMP");
        folder_ = (std::filesystem::path(root ? root : std::filesystem::temp_directory_path().string()) /
                   ("damaged-corpus-" + std::to_string(getpid())))
                      .string();
        corpus_ = damaged::MakeDamagedCorpus(folder_);
        good_ = folder_ + "/whole.png";
        Picture picture(40, 30);
        picture.fill(0x00336699);
        ASSERT_TRUE(SavePicture(picture, good_, 90).ok());
    }
    static void TearDownTestSuite() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    // Runs caller on every file of the corpus in a child process and holds it to the bounds.
    void CheckEveryFile(const char* caller, const std::function<std::string(const DamagedFile&)>& call) {
        ASSERT_GE(corpus_.size(), 20u);
        for (const DamagedFile& file : corpus_) {
            const ChildMeasure m = MeasureInChild([&] { return call(file); });
            std::printf("[  MEASURE ] %-11s %-44s %7.1f ms %8ld KB  %s\n", caller, file.name.c_str(),
                        m.cpuSeconds * 1000, m.peakGrowthKb, m.outcome.substr(0, 110).c_str());
            if (file.loads) {
                EXPECT_EQ(m.outcome, "ok") << caller << " " << file.name;
            } else {
                EXPECT_EQ(m.outcome.rfind("error|" + file.path + "|", 0), 0u) << caller << " " << m.outcome;
                // The message shown to the user names the file as well.
                EXPECT_NE(m.outcome.find("|" + file.path + ": "), std::string::npos) << caller << " " << m.outcome;
            }
            EXPECT_GE(m.cpuSeconds, 0) << caller << " " << file.name;
            EXPECT_LT(m.cpuSeconds, damaged::kMaxSeconds * testing::kSanitizerSlowdown) << caller << " " << file.name;
            // A hang costs no processor time: the clock guards against it, loosely for a loaded machine.
            EXPECT_LT(m.seconds, 10 * damaged::kMaxSeconds * testing::kSanitizerSlowdown) << caller << " " << file.name;
            EXPECT_GE(m.peakGrowthKb, 0) << caller << " " << file.name;
            EXPECT_LT(m.peakGrowthKb, damaged::kMaxPeakMegabytes * 1024) << caller << " " << file.name;
        }
    }

    static std::string folder_;
    static std::string good_;
    static std::vector<DamagedFile> corpus_;
};

std::string DamagedCallers::folder_;
std::string DamagedCallers::good_;
std::vector<DamagedFile> DamagedCallers::corpus_;

TEST_F(DamagedCallers, Load) {
    CheckEveryFile("load", [](const DamagedFile& file) {
        Picture target(3, 2);
        target.fill(0x00010203);
        const Picture before = target;
        const Status status = LoadPicture(file.path, target);
        // A failed load leaves the caller's picture as it was.
        if (!status.ok() && !(target == before)) return std::string("target changed");
        return Outcome(status);
    });
}

TEST_F(DamagedCallers, Preview) {
    CheckEveryFile("preview", [](const DamagedFile& file) {
        int shown = 0;
        ShowSource job([&](const ShowSourceResult&) { ++shown; });
        const Status damagedStatus = RunJob(job, ShowSourceRequest{file.path, 90, 800, 600, 1});
        // The worker serves the next request as if nothing had happened.
        const Status next = RunJob(job, ShowSourceRequest{good_, 0, 800, 600, 1});
        if (!next.ok() || shown != 2) return "next request: " + Outcome(next) + " shown " + std::to_string(shown);
        return Outcome(damagedStatus);
    });
}

TEST_F(DamagedCallers, FirstAndLast) {
    CheckEveryFile("first/last", [](const DamagedFile& file) {
        int shown = 0;
        ShowFirstLast job([&](const FirstLastResult&) { ++shown; });
        FirstLastRequest request;
        request.FirstFramePath = file.path;
        request.LastFramePath = good_;
        request.area = {0, 0, 30, 20};
        request.viewWidth = request.displayMaxWidth = 400;
        request.viewHeight = request.displayMaxHeight = 300;
        const Status damagedStatus = RunJob(job, request);
        request.FirstFramePath = good_;
        const Status next = RunJob(job, request);
        if (!next.ok()) return "next request: " + Outcome(next);
        return Outcome(damagedStatus);
    });
}

TEST_F(DamagedCallers, TunedView) {
    CheckEveryFile("tuned view", [](const DamagedFile& file) {
        TunePicture job([](const TuneResult&) {});
        TuneRequest request;
        request.TuneFramePath = good_;
        request.TuneInterlacePath = file.path;
        request.MainTuneParams.CropWidth = request.InterlaceTuneParams.CropWidth = 40;
        request.MainTuneParams.CropHeight = request.InterlaceTuneParams.CropHeight = 30;
        request.viewWidth = 300;
        request.viewHeight = 200;
        const Status interlaced = RunJob(job, request);
        request.TuneFramePath = file.path;
        request.TuneInterlacePath.clear();
        const Status plain = RunJob(job, request);
        if (Outcome(interlaced) != Outcome(plain)) return "interlaced: " + Outcome(interlaced);
        request.TuneFramePath = good_;
        const Status next = RunJob(job, request);
        if (!next.ok()) return "next request: " + Outcome(next);
        return Outcome(plain);
    });
}

void CheckExport(bool pipelined,
                 const std::function<void(const char*, const std::function<std::string(const DamagedFile&)>&)>& check,
                 const std::string& good, const std::string& folder) {
    check(pipelined ? "export" : "export 1x1", [&](const DamagedFile& file) {
        const std::string out = folder + "/out-" + std::to_string(getpid());
        std::filesystem::remove_all(out);
        std::filesystem::create_directories(out);
        // A crop, a size, PNG frames into out.
        auto plan = std::make_shared<ExportPlan>();
        plan->frames = {{good}, {file.path}, {good}};
        plan->cropWidth = plan->outputWidth = 40;
        plan->cropHeight = plan->outputHeight = 30;
        plan->typeIndex = 1;
        plan->directory = out;
        Host host;
        auto session = std::make_shared<ExportSession>(host, plan);
        ExportPicture worker(session, {}, ExportOptions{pipelined});
        worker.Start();
        const ExportOutcome outcome = worker.Wait();
        const Status& status = outcome.failure;
        // The frame before the damaged one stays; nothing claims success.
        const bool firstKept = std::filesystem::exists(out + "/0001.png");
        const bool thirdWritten = std::filesystem::exists(out + "/0003.png");
        std::filesystem::remove_all(out);
        if (file.loads) {
            if (!outcome.succeeded() || !host.ended || !thirdWritten)
                return std::string("export of a whole file failed");
            return std::string("ok");
        }
        // The frame before the damaged one stays and is counted; the page would list it alone.
        if (!firstKept || thirdWritten || outcome.end != ExportOutcome::End::Failed || outcome.written != 1 ||
            !host.ended)
            return "first kept " + std::to_string(firstKept) + ", third written " + std::to_string(thirdWritten) +
                   ", written " + std::to_string(outcome.written) + ", " + Outcome(status);
        return Outcome(status);
    });
}

TEST_F(DamagedCallers, Export) {
    CheckExport(
        true, [this](const char* caller, const auto& call) { CheckEveryFile(caller, call); }, good_, folder_);
}

TEST_F(DamagedCallers, ExportOneFrameAtATime) {
    CheckExport(
        false, [this](const char* caller, const auto& call) { CheckEveryFile(caller, call); }, good_, folder_);
}

// Real progressive files have about ten scans; past a hundred each further one is a pass over
// every block for nothing but the decoder's time.
TEST(DamagedJpeg, ScansBeyondAHundredAreRefused) {
    const std::string folder = std::filesystem::temp_directory_path() / ("scans-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    for (const int scans : {100, 101}) {
        const std::vector<std::uint8_t> bytes = damaged::ProgressiveJpeg(64, 48, scans);
        const std::string path = folder + "/" + std::to_string(scans) + ".jpg";
        std::FILE* out = std::fopen(path.c_str(), "wb");
        ASSERT_TRUE(out);
        std::fwrite(bytes.data(), 1, bytes.size(), out);
        std::fclose(out);
        Picture picture;
        const Status status = LoadPicture(path, picture);
        // The reduced-scale decoder the alignment reads with holds the same limit.
        Picture scaled;
        const Status scaledStatus = DecodeJpegScaled(bytes, path, 2, scaled);
        if (scans == 100) {
            ASSERT_TRUE(status.ok()) << status.message();
            EXPECT_EQ(picture.width(), 64);
            EXPECT_NEAR(picture.pixel(10, 10)[0], 128, 2);
            ASSERT_TRUE(scaledStatus.ok()) << scaledStatus.message();
            EXPECT_EQ(scaled.width(), 32);
        } else {
            EXPECT_EQ(status.reason(), "damaged or hostile JPEG file (more than 100 scans)");
            EXPECT_EQ(scaledStatus.reason(), "damaged or hostile JPEG file (more than 100 scans)");
        }
    }
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace turnlet
