// SPDX-License-Identifier: MIT
// The export table, the hand-over rules, and whole exports through the worker.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include <gtest/gtest.h>

#include "export/export_engine.h"
#include "export/viewer_page.h"
#include "export_test_support.h"
#include "render/frame_render.h"
#include "imaging/geometry.h"
#include "codecs/image_files.h"
#include "imaging/resize.h"
#include "imaging/tone.h"
#include "imaging/transform.h"

namespace turnlet {
namespace {

using testing::EvenPlan;
using testing::FakeObserver;
using testing::FreshTempDir;
using testing::RunPlan;

Picture Pattern(int width, int height, int seed) {
    Picture p(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* px = p.pixel(x, y);
            px[0] = static_cast<std::uint8_t>(x * 7 + y * 3 + seed);
            px[1] = static_cast<std::uint8_t>((x * 13) ^ (y * 5 + seed * 17));
            px[2] = static_cast<std::uint8_t>(x + y * 11 + seed * 29);
        }
    }
    return p;
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(ExportTable, PicksFramesEvenlyByTruncation) {
    struct Case {
        int m, n;
        std::vector<std::pair<int, int>> picks;  // k -> s
    };
    const Case cases[] = {
        {37, 100, {{0, 0}, {1, 0}, {2, 0}, {3, 1}, {4, 1}, {5, 1}, {6, 2}, {98, 35}, {99, 36}}},
        {10, 4, {{0, 0}, {1, 3}, {2, 6}, {3, 9}}},
        {5, 5, {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}}},
        {1, 7, {{0, 0}, {3, 0}, {6, 0}}},
        {36, 1, {{0, 0}}},  // a single output frame shows the first frame of the turn
    };
    for (const Case& c : cases) {
        for (auto [k, s] : c.picks) EXPECT_EQ(ExportSourceFrame(k, c.n, c.m), s) << "M=" << c.m << " N=" << c.n;
    }
}

class HandOverTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (int i = 0; i < 4; ++i) sources.push_back("/s/" + std::to_string(i) + ".png");
        Begin(EvenPlan(sources, 4, "/out"));
    }
    // A new export: a fresh session on plan.
    void Begin(ExportPlan plan) {
        session = std::make_unique<ExportSession>(host, std::make_shared<const ExportPlan>(std::move(plan)));
    }
    ExportParams Next() {
        session->HandOver(output, params);
        return params;
    }

    FakeObserver host;
    std::unique_ptr<ExportSession> session;
    std::vector<std::string> sources;
    Picture output;
    ExportParams params;
};

TEST_F(HandOverTest, EachFrameTakesThePlansValuesAndNamesItsFileFromOne) {
    ExportPlan plan = EvenPlan(sources, 3, "/out");
    plan.frames[1] = {"/s/1.png", -12, 3, -2.5, 300, 10, -20.5, 30};
    plan.cropLeft = 10;
    plan.cropTop = 20;
    plan.rotationDegrees = 270;
    plan.jpegQuality = 55;
    plan.typeIndex = 0;
    Begin(plan);
    EXPECT_EQ(Next().OutputPath, "/out/0001.jpg");
    const ExportParams p = Next();
    EXPECT_EQ(p.SourcePath, "/s/1.png");
    EXPECT_EQ(p.OutputPath, "/out/0002.jpg");
    EXPECT_EQ(p.Frame, 2);
    EXPECT_EQ(p.ShiftX, -12);
    EXPECT_EQ(p.ShiftY, 3);
    EXPECT_DOUBLE_EQ(p.Angle, -2.5);
    EXPECT_DOUBLE_EQ(p.Scale, 300);
    EXPECT_DOUBLE_EQ(p.Gamma, 30);
    EXPECT_EQ(p.CropLeft, 10);
    EXPECT_EQ(p.CropTop, 20);
    EXPECT_EQ(p.CropWidth, 640);
    EXPECT_EQ(p.RotationDegrees, 270);
    EXPECT_EQ(p.OutputWidth, 200);
    EXPECT_EQ(p.JpegQuality, 55);
    EXPECT_EQ(session->ExportCounter(), 2);
    EXPECT_EQ(host.progress, 2);
}

TEST_F(HandOverTest, TheEndAndStopLeaveNoSourceAndNothingIsShownUntilTheWorkerEnds) {
    for (int i = 0; i < 4; ++i) EXPECT_FALSE(Next().SourcePath.empty());
    EXPECT_TRUE(Next().SourcePath.empty());
    EXPECT_TRUE(Next().SourcePath.empty());
    EXPECT_TRUE(host.outcomes.empty());

    Begin(EvenPlan(sources, 4, "/out"));
    Next();
    session->Stop();
    EXPECT_TRUE(Next().SourcePath.empty());
    EXPECT_EQ(host.progress, 1);
    // A new start begins again at 0001.
    Begin(EvenPlan(sources, 4, "/out"));
    EXPECT_EQ(Next().OutputPath, "/out/0001.png");
}

TEST_F(HandOverTest, AFinishedExportResetsTheBarAStoppedOneKeepsWhatWasWritten) {
    ExportOutcome finished;
    finished.total = finished.written = 4;
    session->Ended(finished);
    EXPECT_EQ(host.progress, 0);
    EXPECT_EQ(host.events.back(), "clear");
    Begin(EvenPlan(sources, 4, "/out"));
    ExportOutcome stopped;
    stopped.end = ExportOutcome::End::Stopped;
    stopped.total = 4;
    stopped.written = 3;
    session->Ended(stopped);
    EXPECT_EQ(host.progress, 3);
    ASSERT_EQ(host.outcomes.size(), 2u);
    // A retired export says nothing.
    Begin(EvenPlan(sources, 4, "/out"));
    session->Retire();
    session->Ended(stopped);
    EXPECT_EQ(host.outcomes.size(), 2u);
}

// Cases that stress every stage of the chain: turns, crops off the edge, shifts, angles, zooms in
// and out, up- and downscaling, degenerate sizes and tone.
std::vector<ExportParams> RenderCases() {
    std::vector<ExportParams> cases;
    std::mt19937 rng(1234);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const double angles[] = {0, 90, -90, 180, 5, -12.5, 33.3, 359};
    const double scales[] = {0, 500, -500, -1000, 999.5, 1000, 2000, 90, -90, -999};
    for (int i = 0; i < 160; ++i) {
        ExportParams p;
        p.RotationDegrees = 90 * (i % 4);
        p.CropLeft = pick(-20, 40);
        p.CropTop = pick(-20, 40);
        p.CropWidth = pick(1, 70);
        p.CropHeight = pick(1, 70);
        p.ShiftX = pick(-15, 15);
        p.ShiftY = pick(-15, 15);
        p.OutputWidth = pick(1, 90);
        p.OutputHeight = pick(1, 90);
        p.Angle = angles[i % 8];
        p.Scale = scales[i % 10];
        p.Background = 0x00123456u + static_cast<Color>(i);
        if (i % 3 == 0) {
            p.Brightness = pick(-100, 100);
            p.Contrast = pick(-100, 100) / 3.0;
            p.Gamma = pick(-100, 100);
        }
        cases.push_back(p);
    }
    ExportParams emptyCrop;
    emptyCrop.CropWidth = 0;
    emptyCrop.CropHeight = 30;
    emptyCrop.OutputWidth = 10;
    emptyCrop.OutputHeight = 10;
    emptyCrop.Brightness = 20;
    cases.push_back(emptyCrop);
    ExportParams huge;
    huge.CropLeft = 2'000'000'000;
    huge.ShiftX = 2'000'000'000;
    huge.CropTop = -2'000'000'000;
    huge.ShiftY = -2'000'000'000;
    huge.CropWidth = 20;
    huge.CropHeight = 20;
    huge.OutputWidth = 8;
    huge.OutputHeight = 8;
    cases.push_back(huge);
    return cases;
}

TEST(FusedRender, EqualsTheStepByStepChainPixelForPixel) {
    const Picture sources[] = {Pattern(53, 41, 1), Pattern(1, 1, 2), Pattern(64, 7, 3), Picture()};
    int compared = 0;
    for (const Picture& source : sources) {
        for (const ExportParams& p : RenderCases()) {
            const Picture reference = RenderFrameStepByStep(source, p);
            const Picture fused = RenderFrameFused(source, p);
            ASSERT_TRUE(fused == reference)
                << "rotation " << p.RotationDegrees << " crop " << p.CropLeft << "," << p.CropTop << " " << p.CropWidth
                << "x" << p.CropHeight << " shift " << p.ShiftX << "," << p.ShiftY << " out " << p.OutputWidth << "x"
                << p.OutputHeight << " angle " << p.Angle << " scale " << p.Scale << " source " << source.width() << "x"
                << source.height();
            ++compared;
        }
    }
    EXPECT_EQ(compared, 4 * 162);
}

TEST(FusedRender, LargePicturesUseTheParallelPathAndStillMatch) {
    const Picture source = Pattern(900, 700, 9);
    ExportParams p;
    p.RotationDegrees = 270;
    p.CropLeft = 50;
    p.CropTop = 100;
    p.CropWidth = 600;
    p.CropHeight = 800;
    p.ShiftX = -7;
    p.ShiftY = 11;
    p.Angle = -3.7;
    p.Scale = 120;
    p.OutputWidth = 700;
    p.OutputHeight = 733;
    p.Gamma = 15;
    EXPECT_TRUE(RenderFrameFused(source, p) == RenderFrameStepByStep(source, p));
}

TEST(FrameSizes, EmptyOrHugeFramesAreRefusedNamingTheOutputFile) {
    ExportParams p;
    p.OutputPath = "/out/0003.jpg";
    p.CropWidth = 100;
    p.CropHeight = 100;
    p.OutputWidth = 0;
    p.OutputHeight = 10;
    Status s = CheckFrameSizes(p);
    EXPECT_FALSE(s.ok());
    EXPECT_EQ(s.file(), "/out/0003.jpg");
    p.OutputWidth = 10;
    EXPECT_TRUE(CheckFrameSizes(p).ok());
    p.CropWidth = 100000;
    p.CropHeight = 100000;
    EXPECT_FALSE(CheckFrameSizes(p).ok());
}

// A small turn on disk: m source pictures of distinct content.
struct Turn {
    std::filesystem::path dir;
    std::vector<std::string> sources;
};

Turn MakeTurn(const std::string& name, int m, const std::string& ext = ".png") {
    Turn turn{FreshTempDir(name), {}};
    for (int i = 0; i < m; ++i) {
        const std::string path = (turn.dir / ("src" + std::to_string(i) + ext)).string();
        EXPECT_TRUE(SavePicture(Pattern(48 + i, 36, i), path, 95).ok());
        turn.sources.push_back(path);
    }
    return turn;
}

TEST(ExportRun, WritesEveryFrameAndMatchesTheImagingOperations) {
    const Turn turn = MakeTurn("src", 5);
    const std::filesystem::path out = FreshTempDir("out");
    ExportPlan plan = EvenPlan(turn.sources, 9, out.string());
    for (PlannedFrame& f : plan.frames) {
        if (f.source != turn.sources[2]) continue;
        f.shiftX = -4;
        f.shiftY = 2;
        f.angle = -7.5;
        f.scale = 100;
        f.brightness = 12;
    }
    plan.cropLeft = 3;
    plan.cropTop = 2;
    plan.cropWidth = 30;
    plan.cropHeight = 25;
    plan.outputWidth = 40;
    plan.outputHeight = 33;
    plan.rotationDegrees = 90;
    plan.background = 0x000080FF;
    FakeObserver host;
    const ExportOutcome outcome = RunPlan(host, plan);
    EXPECT_TRUE(outcome.succeeded());
    EXPECT_EQ(outcome.written, 9);
    EXPECT_EQ(host.outcomes.size(), 1u);
    EXPECT_EQ(host.previewsShown, 9);
    EXPECT_TRUE(host.lastPreview.empty());

    for (int k = 0; k < 9; ++k) {
        char name[16];
        std::snprintf(name, sizeof name, "%04d.png", k + 1);
        Picture written;
        ASSERT_TRUE(LoadPicture((out / name).string(), written).ok()) << name;
        // The frame computed directly with the picture operations.
        const int s = ExportSourceFrame(k, 9, 5);
        Picture decoded, turned, aligned;
        ASSERT_TRUE(LoadPicture(turn.sources[s], decoded).ok());
        RotateQuarter(decoded, turned, 90);
        const int dx = s == 2 ? 4 : 0, dy = s == 2 ? -2 : 0;
        TransformPicture(turned, aligned, 3 - dx, 2 - dy, 30, 25, 0x000080FF, s == 2 ? -7.5 : 0, s == 2 ? 100 : 0);
        Picture expected(40, 33);
        ResizePicture(aligned, expected);
        AdjustTone(expected, s == 2 ? 12 : 0, 0, 0);
        EXPECT_TRUE(written == expected) << name;
    }
}

TEST(ExportRun, PipelinedAndOneFrameAtATimeWriteIdenticalFilesInTheSameOrder) {
    const Turn turn = MakeTurn("src", 4, ".bmp");
    std::string contents[2];
    std::vector<std::string> events[2];
    for (int pass = 0; pass < 2; ++pass) {
        const std::filesystem::path out = FreshTempDir(pass ? "naive" : "pipelined");
        ExportPlan plan = EvenPlan(turn.sources, 11, out.string());  // N > M repeats sources
        plan.frames[3].angle = -3;
        plan.frames[10].shiftX = 6;
        plan.rotationDegrees = 180;
        FakeObserver host;
        RunPlan(host, plan, ExportOptions{pass == 0});
        for (int k = 1; k <= 11; ++k) {
            char name[16];
            std::snprintf(name, sizeof name, "%04d.png", k);
            contents[pass] += ReadFile(out / name);
        }
        events[pass] = host.events;
    }
    EXPECT_FALSE(contents[0].empty());
    EXPECT_TRUE(contents[0] == contents[1]);
    EXPECT_EQ(events[0], events[1]);
}

// A page template that only counts the frames it lists.
ExportPlan WithPage(ExportPlan plan, const std::filesystem::path& dir) {
    const std::filesystem::path page = dir / "template.html";
    std::ofstream(page, std::ios::binary) << "n=[ITEMS]";
    plan.page = PlannedPage{page.string()};
    return plan;
}

TEST(ExportRun, StopWritesTheFrameInHandAndCutsThePageToTheFramesWritten) {
    const Turn turn = MakeTurn("src", 3);
    for (const int stopAt : {5, 1}) {
        const std::filesystem::path out = FreshTempDir("out" + std::to_string(stopAt));
        auto plan = std::make_shared<const ExportPlan>(WithPage(EvenPlan(turn.sources, 100, out.string()), turn.dir));
        FakeObserver host;
        auto session = std::make_shared<ExportSession>(host, plan);
        host.onFrameHandedOut = [&](int frame) {
            if (frame == stopAt) session->Stop();
        };
        ExportPicture worker(session, {});
        worker.Start();
        const ExportOutcome outcome = worker.Wait();
        SCOPED_TRACE(stopAt);
        EXPECT_EQ(outcome.end, ExportOutcome::End::Stopped);
        EXPECT_EQ(outcome.written, stopAt);
        EXPECT_EQ(outcome.total, 100);
        EXPECT_TRUE(std::filesystem::exists(out / (std::string("000") + char('0' + stopAt) + ".png")));
        EXPECT_FALSE(std::filesystem::exists(out / (std::string("000") + char('0' + stopAt + 1) + ".png")));
        EXPECT_EQ(host.progress, stopAt);  // the bar says how far it got
        EXPECT_EQ(outcome.page, ExportOutcome::Page::Shortened);
        EXPECT_EQ(ReadFile(out / "index.html"), "n=" + std::to_string(stopAt));
    }
}

TEST(ExportRun, MissingSourceEndsTheExportKeepsEarlierFilesAndThePageMatchesThem) {
    Turn turn = MakeTurn("src", 4);
    std::filesystem::remove(turn.sources[2]);
    for (bool pipelined : {true, false}) {
        const std::filesystem::path out = FreshTempDir(pipelined ? "pipelined" : "naive");
        FakeObserver host;
        const ExportOutcome outcome =
            RunPlan(host, WithPage(EvenPlan(turn.sources, 4, out.string()), turn.dir), ExportOptions{pipelined});
        EXPECT_EQ(outcome.end, ExportOutcome::End::Failed);
        EXPECT_EQ(outcome.failure.file(), turn.sources[2]);
        EXPECT_EQ(outcome.written, 2);
        EXPECT_TRUE(std::filesystem::exists(out / "0002.png"));
        EXPECT_FALSE(std::filesystem::exists(out / "0003.png"));
        EXPECT_EQ(ReadFile(out / "index.html"), "n=2");
        EXPECT_EQ(host.progress, 2);
    }
}

TEST(ExportRun, AMissingFolderIsMadeOneThatCannotBeIsNamed) {
    const Turn turn = MakeTurn("src", 2);
    FakeObserver host;
    const std::filesystem::path nested = turn.dir / "new" / "folder";
    EXPECT_TRUE(RunPlan(host, EvenPlan(turn.sources, 2, nested.string())).succeeded());
    EXPECT_TRUE(std::filesystem::exists(nested / "0002.png"));

    std::ofstream(turn.dir / "file") << "in the way";
    const ExportOutcome outcome = RunPlan(host, EvenPlan(turn.sources, 2, (turn.dir / "file" / "out").string()));
    EXPECT_EQ(outcome.end, ExportOutcome::End::Failed);
    EXPECT_EQ(outcome.failure.file(), (turn.dir / "file" / "out").string());
    EXPECT_EQ(outcome.written, 0);
}

// Frames are written while the next one renders: a failed write must still end the export before
// any later file and before the outcome, and the page is cut to the frames before it.
TEST(ExportRun, AFailedWriteEndsTheExportBeforeLaterFilesAndTheOutcome) {
    const Turn turn = MakeTurn("src", 4);
    for (const int failing : {1, 2, 4}) {
        for (const bool pipelined : {true, false}) {
            const std::filesystem::path out = FreshTempDir("out" + std::to_string(failing) + (pipelined ? "p" : "n"));
            std::filesystem::create_directory(out / ("000" + std::to_string(failing) + ".png"));  // in the way
            FakeObserver host;
            const ExportOutcome outcome =
                RunPlan(host, WithPage(EvenPlan(turn.sources, 4, out.string()), turn.dir), ExportOptions{pipelined});
            SCOPED_TRACE(failing);
            SCOPED_TRACE(pipelined);
            EXPECT_EQ(outcome.end, ExportOutcome::End::Failed);
            EXPECT_EQ(outcome.failure.file(), (out / ("000" + std::to_string(failing) + ".png")).string());
            EXPECT_EQ(outcome.written, failing - 1);
            for (int k = 1; k <= 4; ++k)
                EXPECT_EQ(std::filesystem::is_regular_file(out / ("000" + std::to_string(k) + ".png")), k < failing);
            if (failing == 1) {
                EXPECT_EQ(outcome.page, ExportOutcome::Page::Removed);
                EXPECT_FALSE(std::filesystem::exists(out / "index.html"));
            } else {
                EXPECT_EQ(ReadFile(out / "index.html"), "n=" + std::to_string(failing - 1));
            }
        }
    }
}

TEST(ExportRun, UnknownSourceTypeWritesABackgroundFrameAndIsReportedNotHidden) {
    Turn turn = MakeTurn("src", 2);
    turn.sources[0] = (turn.dir / "photo.jpe").string();
    const std::filesystem::path out = FreshTempDir("out");
    ExportPlan plan = EvenPlan(turn.sources, 2, out.string());
    plan.outputWidth = 6;
    plan.outputHeight = 4;
    plan.cropWidth = plan.cropHeight = 10;
    plan.background = 0x00030201;
    FakeObserver host;
    const ExportOutcome outcome = RunPlan(host, plan);
    EXPECT_EQ(outcome.end, ExportOutcome::End::Finished);
    EXPECT_FALSE(outcome.succeeded());
    EXPECT_EQ(outcome.problems, (std::vector<FrameProblem>{{1, turn.sources[0]}}));
    Picture first;
    ASSERT_TRUE(LoadPicture((out / "0001.png").string(), first).ok());
    Picture expected(6, 4);
    expected.fill(0x00030201);
    EXPECT_TRUE(first == expected);
    EXPECT_TRUE(std::filesystem::exists(out / "0002.png"));
}

TEST(ViewerPage, ReplacesEveryPlaceholderInOrderAndNothingElse) {
    ViewerPageFacts facts{36, 0, 640, 480, false};
    EXPECT_EQ(FillViewerTemplate("[ITEMS] [ITEMS]/[ITEMS] [items] [TYPE] [WIDTH]x[HEIGHT]", facts),
              "36 36/36 [items] jpg 640x480");
    facts.typeIndex = 1;
    EXPECT_EQ(FillViewerTemplate("[TYPE]:[WIDTH]:[HEIGHT]", facts), "png:640:480");
    EXPECT_EQ(FillViewerTemplate("no placeholders\r\n", facts), "no placeholders\r\n");
}

TEST(ViewerPage, MissingTemplateOrFolderIsAnErrorNamingTheFile) {
    const std::filesystem::path dir = FreshTempDir("page");
    const std::string templatePath = (dir / "Turnlet.html").string();
    ViewerPageFacts facts{3, 0, 10, 10, false};
    Status s = WriteViewerPage(templatePath, dir.string(), facts);
    EXPECT_FALSE(s.ok());
    EXPECT_EQ(s.file(), templatePath);

    std::ofstream(templatePath, std::ios::binary) << "n=[ITEMS]";
    s = WriteViewerPage(templatePath, (dir / "nope").string(), facts);
    EXPECT_FALSE(s.ok());
    EXPECT_EQ(s.file(), (dir / "nope" / "index.html").string());

    ASSERT_TRUE(WriteViewerPage(templatePath, dir.string(), facts).ok());
    EXPECT_EQ(ReadFile(dir / "index.html"), "n=3");
    facts.frames = 100;  // a second export replaces the page
    ASSERT_TRUE(WriteViewerPage(templatePath, dir.string(), facts).ok());
    EXPECT_EQ(ReadFile(dir / "index.html"), "n=100");
}

}  // namespace
}  // namespace turnlet
