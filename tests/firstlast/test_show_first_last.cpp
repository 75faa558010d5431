// SPDX-License-Identifier: MIT
// The first/last comparison job: which sides are reloaded, the weave, files that cannot be read, threads.
#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "../imaging/pixel_test_util.h"
#include "firstlast/show_first_last.h"
#include "imaging/geometry.h"
#include "imaging/image_files.h"
#include "owner_thread.h"
#include "temp_folder.h"

namespace turnlet {
namespace {

using testing::TempFolder;

struct Shown {
    bool first = false, last = false;
    int firstW = 0, firstH = 0, lastW = 0, lastH = 0;
    Picture firstDisplay, lastDisplay, interlaced;
};

class FirstLastJob : public ::testing::Test {
  protected:
    FirstLastJob()
        : job([this](const FirstLastResult& r) {
              shown.push_back({r.firstReloaded, r.lastReloaded, r.firstWidth, r.firstHeight, r.lastWidth, r.lastHeight,
                               r.firstDisplay, r.lastDisplay, r.interlaced});
          }),
          worker([this](const FirstLastRequest& request, Worker& w) { return job(request, w); }, {},
                 [this](const Status& status) {
                     std::lock_guard lock(mutex);
                     statuses.push_back(status);
                     reported.notify_all();
                 }) {}

    Status Run(FirstLastRequest request) {
        EXPECT_TRUE(worker.tryWake(std::move(request)));
        std::unique_lock lock(mutex);
        reported.wait(lock, [&] { return statuses.size() > runs; });
        ++runs;
        return statuses.back();
    }

    std::string Save(const std::string& name, const Picture& picture) {
        const std::string file = folder.file(name);
        EXPECT_TRUE(SavePicture(picture, file, 90).ok());
        return file;
    }

    TempFolder folder;
    std::vector<Shown> shown;
    std::mutex mutex;
    std::condition_variable reported;
    std::vector<Status> statuses;
    std::size_t runs = 0;
    ShowFirstLast job;
    RequestWorker<FirstLastRequest> worker;
};

Picture TurnedCropOf(const Picture& p, int degrees, int left, int top, int width, int height) {
    Picture turned, cropped;
    RotateQuarter(p, turned, degrees);
    CropPicture(turned, cropped, left, top, width, height);
    return cropped;
}

TEST_F(FirstLastJob, ShowsBothSidesCroppedAndWeavesLastOnEvenRows) {
    std::mt19937 rng(3);
    const Picture a = testing::RandomPicture(60, 40, rng), b = testing::RandomPicture(60, 40, rng);
    const std::string fa = Save("a.png", a), fb = Save("b.bmp", b);
    FirstLastRequest r{fa, fb, 90, {5, 10, 20, 20}, 10, 10, 0, 0};
    ASSERT_TRUE(Run(r).ok());
    ASSERT_EQ(shown.size(), 1u);
    const Shown& s = shown[0];
    EXPECT_TRUE(s.first && s.last);
    EXPECT_EQ(s.firstW, 20);
    EXPECT_EQ(s.lastH, 20);
    const Picture ca = TurnedCropOf(a, 90, 5, 10, 20, 20), cb = TurnedCropOf(b, 90, 5, 10, 20, 20);
    EXPECT_TRUE(s.firstDisplay == ca);  // no bound: the display copy is the picture itself
    EXPECT_TRUE(s.lastDisplay == cb);
    Picture woven(10, 10);
    Picture second = cb;
    InterlacePictures(ca, second, woven);
    ASSERT_TRUE(s.interlaced == woven);
    EXPECT_EQ(testing::PixelAt(s.interlaced, 3, 0), testing::PixelAt(cb, 6, 0));  // row 0 from the last frame
    EXPECT_EQ(testing::PixelAt(s.interlaced, 3, 1), testing::PixelAt(ca, 6, 2));

    // The fit of the first picture into the view; display copies reduced to their bound.
    r.area = {-1, 0, 0, 0};  // no crop: 40 x 60 after the turn
    r.viewWidth = 400;
    r.viewHeight = 300;
    r.displayMaxWidth = r.displayMaxHeight = 20;
    ASSERT_TRUE(Run(r).ok());
    EXPECT_EQ(shown[1].firstW, 40);
    EXPECT_EQ(shown[1].firstH, 60);
    EXPECT_EQ(shown[1].interlaced.width(), 200);
    EXPECT_EQ(shown[1].interlaced.height(), 300);
    EXPECT_EQ(shown[1].firstDisplay.width(), 13);  // reduced by 3
}

TEST_F(FirstLastJob, OneSideReloadsAndTheOtherIsWovenAsLastMade) {
    std::mt19937 rng(4);
    const Picture a = testing::RandomPicture(30, 20, rng), b = testing::RandomPicture(30, 20, rng);
    const Picture c = testing::RandomPicture(40, 25, rng);  // another size
    const std::string fa = Save("a.png", a), fb = Save("b.png", b), fc = Save("c.png", c);
    ASSERT_TRUE(Run({fa, fb, 0, {0, 0, 30, 20}, 30, 20}).ok());
    ASSERT_TRUE(Run({"", fc, 0, {0, 0, 30, 20}, 30, 20}).ok());
    const Shown& s = shown.back();
    EXPECT_FALSE(s.first);
    EXPECT_TRUE(s.last);
    // The stored first picture, with the new last one brought to its size.
    Picture expectedLast = TurnedCropOf(c, 0, 0, 0, 30, 20);
    EXPECT_TRUE(s.lastDisplay == expectedLast);
    Picture woven(30, 20);
    InterlacePictures(TurnedCropOf(a, 0, 0, 0, 30, 20), expectedLast, woven);
    EXPECT_TRUE(s.interlaced == woven);

    // A larger first picture: the last one (30 x 20) is extended to it before its view gets it.
    ASSERT_TRUE(Run({fc, "", 0, {-1, -1, -1, -1}, 40, 25}).ok());
    ASSERT_TRUE(Run({"", fb, 0, {-1, -1, -1, -1}, 40, 25}).ok());
    EXPECT_EQ(shown.back().lastW, 40);
    EXPECT_EQ(shown.back().lastH, 25);
    EXPECT_EQ(testing::PixelAt(shown.back().lastDisplay, 29, 19), testing::PixelAt(b, 29, 19));

    EXPECT_TRUE(Run({}).ok());  // no path: nothing shown
    EXPECT_EQ(shown.size(), 4u);
}

TEST_F(FirstLastJob, AFileThatCannotBeReadIsNamedAndItsSideKeepsItsPicture) {
    std::mt19937 rng(5);
    const Picture a = testing::RandomPicture(20, 20, rng), b = testing::RandomPicture(20, 20, rng);
    const std::string fa = Save("a.png", a), fb = Save("b.png", b);
    const std::string damaged = folder.file("damaged.jpg");
    testing::WriteBytes(damaged, "\xFF\xD8\xFF\xE0 not a JPEG");
    const std::string text = folder.file("notes.txt");
    testing::WriteBytes(text, "hello");

    // Before anything was loaded: nothing to weave, no failure beyond the file's.
    const Status missing = Run({folder.file("missing.png"), fb, 0, {0, 0, 20, 20}, 20, 20});
    EXPECT_EQ(missing.file(), folder.file("missing.png"));
    EXPECT_TRUE(shown.back().interlaced.empty());
    EXPECT_TRUE(shown.back().lastDisplay == b);  // the last picture is kept as loaded

    ASSERT_TRUE(Run({fa, fb, 0, {0, 0, 20, 20}, 20, 20}).ok());
    const Status bad = Run({damaged, "", 0, {0, 0, 20, 20}, 20, 20});
    EXPECT_FALSE(bad.ok());
    EXPECT_NE(bad.message().find("damaged.jpg"), std::string::npos);
    EXPECT_TRUE(shown.back().firstDisplay == a);
    EXPECT_EQ(Run({"", text, 0, {0, 0, 20, 20}, 20, 20}).code(), Status::Code::WrongFileType);
    EXPECT_TRUE(shown.back().lastDisplay == b);
    EXPECT_TRUE(Run({fb, fa, 0, {0, 0, 20, 20}, 20, 20}).ok());  // still serving
    EXPECT_TRUE(shown.back().firstDisplay == b);
}

// With a real owner thread: hand-overs run there, and the job's pictures are only read there while
// the worker waits.
TEST(ShowFirstLastThreaded, HandsOverOnTheOwnerThread) {
    TempFolder folder;
    std::mt19937 rng(6);
    const std::string fa = folder.file("a.png"), fb = folder.file("b.png");
    ASSERT_TRUE(SavePicture(testing::RandomPicture(64, 48, rng), fa, 90).ok());
    ASSERT_TRUE(SavePicture(testing::RandomPicture(64, 48, rng), fb, 90).ok());
    testing::OwnerThread owner;
    std::vector<int> widths;  // owner thread only
    std::thread::id presentThread;
    ShowFirstLast job([&](const FirstLastResult& r) {
        widths.push_back(r.interlaced.width());
        presentThread = std::this_thread::get_id();
    });
    auto worker = std::make_unique<RequestWorker<FirstLastRequest>>(
        [&](const FirstLastRequest& request, Worker& w) { return job(request, w); }, owner.poster());
    std::thread::id ownerId;
    owner.Run([&] { ownerId = std::this_thread::get_id(); });
    for (int rotation : {0, 90, 180, 270}) {
        owner.Run([&] {
            ASSERT_TRUE(worker->tryWake({fa, rotation % 180 ? "" : fb, rotation, {4, 4, 30, 20}, 60, 60}));
        });
        worker->waitIdle();
    }
    owner.Run([&] {
        EXPECT_EQ(widths, (std::vector<int>{60, 60, 60, 60}));
        EXPECT_EQ(presentThread, ownerId);
        worker.reset();
    });
}

}  // namespace
}  // namespace turnlet
