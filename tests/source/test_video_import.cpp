// SPDX-License-Identifier: MIT
// The video import's FFmpeg arguments, picture names and the messages that end a run.
#include <gtest/gtest.h>

#include "source/video_import.h"

namespace turnlet {
namespace {

TEST(VideoImport, ArgumentsKeepEveryValueWhole) {
    const std::string video = "/v/clip\"; touch x; \".mp4";
    const std::string folder = "/out dir/a;b";
    EXPECT_EQ(FfmpegArguments(video, folder, 2, false),
              (std::vector<std::string>{"-i", video, "/out dir/a;b/%05d.bmp"}));
    EXPECT_EQ(FfmpegArguments("v.mp4", "/o", 0, true), (std::vector<std::string>{"-y", "-i", "v.mp4", "/o/%05d.jpg"}));
    EXPECT_EQ(PicturePattern("/o", 1), "/o/%05d.png");
}

TEST(VideoImport, PictureNames) {
    struct Case {
        const char* name;
        int type;
        bool expected;
    };
    const Case cases[] = {{"00001.jpg", 0, true},      {"123456.jpg", 0, true}, {"0001.jpg", 0, false},
                          {"00001.png", 0, false},     {"00001.png", 1, true},  {"a0001.bmp", 2, false},
                          {"00001.jpg.part", 0, false}};
    for (const Case& c : cases) EXPECT_EQ(IsExtractedPictureName(c.name, c.type), c.expected) << c.name;
}

TEST(VideoImport, LastLinesSkipProgressAndBlanks) {
    EXPECT_EQ(LastLines("a\nb\r\nframe=1\rframe=2\r\n\n  \nc: No such file\n", 3), "frame=1\nframe=2\nc: No such file");
    EXPECT_EQ(LastLines("", 3), "");
    EXPECT_EQ(LastLines("only", 3), "only");
}

}  // namespace
}  // namespace turnlet
