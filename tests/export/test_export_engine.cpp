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

using testing::FakeHost;
using testing::FreshTempDir;

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

// A frames table for m frames whose every value column holds the given texts.
TextGrid Frames(int m) {
    TextGrid frames(9, m + 1);
    for (int r = 1; r <= m; ++r) {
        frames.set(r, 0, std::to_string(r - 1));
        for (int c = 2; c <= 8; ++c) frames.set(r, c, "0");
    }
    return frames;
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

TEST(ExportTable, CopiesSourceAndCellsOfThePickedRowVerbatim) {
    std::vector<std::string> sources;
    for (int i = 0; i < 12; ++i) sources.push_back("/shots/" + std::to_string(i) + ".jpg");
    TextGrid frames = Frames(10);  // first frame 2: frames 0..9 are sources 2..11
    frames.set(4, 2, "12.75");
    frames.set(4, 3, "-3.9");
    frames.set(4, 4, "1e-05");
    frames.set(10, 8, "-7");
    const TextGrid table = BuildExportTable(4, frames, sources, 2);
    ASSERT_EQ(table.rowCount(), 5);
    EXPECT_EQ(table.at(1, kExportSource), "/shots/2.jpg");
    EXPECT_EQ(table.at(2, kExportSource), "/shots/5.jpg");
    EXPECT_EQ(table.at(2, kExportDX), "12.75");
    EXPECT_EQ(table.at(2, kExportDY), "-3.9");
    EXPECT_EQ(table.at(2, kExportAngle), "1e-05");
    EXPECT_EQ(table.at(4, kExportSource), "/shots/11.jpg");
    EXPECT_EQ(table.at(4, kExportGamma), "-7");
}

class HandOverTest : public ::testing::Test {
  protected:
    void SetUp() override {
        host.dir = "/out";
        host.preview[0] = 640;
        host.preview[1] = 480;
        for (int i = 0; i < 4; ++i) sources.push_back("/s/" + std::to_string(i) + ".png");
        Begin(BuildExportTable(4, Frames(4), sources, 0));
    }
    // A new export: a fresh session on table.
    void Begin(TextGrid table) { session = std::make_unique<ExportSession>(host, host, std::move(table)); }
    ExportParams Next() {
        session->HandOver(output, params);
        return params;
    }

    FakeHost host;
    std::unique_ptr<ExportSession> session;
    std::vector<std::string> sources;
    Picture output;
    ExportParams params;
};

TEST_F(HandOverTest, CropNeedsAllFourFieldsElseTheWholePreview) {
    host.crop[0] = "10";
    host.crop[1] = "20";
    host.crop[2] = "300";
    ExportParams p = Next();
    EXPECT_EQ(p.CropLeft, 0);
    EXPECT_EQ(p.CropTop, 0);
    EXPECT_EQ(p.CropWidth, 640);
    EXPECT_EQ(p.CropHeight, 480);
    host.crop[3] = "abc";  // all set; not a number gives the default
    p = Next();
    EXPECT_EQ(p.CropLeft, 10);
    EXPECT_EQ(p.CropTop, 20);
    EXPECT_EQ(p.CropWidth, 300);
    EXPECT_EQ(p.CropHeight, 100);
}

TEST_F(HandOverTest, ShiftsAreTheNegatedIntegerPartsOfTheCells) {
    TextGrid frames = Frames(2);
    frames.set(1, 2, "12.75");
    frames.set(1, 3, "-3.9");
    // Interpolation residues written by %g: practically zero, and a large value in exponent form.
    frames.set(2, 2, "-5.55112e-17");
    frames.set(2, 3, "1e+06");
    Begin(BuildExportTable(2, frames, sources, 0));
    ExportParams p = Next();
    EXPECT_EQ(p.ShiftX, -12);
    EXPECT_EQ(p.ShiftY, 3);
    p = Next();
    EXPECT_EQ(p.ShiftX, 0);
    EXPECT_EQ(p.ShiftY, -1000000);
}

TEST_F(HandOverTest, AngleAndScaleAreNegatedToneIsKept) {
    TextGrid frames = Frames(1);
    frames.set(1, 4, "2.5");
    frames.set(1, 5, "-300");
    frames.set(1, 6, "10");
    frames.set(1, 7, "-20.5");
    frames.set(1, 8, "  30x");
    Begin(BuildExportTable(1, frames, sources, 0));
    const ExportParams p = Next();
    EXPECT_DOUBLE_EQ(p.Angle, -2.5);
    EXPECT_DOUBLE_EQ(p.Scale, 300);
    EXPECT_DOUBLE_EQ(p.Brightness, 10);
    EXPECT_DOUBLE_EQ(p.Contrast, -20.5);
    EXPECT_DOUBLE_EQ(p.Gamma, 30);
}

TEST_F(HandOverTest, NamesFramesFromOneAndReadsTheDialogAfreshEachTime) {
    ExportParams p = Next();
    EXPECT_EQ(p.SourcePath, "/s/0.png");
    EXPECT_EQ(p.OutputPath, "/out/0001.png");
    EXPECT_EQ(p.OutputWidth, 200);
    host.type = 0;
    host.width = "x";
    host.height = "480";
    host.quality = 55;
    p = Next();
    EXPECT_EQ(p.OutputPath, "/out/0002.jpg");
    EXPECT_EQ(p.OutputWidth, 200);
    EXPECT_EQ(p.OutputHeight, 480);
    EXPECT_EQ(p.JpegQuality, 55);
    host.type = 2;
    EXPECT_EQ(Next().OutputPath, "/out/0003.bmp");
    EXPECT_EQ(session->ExportCounter(), 3);
    EXPECT_EQ(host.progress, 3);
}

TEST_F(HandOverTest, FinishShowsTheMessageOnceAndClearsProgressAndPreview) {
    for (int i = 0; i < 4; ++i) EXPECT_FALSE(Next().SourcePath.empty());
    EXPECT_TRUE(host.messages.empty());
    EXPECT_TRUE(Next().SourcePath.empty());
    EXPECT_EQ(host.messages, std::vector<std::string>{"Export finished!"});
    EXPECT_EQ(session->ExportCounter(), 5);
    EXPECT_EQ(host.progress, 0);
    EXPECT_EQ(host.events.back(), "clear");
    // A late hand-over after the finish ends quietly.
    EXPECT_TRUE(Next().SourcePath.empty());
    EXPECT_EQ(host.messages.size(), 1u);
}

TEST_F(HandOverTest, FinishMessageFollowsTheLanguage) {
    host.language = "ru";
    for (int i = 0; i < 5; ++i) Next();
    EXPECT_EQ(host.messages, std::vector<std::string>{"Экпорт закончен!"});

    FakeHost other;
    other.language = "de";
    ExportSession quiet(other, other, BuildExportTable(1, Frames(1), sources, 0));
    for (int i = 0; i < 2; ++i) quiet.HandOver(output, params);
    EXPECT_TRUE(other.messages.empty());
    EXPECT_EQ(other.finishes, 1);
    EXPECT_EQ(quiet.ExportCounter(), 2);
}

TEST_F(HandOverTest, StopEndsAtTheNextHandOverWithoutMessage) {
    Next();
    Next();
    session->Stop();
    EXPECT_EQ(session->ExportCounter(), ExportSession::kStopped);
    EXPECT_EQ(host.progress, 0);
    EXPECT_TRUE(Next().SourcePath.empty());
    EXPECT_TRUE(host.messages.empty());
    // A new start begins again at 0001.
    Begin(BuildExportTable(4, Frames(4), sources, 0));
    EXPECT_EQ(Next().OutputPath, "/out/0001.png");
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
        p.BackgroundColor = 0x00123456u + static_cast<Color>(i);
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

void RunExport(FakeHost& host, const TextGrid& table, ExportOptions options, bool* failed = nullptr) {
    auto session = std::make_shared<ExportSession>(host, host, table);
    ExportPicture worker(session, {}, options);
    worker.Start();
    const Status status = worker.Wait();
    if (failed) *failed = !status.ok();
}

TEST(ExportRun, WritesEveryFrameAndMatchesTheImagingOperations) {
    const Turn turn = MakeTurn("src", 5);
    const std::filesystem::path out = FreshTempDir("out");
    TextGrid frames = Frames(5);
    frames.set(3, 2, "4.6");
    frames.set(3, 3, "-2");
    frames.set(3, 4, "7.5");
    frames.set(3, 5, "-100");
    frames.set(3, 6, "12");
    FakeHost host;
    host.dir = out.string();
    host.crop[0] = "3";
    host.crop[1] = "2";
    host.crop[2] = "30";
    host.crop[3] = "25";
    host.width = "40";
    host.height = "33";
    host.rotation = 90;
    host.background = 0x000080FF;
    const TextGrid table = BuildExportTable(9, frames, turn.sources, 0);
    bool failed = true;
    RunExport(host, table, {}, &failed);
    EXPECT_FALSE(failed);
    EXPECT_EQ(host.messages, std::vector<std::string>{"Export finished!"});
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
    TextGrid frames = Frames(4);
    frames.set(2, 4, "3");
    frames.set(4, 2, "-6.25");
    const TextGrid table = BuildExportTable(11, frames, turn.sources, 0);  // N > M repeats sources
    std::string contents[2];
    std::vector<std::string> events[2];
    for (int pass = 0; pass < 2; ++pass) {
        const std::filesystem::path out = FreshTempDir(pass ? "naive" : "pipelined");
        FakeHost host;
        host.dir = out.string();
        host.rotation = 180;
        RunExport(host, table, ExportOptions{pass == 0});
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

TEST(ExportRun, StopDuringAFrameStillWritesItAndShowsNoMessage) {
    const Turn turn = MakeTurn("src", 3);
    const std::filesystem::path out = FreshTempDir("out");
    FakeHost host;
    host.dir = out.string();
    auto session = std::make_shared<ExportSession>(host, host, BuildExportTable(100, Frames(3), turn.sources, 0));
    host.onFrameHandedOut = [&](int frame) {
        if (frame == 5) session->Stop();
    };
    ExportPicture worker(session, {});
    worker.Start();
    const Status status = worker.Wait();
    EXPECT_TRUE(std::filesystem::exists(out / "0005.png"));
    EXPECT_FALSE(std::filesystem::exists(out / "0006.png"));
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(host.progress, 0);
    EXPECT_EQ(host.previewsShown, 5);
    EXPECT_FALSE(host.lastPreview.empty());  // keeps frame 4
    EXPECT_TRUE(status.ok());
}

TEST(ExportRun, MissingSourceEndsTheExportAndKeepsEarlierFiles) {
    Turn turn = MakeTurn("src", 4);
    std::filesystem::remove(turn.sources[2]);
    for (bool pipelined : {true, false}) {
        const std::filesystem::path out = FreshTempDir(pipelined ? "pipelined" : "naive");
        FakeHost host;
        host.dir = out.string();
        bool failed = false;
        RunExport(host, BuildExportTable(4, Frames(4), turn.sources, 0), ExportOptions{pipelined}, &failed);
        EXPECT_TRUE(failed);
        EXPECT_TRUE(std::filesystem::exists(out / "0002.png"));
        EXPECT_FALSE(std::filesystem::exists(out / "0003.png"));
        ASSERT_EQ(host.failures.size(), 1u);
        EXPECT_EQ(host.failures[0].file(), turn.sources[2]);
        EXPECT_TRUE(host.messages.empty());
        EXPECT_EQ(host.progress, 3);  // the bar keeps its position
    }
}

TEST(ExportRun, UnwritableFolderReportsTheOutputFile) {
    const Turn turn = MakeTurn("src", 2);
    FakeHost host;
    host.dir = (turn.dir / "missing" / "folder").string();
    bool failed = false;
    RunExport(host, BuildExportTable(2, Frames(2), turn.sources, 0), {}, &failed);
    EXPECT_TRUE(failed);
    ASSERT_EQ(host.failures.size(), 1u);
    EXPECT_EQ(host.failures[0].file(), host.dir + "/0001.png");
}

// Frames are written while the next one renders: a failed write must still end the export before
// any later file and before the completion message.
TEST(ExportRun, AFailedWriteEndsTheExportBeforeLaterFilesAndTheMessage) {
    const Turn turn = MakeTurn("src", 4);
    for (const int failing : {1, 2, 4}) {
        for (const bool pipelined : {true, false}) {
            const std::filesystem::path out = FreshTempDir("out" + std::to_string(failing) + (pipelined ? "p" : "n"));
            std::filesystem::create_directory(out / ("000" + std::to_string(failing) + ".png"));  // in the way
            FakeHost host;
            host.dir = out.string();
            bool failed = false;
            RunExport(host, BuildExportTable(4, Frames(4), turn.sources, 0), ExportOptions{pipelined}, &failed);
            SCOPED_TRACE(failing);
            EXPECT_TRUE(failed);
            ASSERT_EQ(host.failures.size(), 1u);
            EXPECT_EQ(host.failures[0].file(), (out / ("000" + std::to_string(failing) + ".png")).string());
            EXPECT_TRUE(host.messages.empty());
            for (int k = 1; k <= 4; ++k)
                EXPECT_EQ(std::filesystem::is_regular_file(out / ("000" + std::to_string(k) + ".png")), k < failing);
        }
    }
}

TEST(ExportRun, UnknownSourceTypeWritesABackgroundFrameAndGoesOn) {
    Turn turn = MakeTurn("src", 2);
    turn.sources[0] = (turn.dir / "photo.jpe").string();
    const std::filesystem::path out = FreshTempDir("out");
    FakeHost host;
    host.dir = out.string();
    host.width = "6";
    host.height = "4";
    host.crop[0] = host.crop[1] = "0";
    host.crop[2] = host.crop[3] = "10";
    host.background = 0x00030201;
    bool failed = true;
    RunExport(host, BuildExportTable(2, Frames(2), turn.sources, 0), {}, &failed);
    EXPECT_FALSE(failed);
    EXPECT_EQ(host.wrongTypes, std::vector<std::string>{turn.sources[0]});
    Picture first;
    ASSERT_TRUE(LoadPicture((out / "0001.png").string(), first).ok());
    Picture expected(6, 4);
    expected.fill(0x00030201);
    EXPECT_TRUE(first == expected);
    EXPECT_TRUE(std::filesystem::exists(out / "0002.png"));
    EXPECT_EQ(host.messages.size(), 1u);
}

TEST(ViewerPage, ReplacesEveryPlaceholderInOrderAndNothingElse) {
    ViewerPageFacts facts{36, 0, "640", "480", 1, 1};
    EXPECT_EQ(FillViewerTemplate("[ITEMS] [ITEMS]/[ITEMS] [items] [TYPE] [WIDTH]x[HEIGHT]", facts),
              "36 36/36 [items] jpg 640x480");
    facts.typeIndex = 1;
    facts.widthText.clear();
    facts.areaWidth = 1200;
    EXPECT_EQ(FillViewerTemplate("[TYPE]:[WIDTH]:[HEIGHT]", facts), "png:1200:480");
    EXPECT_EQ(FillViewerTemplate("no placeholders\r\n", facts), "no placeholders\r\n");
}

TEST(ViewerPage, MissingTemplateOrFolderIsAnErrorNamingTheFile) {
    const std::filesystem::path dir = FreshTempDir("page");
    const std::string templatePath = (dir / "Turnlet.html").string();
    ViewerPageFacts facts{3, 0, "10", "10", 0, 0};
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
