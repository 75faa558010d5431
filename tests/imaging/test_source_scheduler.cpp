// SPDX-License-Identifier: MIT
// Sources decoded ahead in part: the frames rendered from them equal those from whole decodes, parts
// that no longer hold a frame are decoded again, changed files are read again, failures are not kept.
#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "render/frame_render.h"
#include "codecs/image_files.h"
#include "render/source_scheduler.h"
#include "pixel_test_util.h"
#include "temp_folder.h"

namespace turnlet {
namespace {

using testing::TempFolder;

// Smooth with fine texture, so that JPEG keeps detail an upsampling slip would change.
void SaveJpeg(const std::string& path, int width, int height, unsigned seed, int quality) {
    std::mt19937 rng(seed);
    Picture p(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* px = p.pixel(x, y);
            px[0] = static_cast<std::uint8_t>(x + seed * 40 + rng() % 30);
            px[1] = static_cast<std::uint8_t>(y * 2 + rng() % 30);
            px[2] = static_cast<std::uint8_t>((x ^ y) + rng() % 30);
        }
    }
    ASSERT_TRUE(SavePicture(p, path, quality).ok()) << path;
}

FrameParams Frame(int rotation, int left, int top, int width, int height, double angle = 0, double scale = 0) {
    FrameParams p;
    p.RotationDegrees = rotation;
    p.CropLeft = left;
    p.CropTop = top;
    p.CropWidth = width;
    p.CropHeight = height;
    p.Angle = angle;
    p.Scale = scale;
    p.OutputWidth = width / 2 + 1;
    p.OutputHeight = height / 3 + 1;
    p.Gamma = 7;
    return p;
}

Picture Whole(const std::string& path, const FrameParams& frame) {
    Picture decoded;
    EXPECT_TRUE(LoadPicture(path, decoded).ok()) << path;
    return RenderFrameFused(decoded, frame);
}

Picture Scheduled(SourceScheduler& scheduler, const std::string& path, const FrameParams& frame,
                  PictureArea* whereOut = nullptr) {
    const Picture* pixels = nullptr;
    PictureArea where;
    const Status status = scheduler.Get(path, frame, pixels, where);
    EXPECT_TRUE(status.ok()) << status.message();
    if (!pixels) return {};
    if (whereOut) *whereOut = where;
    Picture out;
    EXPECT_TRUE(RenderFrameFused(*pixels, where, frame, out));
    return out;
}

// A run of frames over five sources, planned two ahead, with crops that move inside each run so
// that some frames fall outside the part decoded for the plan's first one.
TEST(SourceScheduler, FramesFromPlannedPartsEqualFramesFromWholeDecodes) {
    TempFolder folder;
    std::vector<std::string> paths;
    for (int i = 0; i < 5; ++i) {
        paths.push_back(folder.path() + "/s" + std::to_string(i) + (i == 3 ? ".png" : ".jpg"));
        if (i == 3) {
            std::mt19937 rng(4);
            ASSERT_TRUE(SavePicture(testing::RandomPicture(150, 110, rng), paths.back(), 90).ok());
        } else {
            SaveJpeg(paths.back(), 150 + 7 * i, 110 - 3 * i, i, i % 2 ? 95 : 80);
        }
    }
    std::mt19937 rng(21);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    std::vector<std::vector<FrameParams>> runs(paths.size());
    for (std::size_t s = 0; s < paths.size(); ++s) {
        for (int k = 0; k < 3; ++k) {
            runs[s].push_back(Frame(90 * pick(0, 3), pick(-10, 70), pick(-10, 60), pick(10, 60), pick(10, 50),
                                    pick(-20, 20), pick(-300, 300)));
        }
    }
    SourceScheduler scheduler(2);
    for (std::size_t s = 0; s < paths.size(); ++s) {
        for (std::size_t k = 0; k < runs[s].size(); ++k) {
            std::vector<SourcePlan> plan;
            for (std::size_t ahead = s; ahead < paths.size() && ahead <= s + 2; ++ahead) {
                // The plan of the run in hand starts at the frame in hand; a later frame's crop
                // is not known yet (k + 1 moves it), as when the crop is edited during an export.
                std::vector<FrameParams> frames;
                for (std::size_t j = ahead == s ? k : 0; j < runs[ahead].size(); ++j) frames.push_back(runs[ahead][j]);
                if (ahead == s && k == 1) frames[0].CropLeft -= 15;
                plan.push_back({paths[ahead], frames});
            }
            scheduler.Plan(plan);
            const FrameParams& frame = runs[s][k];
            ASSERT_TRUE(Scheduled(scheduler, paths[s], frame) == Whole(paths[s], frame)) << s << " " << k;
        }
    }
    // Never more than the planned parts and two spare buffers of at most a whole source each.
    EXPECT_LE(scheduler.heldBytes(), std::size_t{5} * 157 * 110 * 3 + (std::size_t{8} << 20));
}

// A part decoded for one frame serves a frame inside it without decoding again, and a frame that
// reaches further gets a new decode that holds it.
TEST(SourceScheduler, APartThatMissesTheFrameIsDecodedAgain) {
    TempFolder folder;
    const std::string path = folder.path() + "/a.jpg";
    SaveJpeg(path, 400, 300, 9, 85);
    SourceScheduler scheduler(2);
    const FrameParams small = Frame(0, 150, 100, 40, 40);
    scheduler.Plan({{path, {small}}});
    PictureArea first;
    ASSERT_TRUE(Scheduled(scheduler, path, small, &first) == Whole(path, small));
    EXPECT_LT(first.area.width, 400);  // decoded in part
    EXPECT_TRUE(first.area.contains(FrameReach(small, 400, 300)));
    const FrameParams wide = Frame(90, 0, 0, 300, 200, 10, -100);
    PictureArea second;
    ASSERT_TRUE(Scheduled(scheduler, path, wide, &second) == Whole(path, wide));
    EXPECT_TRUE(second.area.contains(FrameReach(wide, 400, 300)));
}

// A file rewritten between two frames is read again; a failure is reported at its frame and not
// kept, so the file is tried again once it is back.
TEST(SourceScheduler, ChangedFilesAreReadAgainAndFailuresAreNotKept) {
    TempFolder folder;
    const std::string path = folder.path() + "/a.jpg";
    const std::string missing = folder.path() + "/b.jpg";
    SaveJpeg(path, 120, 90, 1, 90);
    const FrameParams frame = Frame(180, 10, 10, 60, 50, 3);
    SourceScheduler scheduler(2);
    scheduler.Plan({{path, {frame}}, {missing, {frame}}});
    ASSERT_TRUE(Scheduled(scheduler, path, frame) == Whole(path, frame));

    const auto time = std::filesystem::last_write_time(path);
    SaveJpeg(path, 120, 90, 2, 90);
    std::filesystem::last_write_time(path, time + std::chrono::seconds(5));
    ASSERT_TRUE(Scheduled(scheduler, path, frame) == Whole(path, frame));

    const Picture* pixels = nullptr;
    PictureArea where;
    scheduler.Plan({{missing, {frame}}});
    Status status = scheduler.Get(missing, frame, pixels, where);
    EXPECT_FALSE(status.ok());
    EXPECT_EQ(status.file(), missing);
    EXPECT_EQ(pixels, nullptr);
    SaveJpeg(missing, 80, 70, 3, 90);
    ASSERT_TRUE(Scheduled(scheduler, missing, frame) == Whole(missing, frame));
    // A file of no known type says so, every time.
    const std::string text = folder.path() + "/c.txt";
    EXPECT_EQ(scheduler.Get(text, frame, pixels, where).code(), Status::Code::WrongFileType);
    EXPECT_EQ(scheduler.Get(text, frame, pixels, where).code(), Status::Code::WrongFileType);
}

}  // namespace
}  // namespace turnlet
