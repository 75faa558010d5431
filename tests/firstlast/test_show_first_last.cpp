// SPDX-License-Identifier: MIT
// The comparison job on its worker: both sides and the weave handed over on the owner's thread, one
// side reloaded against the kept other side.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "../imaging/pixel_test_util.h"
#include "firstlast/show_first_last.h"
#include "imaging/geometry.h"
#include "codecs/image_files.h"
#include "owner_thread.h"
#include "temp_folder.h"

namespace turnlet {
namespace {

TEST(ShowFirstLastThreaded, WeavesTheKeptSidesOnTheOwnerThread) {
    testing::TempFolder folder;
    std::mt19937 rng(6);
    const Picture a = testing::RandomPicture(64, 48, rng), b = testing::RandomPicture(50, 40, rng);
    const std::string fa = folder.file("a.png"), fb = folder.file("b.png");
    ASSERT_TRUE(SavePicture(a, fa, 90).ok());
    ASSERT_TRUE(SavePicture(b, fb, 90).ok());
    testing::OwnerThread owner;
    std::vector<Picture> woven, lastShown;  // owner thread only
    std::thread::id presentThread;
    ShowFirstLast job([&](const FirstLastResult& r) {
        woven.push_back(r.interlaced);
        if (r.lastReloaded) lastShown.push_back(r.lastDisplay);
        presentThread = std::this_thread::get_id();
    });
    auto worker = std::make_unique<RequestWorker<FirstLastRequest>>(
        [&](const FirstLastRequest& request, Worker& w) { return job(request, w); }, owner.poster());
    auto run = [&](FirstLastRequest request) {
        owner.Run([&] { ASSERT_TRUE(worker->tryWake(request)); });
        worker->waitIdle();
    };
    run({fa, fb, 90, {4, 2, 30, 20}, 60, 60});
    run({"", fb, 0, {4, 2, 30, 20}, 60, 60});  // the last side alone: woven with the kept first one

    Picture turned, first, last;
    RotateQuarter(a, turned, 90);
    CropPicture(turned, first, 4, 2, 30, 20);
    CropPicture(b, last, 4, 2, 30, 20);
    Picture expected(60, 40);  // 30 x 20 fitted into 60 x 60
    InterlacePictures(first, last, expected);
    owner.Run([&] {
        EXPECT_EQ(presentThread, std::this_thread::get_id());
        ASSERT_EQ(woven.size(), 2u);
        EXPECT_TRUE(woven[1] == expected);
        ASSERT_EQ(lastShown.size(), 2u);
        EXPECT_TRUE(lastShown[1] == last);
        worker.reset();
    });
}

}  // namespace
}  // namespace turnlet
