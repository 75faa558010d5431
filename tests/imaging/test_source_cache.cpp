// SPDX-License-Identifier: MIT
// The decoded-source cache: kept while the file is unchanged, turned in place, decoded ahead, failures not kept.
#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "render/frame_render.h"
#include "imaging/geometry.h"
#include "codecs/image_files.h"
#include "render/source_cache.h"
#include "pixel_test_util.h"
#include "temp_folder.h"

namespace turnlet {
namespace {

using testing::TempFolder;

Picture Saved(const std::string& path, int width, int height, unsigned seed) {
    std::mt19937 rng(seed);
    const Picture p = testing::RandomPicture(width, height, rng);
    EXPECT_TRUE(SavePicture(p, path, 90).ok()) << path;
    return p;
}

Picture Cached(SourceCache& cache, const std::string& path, int degrees = 0) {
    const Picture* picture = nullptr;
    const Status status = cache.Get(path, degrees, picture);
    EXPECT_TRUE(status.ok()) << status.message();
    return picture ? *picture : Picture();
}

// Same size and time: the cached picture, even though the bytes changed behind its back (which
// proves it was not decoded again); a new time or a new size: the file's new content.
TEST(SourceCache, KeepsAPictureWhileTheFilesSizeAndTimeAreUnchanged) {
    TempFolder folder;
    const std::string path = folder.file("shot.bmp");
    SourceCache cache;
    const Picture first = Saved(path, 9, 7, 1);
    EXPECT_TRUE(Cached(cache, path) == first);
    const auto time = std::filesystem::last_write_time(path);

    const struct {
        int width;
        int height;
        std::chrono::seconds timeShift;
        bool decodedAgain;
    } steps[] = {{9, 7, std::chrono::seconds(0), false},
                 {9, 7, std::chrono::seconds(5), true},
                 {11, 7, std::chrono::seconds(5), true}};
    Picture expected = first;
    unsigned seed = 2;
    for (const auto& step : steps) {
        const Picture written = Saved(path, step.width, step.height, seed++);
        std::filesystem::last_write_time(path, time + step.timeShift);
        if (step.decodedAgain) expected = written;
        EXPECT_TRUE(Cached(cache, path) == expected) << step.width << " +" << step.timeShift.count() << "s";
    }
}

// Any sequence of turns gives what RotateQuarter gives from the decoded picture, and the fused
// renderer from the turned picture with no turn left equals it from the decoded one.
TEST(SourceCache, TurnsInPlaceAsRotateQuarterWould) {
    TempFolder folder;
    const std::string path = folder.file("shot.png");
    const Picture decoded = Saved(path, 13, 6, 3);
    SourceCache cache;
    FrameParams params;
    params.CropLeft = 2;
    params.CropTop = -1;
    params.CropWidth = 5;
    params.CropHeight = 9;
    params.ShiftX = 1;
    params.Angle = 20;
    params.OutputWidth = 7;
    params.OutputHeight = 4;
    for (int degrees : {90, 270, 0, 180, 180, 90, 0, 45}) {
        Picture expected;
        RotateQuarter(decoded, expected, degrees);
        const Picture turned = Cached(cache, path, degrees);
        ASSERT_TRUE(turned == expected) << degrees;

        FrameParams fromDecoded = params;
        fromDecoded.RotationDegrees = degrees;
        EXPECT_TRUE(RenderFrameFused(turned, params) == RenderFrameFused(decoded, fromDecoded)) << degrees;
    }
}

TEST(SourceCache, DecodesAheadAndHoldsNoMoreThanItsCapacity) {
    TempFolder folder;
    std::vector<std::string> paths;
    std::vector<Picture> pictures;
    for (int i = 0; i < 5; ++i) {
        paths.push_back(folder.file("s" + std::to_string(i) + ".jpg"));
        Saved(paths.back(), 20 + i, 10, 10 + i);
        pictures.emplace_back();
        ASSERT_TRUE(LoadPicture(paths.back(), pictures.back()).ok());
    }
    SourceCache cache(2);
    for (int i = 0; i < 5; ++i) {
        cache.Prefetch(paths[i]);
        if (i + 1 < 5) cache.Prefetch(paths[i + 1]);
        EXPECT_TRUE(Cached(cache, paths[i]) == pictures[i]) << i;
        EXPECT_TRUE(cache.Holds(paths[i]));
        if (i > 0 && i + 1 < 5) {
            EXPECT_TRUE(cache.Holds(paths[i + 1]));
            EXPECT_FALSE(cache.Holds(paths[i - 1]));  // the one ahead took its place
        }
    }
}

TEST(SourceCache, FailuresAreReportedAndNotKept) {
    TempFolder folder;
    SourceCache cache;
    const std::string later = folder.file("later.png");
    const std::string odd = folder.file("photo.jpe");
    const Picture* picture = nullptr;

    cache.Prefetch(later);  // fails in the background
    Status status = cache.Get(later, 0, picture);
    EXPECT_FALSE(status.ok());
    EXPECT_EQ(status.file(), later);
    EXPECT_EQ(picture, nullptr);
    EXPECT_FALSE(cache.Holds(later));

    const Picture written = Saved(later, 4, 4, 7);
    cache.Prefetch(later);
    EXPECT_TRUE(Cached(cache, later) == written);

    status = cache.Get(odd, 90, picture);
    EXPECT_EQ(status.code(), Status::Code::WrongFileType);
    EXPECT_EQ(status.file(), odd);
    EXPECT_FALSE(cache.Holds(odd));

    std::filesystem::remove(later);
    EXPECT_FALSE(cache.Get(later, 0, picture).ok());
}

}  // namespace
}  // namespace turnlet
