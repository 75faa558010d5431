// SPDX-License-Identifier: MIT
// The source preview job: turned sizes, display copies, files that cannot be read, stopping mid-request.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "codecs/image_files.h"
#include "owner_thread.h"
#include "source/show_source.h"
#include "temp_folder.h"

namespace turnlet {
namespace {

using testing::OwnerThread;
using testing::TempFolder;

struct Shown {
    std::string path;
    int width = 0, height = 0;
    Picture display;
};

// A picture whose top-left pixel is marked, so turns can be told apart.
Picture Marked(int width, int height) {
    Picture p(width, height);
    p.fill(0x00000000);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) p.pixel(x, y)[2] = 255;  // red corner block
    return p;
}

// The job on a worker without an owner thread: hand-overs run in place.
class ShowSourceInPlace : public ::testing::Test {
  protected:
    ShowSourceInPlace()
        : job([this](const ShowSourceResult& r) {
              shown.push_back({r.request.path, r.width, r.height, r.display});
          }),
          worker([this](const ShowSourceRequest& request, Worker& w) { return job(request, w); }, {},
                 [this](const Status& status) {
                     std::lock_guard lock(mutex);
                     statuses.push_back(status);
                     reported.notify_all();
                 }) {}

    // One request; returns its status once the worker has reported it.
    Status Run(ShowSourceRequest request) {
        EXPECT_TRUE(worker.tryWake(std::move(request)));
        std::unique_lock lock(mutex);
        reported.wait(lock, [&] { return statuses.size() > runs; });
        ++runs;
        return statuses.back();
    }

    TempFolder folder;
    std::vector<Shown> shown;  // written by hand-overs, read after waitIdle
    std::mutex mutex;
    std::condition_variable reported;
    std::vector<Status> statuses;
    std::size_t runs = 0;
    ShowSource job;
    RequestWorker<ShowSourceRequest> worker;
};

TEST_F(ShowSourceInPlace, TurnsTheSizeAndTheDisplayCopy) {
    const std::string file = folder.file("a.bmp");
    ASSERT_TRUE(SavePicture(Marked(400, 300), file, 90).ok());
    struct Case {
        int rotation, width, height, displayW, displayH;
        int markX, markY;  // where the marked corner lands in the display copy
    };
    const Case cases[] = {
        {0, 400, 300, 100, 75, 0, 0},
        {90, 300, 400, 75, 100, 74, 0},
        {180, 400, 300, 100, 75, 99, 74},
        {270, 300, 400, 75, 100, 0, 99},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rotation);
        shown.clear();
        EXPECT_TRUE(Run({file, c.rotation, 100, 100}).ok());
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].path, file);
        EXPECT_EQ(shown[0].width, c.width);
        EXPECT_EQ(shown[0].height, c.height);
        ASSERT_EQ(shown[0].display.width(), c.displayW);
        ASSERT_EQ(shown[0].display.height(), c.displayH);
        EXPECT_EQ(shown[0].display.pixel(c.markX, c.markY)[2], 255);
        EXPECT_EQ(shown[0].display.pixel(c.displayW / 2, c.displayH / 2)[2], 0);
    }
}

TEST_F(ShowSourceInPlace, UnreadableFilesAreReportedAndThePreviousImageIsShownAgain) {
    const std::string good = folder.file("good.png");
    ASSERT_TRUE(SavePicture(Marked(40, 30), good, 90).ok());
    const std::string damaged = folder.file("damaged.jpg");
    testing::WriteBytes(damaged, "\xFF\xD8\xFF\xE0 not really a JPEG");
    const std::string folderNamedJpg = folder.file("photos.jpg");
    std::filesystem::create_directory(folderNamedJpg);
    const std::string text = folder.file("notes.txt");
    testing::WriteBytes(text, "hello");

    const Status missingFirst = Run({folder.file("missing.jpg"), 0, 0, 0});
    EXPECT_FALSE(missingFirst.ok());
    EXPECT_NE(missingFirst.message().find("missing.jpg"), std::string::npos);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].width, 0);  // nothing loaded yet: an empty preview
    EXPECT_TRUE(shown[0].display.empty());

    EXPECT_TRUE(Run({good, 0, 0, 0}).ok());
    for (const std::string& bad : {damaged, folderNamedJpg, text}) {
        SCOPED_TRACE(bad);
        const Status status = Run({bad, 90, 0, 0});
        EXPECT_FALSE(status.ok());
        EXPECT_EQ(status.file(), bad);
        // The previous image, turned by the rotation of this request.
        EXPECT_EQ(shown.back().path, bad);
        EXPECT_EQ(shown.back().width, 30);
        EXPECT_EQ(shown.back().height, 40);
    }
    EXPECT_EQ(Run({text, 0, 0, 0}).code(), Status::Code::WrongFileType);
    EXPECT_TRUE(Run({good, 0, 0, 0}).ok());  // still serving
    EXPECT_EQ(shown.back().width, 40);
}

TEST_F(ShowSourceInPlace, AnEmptyPathDoesNothing) {
    EXPECT_TRUE(Run({}).ok());
    EXPECT_TRUE(shown.empty());
}

// With a real owner thread: results arrive there, one request at a time, and a stop while a request
// is in progress ends the worker without waiting for its hand-over.
TEST(ShowSourceThreaded, HandsOverOnTheOwnerThreadAndStopsMidRequest) {
    TempFolder folder;
    const std::string file = folder.file("a.jpg");
    ASSERT_TRUE(SavePicture(Marked(64, 48), file, 90).ok());
    OwnerThread owner;
    std::vector<int> widths;  // owner thread only
    std::thread::id presentThread;
    ShowSource job([&](const ShowSourceResult& r) {
        widths.push_back(r.width);
        presentThread = std::this_thread::get_id();
    });
    auto worker = std::make_unique<RequestWorker<ShowSourceRequest>>(
        [&](const ShowSourceRequest& request, Worker& w) { return job(request, w); }, owner.poster());
    std::thread::id ownerId;
    owner.Run([&] { ownerId = std::this_thread::get_id(); });
    for (int rotation : {0, 90, 180, 270}) {
        owner.Run([&] { ASSERT_TRUE(worker->tryWake({file, rotation, 32, 32})); });
        worker->waitIdle();
    }
    owner.Run([&] {
        EXPECT_EQ(widths, (std::vector<int>{64, 48, 64, 48}));
        EXPECT_EQ(presentThread, ownerId);
    });

    // Hold the next request before its load, stop, and destroy from the owner thread.
    std::promise<void> entered;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    job.setBeforeLoad([&](const std::string&) {
        entered.set_value();
        released.wait();
    });
    owner.Run([&] { ASSERT_TRUE(worker->tryWake({file, 0, 32, 32})); });
    entered.get_future().wait();
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        release.set_value();
    });
    owner.Run([&] {
        worker->stop();
        worker.reset();  // joins; the request ends without handing over
    });
    releaser.join();
    owner.Run([&] { EXPECT_EQ(widths.size(), 4u); });
}

}  // namespace
}  // namespace turnlet
