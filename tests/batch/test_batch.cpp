// SPDX-License-Identifier: MIT
// The studio batch: the template's rules, the record, the report, resuming and failing products.
#include <algorithm>
#include <filesystem>
#include <map>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "base/files.h"
#include "batch/batch_product.h"
#include "batch/batch_report.h"
#include "batch/batch_run.h"
#include "codecs/image_files.h"
#include "export/export_engine.h"
#include "session/make_export_plan.h"
#include "shell/batch_texts.h"
#include "temp_folder.h"
#include "tools/sample_scene.h"

namespace turnlet {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::TempFolder;

constexpr int kWidth = 96, kHeight = 72;

// A product folder of `frames` small photos (scale times the usual size) of a turn.
std::string MakeProduct(const std::string& folder, int frames, double turnDegrees = 360, int scale = 1) {
    fs::create_directories(folder);
    for (int f = 0; f < frames; ++f) {
        const double turn = SampleTurnRadians(turnDegrees, f, frames);
        const Picture picture = RenderSampleFrame(kWidth * scale, kHeight * scale, turn, f, 1, 1);
        char name[32];
        std::snprintf(name, sizeof name, "/photo_%d.jpg", f + 1);  // no leading zeros: name order matters
        EXPECT_TRUE(SavePicture(picture, folder + name, 90).ok());
    }
    return folder;
}

Project TemplateWith(int photos, int first, int last, int frames) {
    Project project;
    for (int i = 0; i < photos; ++i) project.sources.push_back("/set-up/p" + std::to_string(i) + ".jpg");
    project.firstFrame = first;
    project.lastFrame = last;
    project.crop = CropArea{8, 6, 80, 60};
    project.rotationIndex = 0;
    project.exportSettings.frames = frames;
    project.exportSettings.width = 40;
    project.exportSettings.height = 30;
    project.exportSettings.directory = "/set-up/export";
    // The viewer page is the command-line test's; here the frames are what counts.
    project.exportSettings.html5Viewer = false;
    return project;
}

// Every file under folder, by its path inside it, with its bytes.
std::map<std::string, std::string> Tree(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file()) files[fs::relative(entry.path(), folder).string()] = ReadBytes(entry.path());
    return files;
}

std::map<std::string, std::string> Frames(const fs::path& folder) {
    std::map<std::string, std::string> frames = Tree(folder);
    std::erase_if(frames, [](const auto& file) { return !file.first.ends_with(".jpg"); });
    return frames;
}

class Recorder : public BatchObserver {
  public:
    std::function<void(int index, int done)> onExportProgress;
    int ended = 0;
    void productProgress(int index, ProductStage stage, int done, int) override {
        if (stage == ProductStage::Exporting && onExportProgress) onExportProgress(index, done);
    }
    void productEnded(int, const ProductResult&) override { ++ended; }
};

BatchSettings Settings(const Project& templateProject, const std::string& root) {
    BatchSettings settings;
    settings.templateProject = templateProject;
    settings.templateText = WriteProjectText(templateProject);
    settings.root = root;
    settings.describe = [](BatchFailure failure, const std::vector<std::string>& details) {
        return BatchFailureText(failure, details, Language::English);
    };
    return settings;
}

TEST(BatchProduct, NameOrderTakesNumbersAsNumbers) {
    const std::vector<std::pair<std::string, std::string>> ordered = {
        {"img2.jpg", "img10.jpg"}, {"a.jpg", "b.jpg"}, {"img9", "img09a"}, {"img01", "img1a"}, {"x", "x1"},
        {"IMG_0009", "IMG_0010"},  {"img1", "img01"},  {"img01", "img1a"}, {"b1c", "b01d"},
    };
    for (const auto& [a, b] : ordered) {
        EXPECT_TRUE(NameOrderLess(a, b)) << a << " < " << b;
        EXPECT_FALSE(NameOrderLess(b, a)) << b << " < " << a;
    }
    EXPECT_FALSE(NameOrderLess("same", "same"));
}

TEST(BatchProduct, TheTemplatesTurnRuleAndFramesCarryOver) {
    struct Case {
        int templatePhotos, first, last, frames;  // the template
        int photos;                               // the product
        BatchFailure failure;
        int wantFirst, wantLast, wantFrames;
    };
    const Case cases[] = {
        {36, 0, 35, 36, 40, BatchFailure::None, 0, 39, 40},    // all photos, a frame each
        {38, 1, 36, 36, 40, BatchFailure::None, 1, 38, 38},    // one skipped, one left off, a frame each
        {36, 0, 35, 100, 24, BatchFailure::None, 0, 23, 100},  // a fixed frame count stays
        {10, 3, 6, 4, 5, BatchFailure::TooFewPhotos, 0, 0, 0}, {10, 0, 9, 10, 0, BatchFailure::NoPhotos, 0, 0, 0},
        {0, 0, 0, 100, 3, BatchFailure::None, 0, 2, 100},  // a set-up without photos takes all
    };
    for (const Case& c : cases) {
        const Project set = TemplateWith(c.templatePhotos, c.first, c.last, c.frames);
        std::vector<std::string> photos;
        for (int i = 0; i < c.photos; ++i) photos.push_back("/shoot/q" + std::to_string(i) + ".jpg");
        Project product;
        std::vector<std::string> details;
        const BatchFailure failure = MakeProductProject(set, photos, "/out/q", product, details);
        SCOPED_TRACE(std::to_string(c.templatePhotos) + " " + std::to_string(c.photos));
        ASSERT_EQ(failure, c.failure);
        if (failure != BatchFailure::None) continue;
        EXPECT_EQ(product.firstFrame, c.wantFirst);
        EXPECT_EQ(product.lastFrame, c.wantLast);
        EXPECT_EQ(product.exportSettings.frames, c.wantFrames);
        EXPECT_EQ(product.exportSettings.directory, "/out/q");
        EXPECT_EQ(product.crop, set.crop);
        EXPECT_EQ(product.sources, photos);
    }
}

TEST(BatchProduct, OnlyKeyframeValuesHeldByEveryFrameCarryOver) {
    Project set = TemplateWith(6, 0, 5, 6);
    // Scale and contrast are set up for the whole turn; DX differs per photo (an alignment).
    ChangeKeyframe(set.keyframes, set.sources[0], {1, 0, 0, 12, 0, 5, 0});
    ChangeKeyframe(set.keyframes, set.sources[3], {-2, 0, 0, 12, 0, 5, 0});
    EXPECT_EQ(SetUpValues(set), (KeyframeValues{0, 0, 0, 12, 0, 5, 0}));

    const std::vector<std::string> photos = {"/s/a.jpg", "/s/b.jpg", "/s/c.jpg"};
    Project product;
    std::vector<std::string> details;
    ASSERT_EQ(MakeProductProject(set, photos, "/o", product, details), BatchFailure::None);
    ASSERT_EQ(product.keyframes.size(), 1u);
    EXPECT_EQ(product.keyframes[0].path, "/s/a.jpg");
    for (const FrameRow& row : ProjectFrames(product)) EXPECT_EQ(row.values[kScale], 12);

    // Nothing set up: no keyframe at all.
    ASSERT_EQ(MakeProductProject(TemplateWith(6, 0, 5, 6), photos, "/o", product, details), BatchFailure::None);
    EXPECT_TRUE(product.keyframes.empty());
}

TEST(BatchRecord, ReadsBackWhatItWroteAndRefusesAnythingLess) {
    ProductResult result;
    result.photos = 36;
    result.framesWritten = 72;
    result.firstFrame = 1;
    result.lastFrame = 35;
    result.alignConfidence = 0.875;
    result.unalignedFrames = 2;
    result.seconds = 12.5;
    const std::vector<std::string> files = {"0001.jpg", "half/0001.jpg", "ваза = 2.trn.prj"};
    const std::string text = WriteRecordText(result, 0x0123456789abcdefull, files);
    ProductResult back;
    std::uint64_t print = 0;
    std::vector<std::string> outputs;
    ASSERT_TRUE(ReadRecordText(text, back, print, outputs));
    EXPECT_EQ(print, 0x0123456789abcdefull);
    EXPECT_EQ(outputs, files);
    EXPECT_EQ(back, result);
    // A name that cannot stand on a line leaves the list out, as a record from before lists were kept.
    ASSERT_TRUE(ReadRecordText(WriteRecordText(result, 1, {"0001.jpg", "two\nlines"}), back, print, outputs));
    EXPECT_TRUE(outputs.empty());
    // Cut short anywhere (a crash while it was written by something less careful) or changed, it
    // is no record.
    for (std::size_t cut = 0; cut + 2 < text.size(); cut += 7)
        EXPECT_FALSE(ReadRecordText(text.substr(0, cut), back, print, outputs));
    for (const char* bad : {"PHOTOS=36\r\n", "FRAMES=x\r\n", "FINGERPRINT=zz\r\n", "SECONDS=\r\n"}) {
        std::string changed = text;
        const std::string key = std::string(bad).substr(0, std::string(bad).find('=') + 1);
        const std::size_t at = changed.find(key);
        changed.replace(at, changed.find('\n', at) + 1 - at, std::string(bad) == "PHOTOS=36\r\n" ? "" : bad);
        EXPECT_FALSE(ReadRecordText(changed, back, print, outputs)) << bad;
    }
}

TEST(BatchReport, QuotesAndEscapesWhatItMust) {
    ProductResult odd;
    odd.name = "vase, \"blue\"";
    odd.folder = "/shoot/ваза";
    odd.state = ProductState::Failed;
    odd.message = "line one\nline\ttwo \\ \x01";
    ProductResult plain;
    plain.name = "cup";
    plain.folder = "/shoot/cup";
    plain.state = ProductState::Done;
    plain.photos = 36;
    plain.framesWritten = 36;
    plain.firstFrame = 0;
    plain.lastFrame = 35;
    plain.turnConfidence = 0.9;
    const std::string csv = ReportCsv({odd, plain});
    EXPECT_NE(csv.find("\"vase, \"\"blue\"\"\",/shoot/ваза,failed,0,0,,,,0,,0.000,\"line one\nline\ttwo \\ \x01\"\r\n"),
              std::string::npos)
        << csv;
    EXPECT_NE(csv.find("cup,/shoot/cup,done,36,36,0,35,,0,0.900,0.000,\r\n"), std::string::npos) << csv;
    const std::string json = ReportJson({odd, plain});
    EXPECT_NE(json.find("\"product\": \"vase, \\\"blue\\\"\", \"folder\": \"/shoot/ваза\""), std::string::npos);
    EXPECT_NE(json.find("\"message\": \"line one\\nline\\ttwo \\\\ \\u0001\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"first_frame\": null, \"last_frame\": null, \"align_confidence\": null"), std::string::npos);
    EXPECT_NE(json.find("\"succeeded\": 1,\r\n  \"failed\": 1,\r\n  \"stopped\": 0"), std::string::npos);
}

TEST(BatchTexts, EveryFailureIsWordedInBothLanguages) {
    for (const BatchFailure failure :
         {BatchFailure::NoPhotos, BatchFailure::TooFewPhotos, BatchFailure::NoFullTurn, BatchFailure::CropDoesNotFit,
          BatchFailure::SameName, BatchFailure::BlankFrames}) {
        const std::vector<std::string> details = {"1", "2", "3", "4", "5", "6"};
        const std::string english = BatchFailureText(failure, details, Language::English);
        const std::string russian = BatchFailureText(failure, details, Language::Russian);
        EXPECT_FALSE(english.empty());
        EXPECT_NE(english, russian);
        EXPECT_EQ(english.find('{'), std::string::npos) << english;
        EXPECT_EQ(russian.find('{'), std::string::npos) << russian;
    }
}

class BatchRun : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(folder.ok());
        shoot = folder.file("shoot");
        root = folder.file("out");
        for (const char* name : {"cup", "mug", "vase"}) folders.push_back(MakeProduct(shoot + "/" + name, 8));
    }
    TempFolder folder;
    std::string shoot, root;
    std::vector<std::string> folders;
    Project set = TemplateWith(8, 0, 7, 8);
};

TEST_F(BatchRun, ExportsEachProductAsItsOwnProjectWouldAndSkipsItNextTime) {
    Recorder recorder;
    const std::vector<ProductResult> results = RunBatch(Settings(set, root), folders, recorder, CancelToken());
    ASSERT_EQ(results.size(), 3u);
    ASSERT_TRUE(AllSucceeded(results));
    EXPECT_EQ(recorder.ended, 3);
    for (const ProductResult& r : results) {
        EXPECT_EQ(r.state, ProductState::Done) << r.message;
        EXPECT_EQ(r.photos, 8);
        EXPECT_EQ(r.framesWritten, 8);
        EXPECT_EQ(r.lastFrame, 7);
    }
    EXPECT_FALSE(fs::exists(fs::path(root) / kStagingFolder));

    // The saved project exported by itself writes the same frames, from the photos in name order.
    Project saved;
    ASSERT_TRUE(OpenProject(saved, root + "/vase/vase.trn.prj", {}).ok());
    EXPECT_EQ(saved.sources.back(), shoot + "/vase/photo_8.jpg");
    EXPECT_EQ(saved.exportSettings.directory, root + "/vase");
    ExportPlanRequest request;
    request.pictureWidth = kWidth;
    request.pictureHeight = kHeight;
    request.directory = folder.file("direct");
    auto plan = std::make_shared<ExportPlan>();
    ASSERT_TRUE(MakeExportPlan(saved, request, *plan).ok());
    fs::create_directories(folder.file("direct"));
    struct Quiet : ExportObserver {
        void exportProgress(int) override {}
        void exportPreview(const Picture&) override {}
        void exportPreviewCleared() override {}
        void exportEnded(const ExportOutcome&) override {}
    } quiet;
    ExportPicture direct(std::make_shared<ExportSession>(quiet, plan), {});
    direct.Start();
    ASSERT_TRUE(direct.Wait().succeeded());
    EXPECT_EQ(Frames(folder.file("direct")), Frames(root + "/vase"));

    // Again: nothing is redone; a changed photo, or --force, redoes its product only.
    const auto before = Tree(root);
    std::vector<ProductResult> again = RunBatch(Settings(set, root), folders, recorder, CancelToken());
    for (const ProductResult& r : again) EXPECT_EQ(r.state, ProductState::Skipped);
    EXPECT_EQ(again[2].framesWritten, 8);
    EXPECT_EQ(Tree(root), before);
    MakeProduct(shoot + "/cup", 9);
    again = RunBatch(Settings(set, root), folders, recorder, CancelToken());
    EXPECT_EQ(again[0].state, ProductState::Done);
    EXPECT_EQ(again[0].photos, 9);
    EXPECT_EQ(again[1].state, ProductState::Skipped);
    // Work done by hand in a product (its project saved again, a file added) is kept; a frame
    // deleted by hand redoes the product.
    testing::WriteBytes(root + "/vase/vase.trn.prj", ReadBytes(root + "/vase/vase.trn.prj") + "\r\n");
    testing::WriteBytes(root + "/vase/notes.txt", "retouch 0003");
    again = RunBatch(Settings(set, root), folders, recorder, CancelToken());
    EXPECT_EQ(again[2].state, ProductState::Skipped);
    EXPECT_TRUE(fs::exists(root + "/vase/notes.txt"));
    fs::remove(root + "/vase/" + std::next(Frames(root + "/vase").begin(), 3)->first);
    again = RunBatch(Settings(set, root), folders, recorder, CancelToken());
    EXPECT_EQ(again[2].state, ProductState::Done);
    EXPECT_EQ(again[1].state, ProductState::Skipped);
    EXPECT_EQ(Frames(root + "/vase").size(), 8u);
    BatchSettings forced = Settings(set, root);
    forced.force = true;
    again = RunBatch(forced, folders, recorder, CancelToken(), 1);
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(again[0].name, "mug");
    EXPECT_EQ(again[0].state, ProductState::Done);
    EXPECT_EQ(Frames(root + "/mug").size(), 8u);
}

TEST_F(BatchRun, SideBySideWritesTheSameBytes) {
    Recorder recorder;
    BatchSettings settings = Settings(set, root);
    ASSERT_TRUE(AllSucceeded(RunBatch(settings, folders, recorder, CancelToken())));
    settings.root = folder.file("two");
    settings.jobs = 2;
    ASSERT_TRUE(AllSucceeded(RunBatch(settings, folders, recorder, CancelToken())));
    for (const char* name : {"cup", "mug", "vase"})
        EXPECT_EQ(Frames(root + "/" + name), Frames(folder.file("two") + "/" + name)) << name;
}

TEST_F(BatchRun, AFailingProductIsReportedAndTheOthersGoOn) {
    // Too few photos; a damaged photo; a folder named like another; one that is no folder.
    const std::string few = MakeProduct(shoot + "/few", 1);
    const std::string damaged = MakeProduct(shoot + "/damaged", 8);
    testing::WriteBytes(damaged + "/photo_5.jpg", ReadBytes(damaged + "/photo_5.jpg").substr(0, 300));
    const std::string twin = MakeProduct(folder.file("elsewhere/cup"), 8);
    std::vector<std::string> all = {few, folders[0], damaged, twin, folder.file("missing"), folders[1]};
    Recorder recorder;
    const std::vector<ProductResult> results = RunBatch(Settings(set, root), all, recorder, CancelToken());
    ASSERT_EQ(results.size(), all.size());
    EXPECT_FALSE(AllSucceeded(results));
    const ProductState states[] = {ProductState::Failed, ProductState::Done,   ProductState::Failed,
                                   ProductState::Failed, ProductState::Failed, ProductState::Done};
    for (std::size_t i = 0; i < all.size(); ++i) EXPECT_EQ(results[i].state, states[i]) << all[i];
    EXPECT_EQ(results[0].failure, BatchFailure::TooFewPhotos);
    EXPECT_NE(results[0].message.find("too few photos: 1 found"), std::string::npos) << results[0].message;
    EXPECT_NE(results[2].message.find("photo_5.jpg"), std::string::npos) << results[2].message;
    EXPECT_EQ(results[3].failure, BatchFailure::SameName);
    EXPECT_NE(results[4].message.find("missing"), std::string::npos);
    // A failed product leaves nothing behind: no folder, no frames in staging.
    for (const char* name : {"few", "damaged", "missing"}) EXPECT_FALSE(fs::exists(fs::path(root) / name)) << name;
    EXPECT_FALSE(fs::exists(fs::path(root) / kStagingFolder));
}

// Two batches given the same root: the product another batch is building is left to it, untouched.
TEST_F(BatchRun, AProductAnotherBatchBuildsIsLeftToIt) {
    const fs::path staging = fs::path(root) / kStagingFolder;
    fs::create_directories(staging / "cup");
    testing::WriteBytes((staging / "cup" / "0001.jpg").string(), "being written");
    const int other = ::open((staging / "cup.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    Recorder recorder;
    const std::vector<ProductResult> results =
        RunBatch(Settings(set, root), {folders[0], folders[1]}, recorder, CancelToken());
    ::close(other);
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].state, ProductState::Failed);
    EXPECT_NE(results[0].message.find("another batch"), std::string::npos) << results[0].message;
    EXPECT_EQ(results[1].state, ProductState::Done);
    EXPECT_TRUE(fs::exists(staging / "cup" / "0001.jpg"));
    EXPECT_FALSE(fs::exists(staging / "mug.lock"));
}

TEST_F(BatchRun, AnInterruptedProductLeavesNoFramesAndIsRedone) {
    // What a killed run leaves: part of a product in the staging folder, and an older product
    // without a record.
    const fs::path staged = fs::path(root) / kStagingFolder / "mug";
    fs::create_directories(staged);
    testing::WriteBytes((staged / "0001.jpg").string(), "half");
    testing::WriteBytes((staged / "0099.jpg").string(), "stale");
    fs::create_directories(fs::path(root) / "vase");
    testing::WriteBytes(root + "/vase/0001.jpg", "old");

    // Stop the batch while the second product is half exported.
    BatchSettings settings = Settings(set, root);
    CancelToken stop;
    Recorder recorder;
    recorder.onExportProgress = [&](int index, int done) {
        if (index == 1 && done == 4) stop.cancel();
    };
    std::vector<ProductResult> results = RunBatch(settings, folders, recorder, stop);
    EXPECT_EQ(results[0].state, ProductState::Done);
    EXPECT_EQ(results[1].state, ProductState::Stopped);
    EXPECT_EQ(results[1].framesWritten, 0);  // the report counts frames kept
    EXPECT_EQ(results[2].state, ProductState::Stopped);
    EXPECT_FALSE(fs::exists(fs::path(root) / "mug"));
    EXPECT_FALSE(fs::exists(staged));
    EXPECT_EQ(ReadBytes(root + "/vase/0001.jpg"), "old");

    recorder.onExportProgress = nullptr;
    results = RunBatch(settings, folders, recorder, CancelToken());
    EXPECT_EQ(results[0].state, ProductState::Skipped);
    EXPECT_EQ(results[1].state, ProductState::Done);
    EXPECT_EQ(results[2].state, ProductState::Done);
    EXPECT_EQ(Frames(root + "/mug").size(), 8u);
    EXPECT_EQ(Frames(root + "/vase").size(), 8u);
    EXPECT_NE(ReadBytes(root + "/vase/0001.jpg"), "old");
    EXPECT_FALSE(fs::exists(fs::path(root) / kStagingFolder));
}

TEST_F(BatchRun, FindsTheTurnAndAlignsWhenAsked) {
    const std::string over = MakeProduct(shoot + "/over", 40, 400, 3);
    const PixelRect crop = SampleCrop(kWidth * 3, kHeight * 3);
    set.crop = CropArea{crop.left, crop.top, crop.width, crop.height};
    BatchSettings settings = Settings(set, root);
    settings.findLast = true;
    settings.align = true;
    Recorder recorder;
    const std::vector<ProductResult> results = RunBatch(settings, {over}, recorder, CancelToken());
    ASSERT_EQ(results[0].state, ProductState::Done) << results[0].message;
    EXPECT_EQ(results[0].lastFrame, 35);
    EXPECT_EQ(results[0].framesWritten, 36);  // a frame per photo, as the template
    ASSERT_TRUE(results[0].alignConfidence.has_value());
    EXPECT_GT(*results[0].alignConfidence, 0.5);
    ASSERT_TRUE(results[0].turnConfidence.has_value());
    Project saved;
    ASSERT_TRUE(OpenProject(saved, root + "/over/over.trn.prj", {}).ok());
    EXPECT_EQ(saved.lastFrame, 35);
    EXPECT_EQ(saved.keyframes.size(), 36u);
}

}  // namespace
}  // namespace turnlet
