// SPDX-License-Identifier: MIT
// Finding one full turn in rendered turntables whose true turn is known: every phase between frames
// and every step from video stills to twenty photographs a turn, and sets that stop short.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <thread>

#include "align/turn_end.h"
#include "align_test_support.h"
#include "codecs/image_files.h"
#include "project/project.h"
#include "temp_folder.h"
#include "tools/sample_scene.h"

namespace turnlet {
namespace {

using testing::TempFolder;

// The tolerance: the suggested last frame lies within this many frames of where the first view
// comes round, less one.
constexpr double kTolerance = 0.75;

struct Turn {
    int width, height, frames;
    double degrees;
    // Where the first view comes round, in frames from the first.
    double returnsAt() const { return 360.0 * frames / degrees; }
};

// The frames of a rendered turn as the search reads them from photographs of that size: drawn at a
// quarter of it (three by three samples a pixel), as the files are decoded at a reduced scale.
std::vector<TurnEndCopy> Copies(const Turn& t) {
    const PixelRect crop = SampleCrop(t.width, t.height);
    std::vector<TurnEndCopy> copies;
    for (int k = 0; k < t.frames; ++k)
        copies.push_back(MakeTurnEndCopy(
            RenderSampleFrame(t.width, t.height, SampleTurnRadians(t.degrees, k, t.frames), k, 4, 3), crop, 4));
    return copies;
}

// What is wrong with the answer for t, empty when it is right. A set that is exactly one turn
// must say so; one a frame or more short of a turn must suggest nothing; otherwise the last frame
// (the set's own for "one turn") must lie within kTolerance of the return less one.
std::string Judge(const Turn& t, const TurnEnd& end, double& error) {
    const double wanted = t.returnsAt() - 1;
    char answer[160];
    std::snprintf(answer, sizeof answer,
                  "%d frames of %dx%d over %g degrees (return at %.2f): %s last %d at %.2f (%.2f, runner-up %d %.2f)",
                  t.frames, t.width, t.height, t.degrees, wanted + 1,
                  end.found ? (end.oneTurn ? "one turn," : "found,") : "nothing,", end.last, end.position,
                  end.confidence, end.runnerUp, end.runnerUpConfidence);
    if (!end.status.ok() || end.cancelled) return std::string(answer) + " failed";
    if (!(end.confidence > 0 && end.confidence <= 1 && end.runnerUpConfidence <= end.confidence &&
          end.confidence + end.runnerUpConfidence <= 1 + 1e-9))
        return std::string(answer) + " confidences out of order";
    if (t.returnsAt() >= t.frames + 1) return end.found ? answer : "";
    if (!end.found) return answer;
    if (t.degrees == 360 && !end.oneTurn) return answer;
    if (end.oneTurn != (end.last == t.frames - 1) || end.repeat != end.last + 1)
        return std::string(answer) + " inconsistent";
    error = std::abs(end.last - wanted);
    return error <= kTolerance ? "" : answer;
}

TEST(TurnEnd, RightAtEveryPhaseAndStep) {
    // Steps from 1.2 to 18 degrees; 1.02 to 3 turns with the return between frames at many phases;
    // exactly one turn; a frame or more short of one.
    struct Row {
        int frames;
        std::vector<double> degrees;
        std::vector<int> heights;  // of 640 pixels wide pictures
    };
    const Row rows[] = {
        {20, {340, 360, 370, 385}, {360, 480}},
        {24, {345, 360, 367, 383, 397, 411, 425}, {360, 480}},
        {36, {350, 360, 367, 395, 430, 500, 560, 640}, {360}},
        {36, {360, 395, 500, 640}, {480}},
        {41, {350, 360, 367, 385, 405, 430, 480, 540, 600, 720}, {360}},
        {41, {360, 395, 450, 720}, {480}},
        {72, {355, 360, 367, 430, 620, 1080}, {360}},
        {72, {360, 800}, {480}},
        {300, {357, 360, 468}, {360}},
    };
    std::vector<Turn> turns;
    for (const Row& row : rows)
        for (int height : row.heights)
            for (double degrees : row.degrees) turns.push_back({640, height, row.frames, degrees});
    // The turns on two threads at once, the search on one each.
    std::vector<std::string> faults(turns.size());
    std::vector<double> errors(turns.size(), 0);
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        for (std::size_t i = next++; i < turns.size(); i = next++)
            faults[i] = Judge(turns[i], FindTurnEndIn(Copies(turns[i]), 1), errors[i]);
    };
    std::thread helper(work);
    work();
    helper.join();
    for (const std::string& fault : faults) EXPECT_EQ(fault, "");
    std::printf("%zu turns, worst error %.2f frames\n", turns.size(), *std::max_element(errors.begin(), errors.end()));
}

TEST(TurnEnd, UnrelatedViewsAndStillSets) {
    const PixelRect whole{0, 0, 240, 180};
    auto copy = [&](const testing::Shake& shake) {
        return MakeTurnEndCopy(testing::ShakenPhoto(240, 180, shake), whole, 1);
    };
    // Frames 1 to 5, 7 and 8 show other parts of a photograph, frame 6 the first view again.
    std::vector<TurnEndCopy> copies;
    for (int i = 0; i < 9; ++i)
        copies.push_back(i == 0 || i == 6 ? copy({i * 0.3, 0, 0, 1}) : copy({300.0 + 170 * i, -120.0 * (i % 3), 0, 1}));
    TurnEnd end = FindTurnEndIn(copies);
    EXPECT_TRUE(end.found && !end.oneTurn);
    EXPECT_EQ(end.last, 5);
    EXPECT_GT(end.confidence, 0.9);
    // From frame 6 on nothing comes round; a set that never turns, or only pans, does not either.
    EXPECT_FALSE(FindTurnEndIn({copies.begin() + 6, copies.end()}).found);
    std::vector<TurnEndCopy> still, pan;
    for (int i = 0; i < 12; ++i) {
        still.push_back(copy({i * 0.7, -i * 0.4, 0.2 * (i % 3), 1}));
        pan.push_back(copy({i * 25.0, 0, 0, 1}));
    }
    EXPECT_FALSE(FindTurnEndIn(still).found);
    EXPECT_FALSE(FindTurnEndIn(pan).found);
    // What a callback throws fails the search with a status instead of ending the program.
    AlignCallbacks throwing;
    throwing.progress = [](int, int) { throw std::runtime_error("progress failed"); };
    end = FindTurnEndIn(copies, 2, throwing);
    EXPECT_FALSE(end.status.ok());
    EXPECT_NE(end.status.message().find("progress failed"), std::string::npos);
}

#ifdef TURNLET_SAMPLE_TOOL
// The frames of a rendered turn written by the sample tool, first to last, with its crop, as the
// editor hands them over.
AlignSettings RenderedTurn(const TempFolder& folder, int frames, int degrees) {
    const std::string command = std::string(TURNLET_SAMPLE_TOOL) + " " + folder.path() + " --frames " +
                                std::to_string(frames) + " --turn-degrees " + std::to_string(degrees) +
                                " --width 320 --height 240 > /dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0);
    Project project;
    EXPECT_TRUE(OpenProject(project, folder.file("sample.trn.prj"), {}).ok());
    AlignSettings settings;
    settings.paths = project.sources;
    settings.crop = SampleCrop(320, 240);
    return settings;
}

TEST(TurnEnd, FindsTheFrameBeforeTheFirstViewComesRoundInFiles) {
    // 100 frames over 1.3 turns come round at 76.9; 40 over 400 degrees at 36; 24 over 360 are one
    // turn; 30 over 300 never come round, nor does a set that just turns a little.
    const int cases[][2] = {{100, 468}, {40, 400}, {24, 360}, {30, 300}, {12, 60}};
    for (const auto& c : cases) {
        TempFolder folder;
        ASSERT_TRUE(folder.ok());
        const Turn turn{320, 240, c[0], static_cast<double>(c[1])};
        double error = 0;
        EXPECT_EQ(Judge(turn, FindTurnEnd(RenderedTurn(folder, c[0], c[1])), error), "");
    }
}
#endif

TEST(TurnEnd, FailuresStopsAndShortListsSuggestNothing) {
    TempFolder folder;
    ASSERT_TRUE(folder.ok());
    AlignSettings settings;
    for (int k = 0; k < 6; ++k) {
        settings.paths.push_back(folder.file(std::to_string(k) + ".png"));
        ASSERT_TRUE(SavePicture(testing::ShakenPhoto(160, 120, {k * 30.0, 0, 0, 1}), settings.paths.back(), 90).ok());
    }
    // Stopped before any work: cancelled, nothing found.
    AlignCallbacks stop;
    stop.stopping = [] { return true; };
    TurnEnd end = FindTurnEnd(settings, stop);
    EXPECT_TRUE(end.cancelled);
    EXPECT_FALSE(end.found);
    // Two pictures are no turn at all.
    AlignSettings two = settings;
    two.paths.resize(2);
    end = FindTurnEnd(two);
    EXPECT_TRUE(end.status.ok());
    EXPECT_FALSE(end.found);
    // A source that cannot be read fails the search, naming it.
    settings.paths[3] = folder.file("missing.jpg");
    end = FindTurnEnd(settings);
    EXPECT_FALSE(end.status.ok());
    EXPECT_NE(end.status.message().find("missing.jpg"), std::string::npos);
    EXPECT_FALSE(end.found);
}

}  // namespace
}  // namespace turnlet
