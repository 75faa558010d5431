// SPDX-License-Identifier: MIT
// The videos of one turn: an MP4 by FFmpeg and an animated WebP from the written frames, with
// progress, Stop, and FFmpeg missing or failing.
#include <gtest/gtest.h>
#include <webp/demux.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "codecs/image_files.h"
#include "export/export_engine.h"
#include "export/turn_video.h"
#include "export_test_support.h"

namespace turnlet {
namespace {

using testing::EvenPlan;
using testing::FakeObserver;
using testing::FreshTempDir;

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// n frames of width x height, each a different flat grey with a dark bar where the turn has got to.
std::vector<std::string> Frames(const std::filesystem::path& dir, int n, int width, int height) {
    std::vector<std::string> paths;
    for (int k = 0; k < n; ++k) {
        Picture p(width, height);
        p.fill(static_cast<Color>(0x00404040 + 0x00101010 * k));
        for (int y = 0; y < height; ++y) std::fill_n(p.pixel(k * width / n, y), 3 * std::max(1, width / n), 20);
        paths.push_back((dir / ("f" + std::to_string(k) + ".png")).string());
        EXPECT_TRUE(SavePicture(p, paths.back(), 90).ok());
    }
    return paths;
}

bool Never(int, int) {
    return true;
}

struct AnimatedWebp {
    int width = 0, height = 0, frames = 0, loops = -1, lastTimestamp = 0;
};
AnimatedWebp ReadAnimation(const std::string& path) {
    const std::string bytes = ReadAll(path);
    const WebPData data{reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
    WebPAnimDecoder* decoder = WebPAnimDecoderNew(&data, nullptr);
    AnimatedWebp out;
    WebPAnimInfo info;
    if (!decoder || !WebPAnimDecoderGetInfo(decoder, &info)) return out;
    out.width = static_cast<int>(info.canvas_width);
    out.height = static_cast<int>(info.canvas_height);
    out.loops = static_cast<int>(info.loop_count);
    std::uint8_t* canvas = nullptr;
    while (WebPAnimDecoderHasMoreFrames(decoder) && WebPAnimDecoderGetNext(decoder, &canvas, &out.lastTimestamp))
        ++out.frames;
    WebPAnimDecoderDelete(decoder);
    return out;
}

// Both videos of a short turn of odd size: one turn long, every frame in, progress to the end.
TEST(TurnVideo, OneTurnAsMp4AndAnimatedWebp) {
    const std::filesystem::path dir = FreshTempDir("clip");
    TurnVideo video;
    video.frames = Frames(dir, 6, 65, 49);
    video.turnSeconds = 1.5;
    std::vector<int> steps;
    const VideoStep step = [&](int done, int total) {
        EXPECT_EQ(total, 6);
        steps.push_back(done);
        return true;
    };
    bool stopped = true;
    video.output = (dir / kTurnMp4Name).string();
    const Status mp4 = WriteTurnMp4(video, step, stopped);
    ASSERT_TRUE(mp4.ok()) << mp4.message();
    EXPECT_FALSE(stopped);
    EXPECT_EQ(steps, (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));
    const std::string file = ReadAll(video.output);
    EXPECT_EQ(file.substr(4, 4), "ftyp");
    // H.264, and the index ahead of the data so that playing starts at once.
    EXPECT_NE(file.find("avc1"), std::string::npos);
    EXPECT_LT(file.find("moov"), file.find("mdat"));
    EXPECT_FALSE(std::filesystem::exists(video.output + ".part"));

    steps.clear();
    video.output = (dir / kTurnWebpName).string();
    const Status webp = WriteTurnWebp(video, step, stopped);
    ASSERT_TRUE(webp.ok()) << webp.message();
    EXPECT_EQ(steps, (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));
    const AnimatedWebp animation = ReadAnimation(video.output);
    EXPECT_EQ(animation.width, 65);
    EXPECT_EQ(animation.height, 49);
    EXPECT_EQ(animation.frames, 6);
    EXPECT_EQ(animation.loops, 0);  // for ever
    EXPECT_EQ(animation.lastTimestamp, 1500);
    // Its first frame is what a WebP source gives.
    Picture first, expected;
    ASSERT_TRUE(LoadPicture(video.output, first).ok());
    ASSERT_TRUE(LoadPicture(video.frames[0], expected).ok());
    EXPECT_NEAR(first.pixel(40, 20)[1], expected.pixel(40, 20)[1], 4);
}

TEST(TurnVideo, Mp4ArgumentsRawFramesInEvenSidedH264Out) {
    const std::vector<std::string> arguments = TurnMp4Arguments(65, 49, 9, "/out/turn.mp4.part");
    const std::string joined = [&] {
        std::string all;
        for (const std::string& a : arguments) all += a + " ";
        return all;
    }();
    EXPECT_NE(joined.find("-f rawvideo -pixel_format bgr24 -video_size 65x49 -framerate 9 -i pipe:0"),
              std::string::npos);
    EXPECT_NE(joined.find("-c:v libx264"), std::string::npos);
    EXPECT_NE(joined.find("-pix_fmt yuv420p"), std::string::npos);
    EXPECT_EQ(arguments.back(), "/out/turn.mp4.part");  // one argument, whatever the path holds
}

// Stopped at any frame, neither video leaves a file; a complete video of an earlier export stays.
TEST(TurnVideo, StopLeavesNoPartAndKeepsTheEarlierVideo) {
    const std::filesystem::path dir = FreshTempDir("stop");
    TurnVideo video;
    video.frames = Frames(dir, 5, 32, 24);
    for (const char* name : {kTurnMp4Name, kTurnWebpName}) {
        video.output = (dir / name).string();
        std::ofstream(video.output) << "earlier";
        for (int at : {0, 3}) {
            bool stopped = false;
            const VideoStep step = [&](int done, int) { return done < at; };
            const bool mp4 = std::string(name) == kTurnMp4Name;
            const Status status = mp4 ? WriteTurnMp4(video, step, stopped) : WriteTurnWebp(video, step, stopped);
            EXPECT_TRUE(status.ok()) << status.message();
            EXPECT_TRUE(stopped) << name << " " << at;
            EXPECT_EQ(ReadAll(video.output), "earlier") << name;
            EXPECT_FALSE(std::filesystem::exists(video.output + ".part")) << name;
        }
    }
}

// FFmpeg missing or failing: the message says so (with FFmpeg's own last words), nothing is left,
// and a program that stops reading its input does not take this one down.
TEST(TurnVideo, FfmpegMissingOrFailingIsNamed) {
    const std::filesystem::path dir = FreshTempDir("ffmpeg");
    TurnVideo video;
    video.frames = Frames(dir, 3, 32, 24);
    video.output = (dir / kTurnMp4Name).string();
    struct Case {
        std::string program;
        const char* says;
    };
    const Case cases[] = {{(dir / "no-such-ffmpeg").string(), "needs FFmpeg"},
                          {"/bin/false", "FFmpeg failed (exit status 1)"},
                          {"/bin/true", "FFmpeg failed"}};
    for (const Case& c : cases) {
        video.ffmpegPath = c.program;
        bool stopped = false;
        const Status status = WriteTurnMp4(video, Never, stopped);
        EXPECT_FALSE(status.ok()) << c.program;
        EXPECT_EQ(status.file(), video.output);
        EXPECT_NE(status.message().find(c.says), std::string::npos) << status.message();
        EXPECT_FALSE(std::filesystem::exists(video.output)) << c.program;
        EXPECT_FALSE(std::filesystem::exists(video.output + ".part")) << c.program;
    }
}

// In an export: the videos come after every frame, their progress shows, a missing FFmpeg fails the
// MP4 alone, and Stop during a video ends the export as stopped with every frame kept.
TEST(TurnVideo, ExportMakesThemAfterTheFramesAndHonoursStop) {
    const std::filesystem::path dir = FreshTempDir("src");
    const std::vector<std::string> sources = Frames(dir, 3, 64, 48);
    ExportPlan plan = EvenPlan(sources, 4, FreshTempDir("out").string());
    plan.outputWidth = 40;
    plan.outputHeight = 30;
    plan.videoMp4 = true;
    plan.animatedWebp = true;
    plan.ffmpegPath = (dir / "no-such-ffmpeg").string();
    FakeObserver host;
    const ExportOutcome outcome = testing::RunPlan(host, plan);
    EXPECT_EQ(outcome.end, ExportOutcome::End::Finished);
    EXPECT_EQ(outcome.written, 4);
    EXPECT_FALSE(outcome.succeeded());
    EXPECT_NE(outcome.videoFailure.message().find("needs FFmpeg"), std::string::npos);
    EXPECT_EQ(outcome.videos, std::vector<std::string>{plan.directory + "/" + kTurnWebpName});
    // Frames 1 and 2 show the same source: the animation holds it once, twice as long.
    EXPECT_EQ(ReadAnimation(plan.directory + "/" + kTurnWebpName).lastTimestamp, 8000);
    const auto firstVideo = std::find(host.events.begin(), host.events.end(), "video turn.webp 0/4");
    ASSERT_NE(firstVideo, host.events.end());
    EXPECT_EQ(std::count(host.events.begin(), firstVideo, "progress 4"), 1);  // every frame handed out first
    EXPECT_NE(std::find(firstVideo, host.events.end(), "ended 4/4"), host.events.end());

    plan.directory = FreshTempDir("stopped").string();
    plan.ffmpegPath.clear();
    FakeObserver stopper;
    auto session = std::make_shared<ExportSession>(stopper, std::make_shared<const ExportPlan>(plan));
    stopper.onVideoStep = [&](const std::string& name, int done) {
        if (name == kTurnMp4Name && done == 2) session->Stop();
    };
    ExportPicture worker(session, {});
    worker.Start();
    const ExportOutcome stopped = worker.Wait();
    EXPECT_EQ(stopped.end, ExportOutcome::End::Stopped);
    EXPECT_EQ(stopped.written, 4);
    EXPECT_FALSE(stopped.videoFailure.ok());
    EXPECT_FALSE(std::filesystem::exists(plan.directory + "/" + kTurnMp4Name));
    EXPECT_FALSE(std::filesystem::exists(plan.directory + "/" + kTurnWebpName));  // not started after Stop
    EXPECT_TRUE(std::filesystem::exists(plan.directory + "/0004.png"));
}

}  // namespace
}  // namespace turnlet
