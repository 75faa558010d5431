// SPDX-License-Identifier: MIT
// Whole sequences aligned against their known camera motion: a rendered turntable and a shaken photograph.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <new>
#include <sstream>
#include <stdexcept>

#include "align/align_keyframes.h"
#include "align/full_size.h"
#include "align/turn_alignment.h"
#include "align/turn_stages.h"
#include "align_test_support.h"
#include "imaging/geometry.h"
#include "render/frame_render.h"
#include "project/project.h"
#include "temp_folder.h"
#include "tuning/frames_table.h"
#include "tuning/tune_params.h"

namespace turnlet {
namespace {

using testing::Correction;
using testing::Shake;
using testing::TempFolder;

struct Errors {
    double rms = 0, worst = 0, worstAngle = 0;
};

Errors Compare(const std::vector<FrameAlignment>& found, const std::vector<Correction>& truth) {
    Errors e;
    double sum = 0;
    for (std::size_t k = 0; k < truth.size(); ++k) {
        const double d = std::hypot(found[k].DX - truth[k].DX, found[k].DY - truth[k].DY);
        sum += d * d;
        e.worst = std::max(e.worst, d);
        e.worstAngle = std::max(e.worstAngle, std::abs(found[k].Angle - truth[k].Angle));
    }
    e.rms = std::sqrt(sum / static_cast<double>(truth.size()));
    return e;
}

// Mean channel value of a frame as the export makes it (before its final resize) with the given
// values, over the middle of the crop where no background is shown.
double ExportedMean(const std::string& path, const CropArea& crop, double dx, double dy, double angle,
                    double brightness) {
    Picture source;
    EXPECT_TRUE(LoadPicture(path, source).ok());
    // In the frames' own number form, as a keyframe holding them would show.
    const KeyframeValues values = {
        FrameNumber(dx), FrameNumber(dy), FrameNumber(angle), 0, FrameNumber(brightness), 0, 0};
    const TuneParams params = TuneParamsFromValues(values, crop, 0xFFFFFF);
    const Picture frame = RenderFrameFused(source, ToFrameParams(params, 0, crop.width, crop.height));
    double sum = 0;
    std::size_t n = 0;
    for (int y = frame.height() / 8; y < frame.height() * 7 / 8; ++y)
        for (int x = frame.width() / 8; x < frame.width() * 7 / 8; ++x, n += 3) {
            const std::uint8_t* p = frame.pixel(x, y);
            sum += p[0] + p[1] + p[2];
        }
    return sum / static_cast<double>(n);
}

TEST(TurnAlignment, ShakenPhotographMeetsTheBounds) {
    TempFolder folder;
    ASSERT_TRUE(folder.ok());
    const int width = 640, height = 480;
    // Shifts up to 40 pixels each way, tilts up to a degree, exposure up to 15 % either way.
    const std::vector<Shake> shakes = {{0, 0, 0, 1},
                                       {38.6, -12.3, 0.8, 1.15},
                                       {-40, 25.5, -0.6, 0.86},
                                       {12.25, 39.7, 0.3, 1.07},
                                       {-22.8, -37.1, -1.0, 0.92},
                                       {31.4, 8.9, 0.55, 1.12}};
    const CropArea crop{80, 60, 480, 360};
    const double centreX = crop.left + crop.width / 2 + 0.5, centreY = crop.top + crop.height / 2 + 0.5;
    AlignSettings settings;
    std::vector<Correction> truth;
    for (std::size_t k = 0; k < shakes.size(); ++k) {
        const std::string path = folder.file("shot" + std::to_string(k) + ".png");
        ASSERT_TRUE(SavePicture(testing::ShakenPhoto(width, height, shakes[k]), path, 95).ok());
        settings.paths.push_back(path);
        truth.push_back(testing::CorrectionFor(shakes[0], shakes[k], width, height, centreX, centreY));
    }
    settings.crop = {crop.left, crop.top, crop.width, crop.height};
    const TurnAlignment result = AlignTurn(settings);
    ASSERT_TRUE(result.status.ok()) << result.status.message();
    for (const FrameAlignment& frame : result.frames) EXPECT_TRUE(frame.aligned) << frame.confidence;
    const Errors e = Compare(result.frames, truth);
    std::printf("shaken photograph: shift error %.3f px RMS, %.3f px worst, tilt error %.3f degrees worst\n", e.rms,
                e.worst, e.worstAngle);
    EXPECT_LE(e.rms, 0.5);
    EXPECT_LE(e.worst, 1.0);
    EXPECT_LE(e.worstAngle, 0.2);
    // Each frame as exported is as bright as the first.
    const double first = ExportedMean(settings.paths[0], crop, 0, 0, 0, 0);
    double worstMean = 0;
    for (std::size_t k = 1; k < shakes.size(); ++k) {
        const FrameAlignment& f = result.frames[k];
        const double ratio = ExportedMean(settings.paths[k], crop, f.DX, f.DY, f.Angle, f.Brightness) / first;
        EXPECT_NEAR(ratio, 1.0, 0.01) << "frame " << k;
        worstMean = std::max(worstMean, std::abs(ratio - 1));
    }
    std::printf("shaken photograph: exported mean brightness within %.2f %% of the first frame's\n", 100 * worstMean);
}

// A working size far below the full one (an eighth here) leaves the last fraction of a pixel to the
// full-size pass, through the quarter turn and for both kinds of file.
TEST(TurnAlignment, FullSizePassGivesTheLastFractionOfAPixel) {
    TempFolder folder;
    ASSERT_TRUE(folder.ok());
    const int width = 640, height = 480;
    const std::vector<Shake> shakes = {
        {0, 0, 0, 1}, {17.3, -9.6, 0.7, 1.1}, {-13.8, 11.2, -0.5, 0.9}, {6.4, 15.1, 0.25, 1.04}};
    const CropArea crop{80, 60, 480, 360};
    const double centreX = crop.left + crop.width / 2 + 0.5, centreY = crop.top + crop.height / 2 + 0.5;
    struct Case {
        const char* ext;
        int rotation;
    };
    for (const Case c : {Case{".jpg", 0}, Case{".png", 90}, Case{".jpg", 270}}) {
        SCOPED_TRACE(std::string(c.ext) + " turned " + std::to_string(c.rotation));
        AlignSettings settings;
        std::vector<Correction> truth;
        for (std::size_t k = 0; k < shakes.size(); ++k) {
            // Stored turned back, so that the project's quarter turn gives the shaken photograph.
            Picture stored;
            RotateQuarter(testing::ShakenPhoto(width, height, shakes[k]), stored, (360 - c.rotation) % 360);
            const std::string path = folder.file("turn" + std::to_string(c.rotation) + "_" + std::to_string(k) + c.ext);
            ASSERT_TRUE(SavePicture(stored, path, 95).ok());
            settings.paths.push_back(path);
            truth.push_back(testing::CorrectionFor(shakes[0], shakes[k], width, height, centreX, centreY));
        }
        settings.rotationDegrees = c.rotation;
        settings.crop = {crop.left, crop.top, crop.width, crop.height};
        settings.maxWorkingPixels = width * height / 16;
        TurnAlignment result = AlignTurn(settings);
        ASSERT_TRUE(result.status.ok()) << result.status.message();
        EXPECT_EQ(result.scaleDenominator, 8);
        for (const FrameAlignment& frame : result.frames) EXPECT_TRUE(frame.aligned) << frame.confidence;
        const Errors fine = Compare(result.frames, truth);
        settings.refineFullSize = false;
        result = AlignTurn(settings);
        const Errors working = Compare(result.frames, truth);
        std::printf("full-size pass (%s, %d): %.3f px RMS, %.3f worst; at the working size alone %.3f, %.3f\n", c.ext,
                    c.rotation, fine.rms, fine.worst, working.rms, working.worst);
        EXPECT_LE(fine.rms, 0.1);
        EXPECT_LE(fine.worst, 0.2);
        EXPECT_LE(fine.worstAngle, 0.02);
    }
}

// A large photograph is decoded down to the window's last row: the full-size window keeps to the
// band of rows richest in edges instead of the whole height the still outlines span.
TEST(TurnAlignment, FullSizeWindowKeepsToTheRichestBand) {
    alignment::Geometry g;
    g.denominator = 8;
    g.turnedWidth = 6000;
    g.turnedHeight = 4000;
    g.crop = {0, 0, 750, 500};
    GreyImage reference{750, 500, {}};
    reference.values.assign(750 * 500, 200.0f);
    for (int y = 50; y < 450; ++y)  // the object's sides, from top to bottom
        for (int x : {300, 301, 450, 451}) reference.at(x, y) = 60;
    for (int y = 100; y < 106; ++y)  // its lid, edges all along
        for (int x = 300; x < 452; x += 2) reference.at(x, y) = 60;
    const PixelRect window = alignment::FineWindow(reference, nullptr, g, 6'000'000);
    EXPECT_LE(window.height, 1000);
    EXPECT_LE(window.top, 100 * 8);
    EXPECT_GE(window.top + window.height, 106 * 8);
    EXPECT_LE(window.left, 300 * 8);
    EXPECT_GE(window.left + window.width, 452 * 8);
}

TEST(TurnAlignment, AnUnrelatedPictureIsNotAligned) {
    TempFolder folder;
    ASSERT_TRUE(folder.ok());
    AlignSettings settings;
    const std::vector<Shake> shakes = {{0, 0, 0, 1}, {5, -3, 0.2, 1.05}, {0, 0, 0, 1}, {-4, 6, -0.3, 0.95}};
    for (std::size_t k = 0; k < shakes.size(); ++k) {
        Picture picture = testing::ShakenPhoto(320, 240, shakes[k]);
        if (k == 2) {
            // Something else entirely: coarse random blocks.
            for (int y = 0; y < picture.height(); ++y)
                for (int x = 0; x < picture.width(); ++x)
                    for (int c = 0; c < 3; ++c)
                        picture.pixel(x, y)[c] =
                            static_cast<std::uint8_t>(40 + 170 * testing::Lattice(x / 23, y / 17, 100 + c));
        }
        const std::string path = folder.file("f" + std::to_string(k) + ".png");
        ASSERT_TRUE(SavePicture(picture, path, 95).ok());
        settings.paths.push_back(path);
    }
    const TurnAlignment result = AlignTurn(settings);
    ASSERT_TRUE(result.status.ok());
    EXPECT_TRUE(result.frames[1].aligned);
    EXPECT_FALSE(result.frames[2].aligned);
    EXPECT_TRUE(result.frames[3].aligned);
}

TEST(TurnAlignment, AnUnreadableSourceFailsNamingIt) {
    TempFolder folder;
    ASSERT_TRUE(folder.ok());
    AlignSettings settings;
    settings.paths = {folder.file("a.png"), folder.file("missing.png")};
    ASSERT_TRUE(SavePicture(testing::ShakenPhoto(200, 150, {}), settings.paths[0], 90).ok());
    const TurnAlignment result = AlignTurn(settings);
    EXPECT_FALSE(result.status.ok());
    EXPECT_NE(result.status.message().find("missing.png"), std::string::npos);
}

TEST(TurnAlignment, StoppingEndsEarlyAndSaysSo) {
    TempFolder folder;
    ASSERT_TRUE(folder.ok());
    AlignSettings settings;
    for (int k = 0; k < 6; ++k) {
        settings.paths.push_back(folder.file("s" + std::to_string(k) + ".png"));
        ASSERT_TRUE(SavePicture(testing::ShakenPhoto(160, 120, {k * 1.0, 0, 0, 1}), settings.paths.back(), 90).ok());
    }
    std::atomic<int> calls{0};  // polled from both working threads
    AlignCallbacks callbacks;
    callbacks.stopping = [&calls] { return ++calls > 2; };
    const TurnAlignment result = AlignTurn(settings, callbacks);
    EXPECT_TRUE(result.status.ok());
    EXPECT_TRUE(result.cancelled);
}

// A frame job that throws (memory running out while a frame is compared, here from the progress
// report the job makes) fails the run with a status naming the frame; the program and its pool go
// on, and the next run gives what a run gives without the fault.
TEST(TurnAlignment, AFrameJobThatThrowsFailsTheRunNotTheProgram) {
    TempFolder folder;
    ASSERT_TRUE(folder.ok());
    AlignSettings settings;
    settings.threads = 2;
    for (int k = 0; k < 6; ++k) {
        settings.paths.push_back(folder.file("s" + std::to_string(k) + ".png"));
        ASSERT_TRUE(SavePicture(testing::ShakenPhoto(160, 120, {k * 1.0, 0, 0, 1}), settings.paths.back(), 90).ok());
    }
    const TurnAlignment sound = AlignTurn(settings);
    ASSERT_TRUE(sound.status.ok());
    const struct {
        std::function<void()> fault;
        std::string reason;
    } cases[] = {
        {[] { throw std::bad_alloc(); }, "not enough memory while comparing the frames with the first"},
        {[] { throw std::runtime_error("lost"); },
         "unexpected failure while comparing the frames with the first: lost"},
    };
    for (const auto& c : cases) {
        AlignCallbacks callbacks;
        // The first report comes between the stages; the next ones from the frame jobs.
        callbacks.progress = [&](int done, int) {
            if (done == 3) c.fault();
        };
        const TurnAlignment result = AlignTurn(settings, callbacks);
        EXPECT_EQ(result.status.reason(), c.reason);
        EXPECT_NE(std::find(settings.paths.begin() + 1, settings.paths.end(), result.status.file()),
                  settings.paths.end())
            << result.status.message();
        EXPECT_FALSE(result.cancelled);
    }
    const TurnAlignment again = AlignTurn(settings);
    ASSERT_TRUE(again.status.ok());
    for (std::size_t k = 0; k < sound.frames.size(); ++k) {
        EXPECT_EQ(again.frames[k].DX, sound.frames[k].DX);
        EXPECT_EQ(again.frames[k].Brightness, sound.frames[k].Brightness);
    }
}

// The pose stage alone: a direct estimate and a step between neighbours that are 5 pixels off and
// found little of the scene again are outvoted; what confirms each frame sets its confidence.
TEST(TurnAlignment, KeyframeValuesOutvoteWeakEstimates) {
    const int count = 8;
    alignment::PoseGraph graph;
    std::vector<alignment::Frame> frames(count);
    std::vector<Similarity> truth(count);
    std::vector<double> stepInliers(count, 0.9);
    for (int k = 0; k < count; ++k) truth[k] = {1.5 * k, -0.5 * k, 0, 1};
    for (int k = 0; k < count; ++k) {
        frames[k].direct = truth[k];
        frames[k].inliers = 0.9;
        frames[k].registered = true;
        const Similarity& before = truth[(k + count - 1) % count];
        graph.step.push_back({truth[k].dx - before.dx, truth[k].dy - before.dy, 0, 1});
    }
    frames[3].direct.dx += 5;
    frames[3].inliers = 0.3;
    graph.step[6].dy += 5;
    stepInliers[6] = 0.3;
    for (const alignment::Frame& frame : frames) graph.direct.push_back(frame.direct);
    graph.hasDirect.assign(count, true);
    graph.hasStep.assign(count, true);
    graph.radius = 100;
    std::vector<FrameAlignment> out(count);
    alignment::KeyframeValues(graph, frames, stepInliers, 2, 0.5, out);
    // Frame 3 stands on its two steps alone; frames 5 and 6 lack the step between them.
    const double confidence[count] = {0, 1, 1, 0.5, 1, 0.75, 0.75, 1};
    for (int k = 1; k < count; ++k) {
        SCOPED_TRACE(k);
        EXPECT_NEAR(out[k].DX, -2 * truth[k].dx, 0.01);
        EXPECT_NEAR(out[k].DY, -2 * truth[k].dy, 0.01);
        EXPECT_EQ(out[k].confidence, confidence[k]);
        EXPECT_TRUE(out[k].aligned);
    }
}

#ifdef TURNLET_SAMPLE_TOOL
// The rendered turntable, its jitter file the truth: the object's surface turns 15 degrees a frame
// while the camera shakes, and only what stays may guide the estimate.
class SampleSequence : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        folder_ = new TempFolder;
        const std::string command = std::string(TURNLET_SAMPLE_TOOL) + " " + folder_->path() + " > /dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0);
        std::ifstream in(folder_->file("jitter.csv"));
        std::string line;
        std::getline(in, line);
        while (std::getline(in, line)) {
            std::stringstream fields(line);
            std::vector<double> v;
            std::string field;
            while (std::getline(fields, field, ',')) v.push_back(std::atof(field.c_str()));
            ASSERT_EQ(v.size(), 10u);
            truth_.push_back({v[6], v[7], v[8], v[9]});
        }
        project_ = new Project;
        ASSERT_TRUE(OpenProject(*project_, folder_->file("sample.trn.prj"), {}).ok());
    }
    static void TearDownTestSuite() {
        delete project_;
        delete folder_;
    }
    static CropArea Crop() { return ResolveCrop(project_->crop, 0, 0); }
    static TempFolder* folder_;
    static Project* project_;
    static std::vector<Correction> truth_;
};
TempFolder* SampleSequence::folder_ = nullptr;
Project* SampleSequence::project_ = nullptr;
std::vector<Correction> SampleSequence::truth_;

// Where the object's outline sits in a frame made by the export's renderer: the mean left and
// right edges of the body over the middle rows, and its lowest row over the middle columns.
struct Outline {
    double centreX = 0, bottom = 0;
};
Outline OutlineOf(const Picture& frame) {
    auto object = [&](int x, int y) {
        const std::uint8_t* p = frame.pixel(x, y);
        const int hi = std::max({p[0], p[1], p[2]}), lo = std::min({p[0], p[1], p[2]});
        return hi - lo > 25 || hi < 100;
    };
    Outline o;
    double sum = 0;
    int rows = 0;
    for (int y = frame.height() * 2 / 5; y < frame.height() * 3 / 5; ++y) {
        int left = -1, right = -1;
        for (int x = 0; x < frame.width(); ++x)
            if (object(x, y)) {
                if (left < 0) left = x;
                right = x;
            }
        if (left < 0) continue;
        sum += 0.5 * (left + right);
        ++rows;
    }
    o.centreX = rows ? sum / rows : 0;
    sum = 0;
    int columns = 0;
    for (int x = frame.width() * 2 / 5; x < frame.width() * 3 / 5; ++x) {
        for (int y = frame.height() - 1; y >= 0; --y)
            if (object(x, y)) {
                sum += y;
                ++columns;
                break;
            }
    }
    o.bottom = columns ? sum / columns : 0;
    return o;
}

// Mean distance the outline moves from one exported frame to the next.
double Wobble(const Project& project, const CropArea& crop) {
    double total = 0;
    Outline previous;
    const FrameRows frames = ProjectFrames(project);
    for (int k = 0; k <= project.lastFrame - project.firstFrame; ++k) {
        Picture source;
        EXPECT_TRUE(LoadPicture(project.sources[static_cast<std::size_t>(project.firstFrame + k)], source).ok());
        const TuneParams params =
            TuneParamsFromValues(frames[static_cast<std::size_t>(k)].values, crop, project.backgroundColor);
        const Outline o = OutlineOf(RenderFrameFused(source, ToFrameParams(params, 0, crop.width, crop.height)));
        if (k > 0) total += std::hypot(o.centreX - previous.centreX, o.bottom - previous.bottom);
        previous = o;
    }
    return total / (project.lastFrame - project.firstFrame);
}

TEST_F(SampleSequence, MeetsTheBoundsAgainstTheJitterFile) {
    AlignSettings settings;
    settings.paths = project_->sources;
    const CropArea crop = Crop();
    settings.crop = {crop.left, crop.top, crop.width, crop.height};
    const TurnAlignment result = AlignTurn(settings);
    ASSERT_TRUE(result.status.ok());
    for (const FrameAlignment& frame : result.frames) EXPECT_TRUE(frame.aligned);
    const Errors e = Compare(result.frames, truth_);
    std::printf("sample: shift error %.3f px RMS, %.3f px worst, tilt error %.3f degrees worst\n", e.rms, e.worst,
                e.worstAngle);
    // Tight enough to catch sharp still edges losing their say again (they left 0.24 px, 0.14°).
    EXPECT_LE(e.rms, 0.15);
    EXPECT_LE(e.worst, 0.35);
    EXPECT_LE(e.worstAngle, 0.1);
    double worstExposure = 0;
    for (std::size_t k = 1; k < truth_.size(); ++k) {
        EXPECT_NEAR(result.frames[k].exposureRatio, truth_[k].exposureRatio, 0.01) << "frame " << k;
        worstExposure = std::max(worstExposure, std::abs(result.frames[k].exposureRatio / truth_[k].exposureRatio - 1));
    }
    std::printf("sample: exposure within %.2f %% of the truth\n", 100 * worstExposure);

    // The aligned project's export wobbles far less: its outline's travel from frame to frame.
    Project aligned = *project_;
    ApplyAlignment(aligned.keyframes, ProjectFrames(aligned), aligned.sources, aligned.firstFrame, result.frames, true);
    const double before = Wobble(*project_, crop), after = Wobble(aligned, crop);
    EXPECT_LE(after, 0.2 * before) << "before " << before << " after " << after;
    std::printf("outline travel per frame: %.2f px before, %.2f px after (%.0f %% less)\n", before, after,
                100 * (1 - after / before));
}
#endif

}  // namespace
}  // namespace turnlet
