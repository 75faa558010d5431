// SPDX-License-Identifier: MIT
// Running a studio batch: each product made from the template, exported, and recorded once finished.
#include "batch/batch_run.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "align/align_keyframes.h"
#include "align/turn_alignment.h"
#include "align/turn_end.h"
#include "base/files.h"
#include "batch/batch_product.h"
#include "codecs/image_files.h"
#include "export/export_engine.h"
#include "session/make_export_plan.h"

namespace turnlet {
namespace {

namespace fs = std::filesystem;

// Feeds an export's progress on and stops it when the batch is stopped (both on the export's
// worker thread, where the session's hand-overs run for an owner that posts nothing).
class ProductExport : public ExportObserver {
  public:
    ProductExport(const CancelToken& stop, std::function<void(int)> progress)
        : stop_(stop), progress_(std::move(progress)) {}
    void attach(ExportSession* session) { session_ = session; }
    void exportProgress(int position) override {
        if (position > 0) progress_(position);
        if (stop_.cancelled() && session_) session_->Stop();
    }
    void exportPreview(const Picture&) override {}
    void exportPreviewCleared() override {}
    void exportEnded(const ExportOutcome&) override {}

  private:
    CancelToken stop_;
    std::function<void(int)> progress_;
    ExportSession* session_ = nullptr;
};

std::string PlainWords(BatchFailure failure, const std::vector<std::string>& details) {
    std::string text;
    switch (failure) {
        case BatchFailure::None:
            return {};
        case BatchFailure::Error:
            text = "error";
            break;
        case BatchFailure::NoPhotos:
            text = "no photos";
            break;
        case BatchFailure::TooFewPhotos:
            text = "too few photos";
            break;
        case BatchFailure::NoFullTurn:
            text = "no full turn found";
            break;
        case BatchFailure::CropDoesNotFit:
            text = "the crop does not fit";
            break;
        case BatchFailure::SameName:
            text = "another folder has the same name";
            break;
        case BatchFailure::BlankFrames:
            text = "blank frames";
            break;
    }
    for (const std::string& d : details) text += (&d == &details.front() ? ": " : ", ") + d;
    return text;
}

// Held while one product is built, so two batches given the same root never build it at once. An
// advisory lock of the file system: it goes with the process, so a killed batch leaves none behind.
class ProductLock {
  public:
    explicit ProductLock(fs::path file) : file_(std::move(file)) {
        fd_ = ::open(file_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        held_ = fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) == 0;
    }
    ~ProductLock() {
        // Removed while still held, so the staging folder can go when it is empty.
        if (held_) ::unlink(file_.c_str());
        if (fd_ >= 0) ::close(fd_);
    }
    ProductLock(const ProductLock&) = delete;
    ProductLock& operator=(const ProductLock&) = delete;
    bool held() const { return held_; }

  private:
    fs::path file_;
    int fd_ = -1;
    bool held_ = false;
};

void RemoveAll(const fs::path& path) {
    std::error_code ec;
    fs::remove_all(path, ec);
}

// Moves the finished staging folder into place: the old product (a redo) goes aside first and is
// removed after, so the root holds either the old product or the new one whole.
Status Publish(const fs::path& staged, const fs::path& target, const fs::path& aside) {
    std::error_code ec;
    RemoveAll(aside);
    if (fs::exists(fs::symlink_status(target, ec))) {
        fs::rename(target, aside, ec);
        if (ec) return Status::Error(target.string(), "the earlier export cannot be moved aside: " + ec.message());
    }
    fs::rename(staged, target, ec);
    if (ec) return Status::Error(target.string(), "the finished export cannot be moved into place: " + ec.message());
    RemoveAll(aside);
    return Status::Ok();
}

}  // namespace

std::string ProductProjectName(const std::string& name) {
    return ProjectFileNameForSave(name);
}

Status LoadBatchTemplate(const std::string& path, BatchSettings& settings) {
    Project project;
    if (Status status = OpenProject(project, path, {}); !status.ok()) return status;
    // The set-up as the project file writes it, so that the editor's batch (which has no file) and
    // this one agree on what was done with it.
    settings.templateText = WriteProjectText(project);
    settings.templateProject = std::move(project);
    return Status::Ok();
}

int FitJobs(int asked, long long bytesPerJob) {
    int jobs = std::clamp(asked, 1, PoolThreads());
    std::ifstream meminfo("/proc/meminfo");
    std::string key;
    long long kb = 0;
    std::string unit;
    while (meminfo >> key >> kb >> unit) {
        if (key != "MemAvailable:") continue;
        if (bytesPerJob > 0) jobs = static_cast<int>(std::clamp<long long>(kb * 1024 / bytesPerJob, 1, jobs));
        break;
    }
    return jobs;
}

ProductResult RunProduct(const BatchSettings& settings, const std::string& folder, const std::string& name,
                         const CancelToken& stop, const std::function<void(ProductStage, int, int)>& progress) {
    const auto started = std::chrono::steady_clock::now();
    ProductResult result;
    result.folder = folder;
    result.name = name;
    // Absolute, so that the product's project names its export folder wherever it is opened.
    std::error_code absoluteError;
    const fs::path root = fs::absolute(settings.root, absoluteError).lexically_normal();
    const fs::path target = root / name;
    const fs::path staged = root / kStagingFolder / name;
    const fs::path aside = root / kStagingFolder / (name + ".old");

    auto fail = [&](BatchFailure failure, std::vector<std::string> details) {
        RemoveAll(staged);
        result.framesWritten = 0;
        result.state = ProductState::Failed;
        result.failure = failure;
        result.details = std::move(details);
        result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        return result;
    };
    auto failWith = [&](const Status& status) { return fail(BatchFailure::Error, {status.message()}); };
    auto stopped = [&] {
        RemoveAll(staged);
        result.state = ProductState::Stopped;
        result.framesWritten = 0;  // none of them is kept
        return result;
    };

    std::vector<std::string> photos;
    if (Status status = ListPhotos(folder, photos); !status.ok()) return failWith(status);
    result.photos = static_cast<int>(photos.size());

    Fingerprint print;
    print.add(settings.templateText);
    print.add(settings.align ? "align" : "");
    print.add(settings.findLast ? "find-last" : "");
    print.add(name);
    for (const std::string& photo : photos) {
        if (!print.addFile(photo)) return failWith(Status::Error(photo, "the photo cannot be looked at"));
    }
    if (!settings.force) {
        std::string text;
        ProductResult earlier = result;
        std::uint64_t recorded = 0;
        std::vector<std::string> outputs;
        if (ReadWholeFile((target / kRecordFileName).string(), text, 16 << 20).ok() &&
            ReadRecordText(text, earlier, recorded, outputs) && recorded == print.value() &&
            earlier.photos == result.photos && ProductFilesPresent(target.string(), outputs)) {
            earlier.state = ProductState::Skipped;
            return earlier;
        }
    }
    if (stop.cancelled()) return stopped();

    std::error_code ec;
    fs::create_directories(root / kStagingFolder, ec);
    const ProductLock lock(root / kStagingFolder / (name + ".lock"));
    if (!lock.held()) {
        // Its staging folder is the other batch's: left as it is.
        result.state = ProductState::Failed;
        result.failure = BatchFailure::Error;
        result.details = {target.string() + ": another batch is building this product now"};
        return result;
    }
    // Whatever an interrupted run left in the staging folder goes first.
    RemoveAll(staged);
    fs::create_directories(staged, ec);
    if (ec) return failWith(Status::Error(staged.string(), "the folder cannot be made: " + ec.message()));

    Project project;
    std::vector<std::string> details;
    if (const BatchFailure failure =
            MakeProductProject(settings.templateProject, photos, target.string(), project, details);
        failure != BatchFailure::None)
        return fail(failure, failure == BatchFailure::NoPhotos ? std::vector<std::string>{folder} : details);
    const bool framePerPhoto = ExportsFramePerPhoto(settings.templateProject);
    int width = 0, height = 0;
    if (Status status = TurnedSourceSize(project, width, height); !status.ok()) return failWith(status);
    if (!CropFits(project, width, height, details)) return fail(BatchFailure::CropDoesNotFit, details);
    const CropArea crop = ResolveCrop(project.crop, width, height);

    AlignSettings align;
    align.rotationDegrees = project.rotationDegrees();
    align.crop = {crop.left, crop.top, crop.width, crop.height};
    auto callbacks = [&](ProductStage stage) {
        AlignCallbacks c;
        c.progress = [&progress, stage](int done, int total) { progress(stage, done, total); };
        c.stopping = [stop] { return stop.cancelled(); };
        return c;
    };
    if (settings.findLast) {
        align.paths.assign(project.sources.begin() + project.firstFrame, project.sources.end());
        const TurnEnd end = FindTurnEnd(align, callbacks(ProductStage::FindingTurn));
        if (end.cancelled || stop.cancelled()) return stopped();
        if (!end.status.ok()) return failWith(end.status);
        result.turnConfidence = end.confidence;
        if (!end.found) return fail(BatchFailure::NoFullTurn, {});
        CutToTurn(project, project.firstFrame + end.last, framePerPhoto);
    }
    if (settings.align) {
        align.paths.assign(project.sources.begin() + project.firstFrame,
                           project.sources.begin() + project.lastFrame + 1);
        const TurnAlignment alignment = AlignTurn(align, callbacks(ProductStage::Aligning));
        if (alignment.cancelled || stop.cancelled()) return stopped();
        if (!alignment.status.ok()) return failWith(alignment.status);
        // The set-up's keyframe on the first frame is the reference the alignment adds to.
        const AppliedAlignment applied = ApplyAlignment(project.keyframes, ProjectFrames(project), project.sources,
                                                        project.firstFrame, alignment.frames, false);
        double sum = 0;
        for (const FrameAlignment& f : alignment.frames) sum += f.confidence;
        if (!alignment.frames.empty()) result.alignConfidence = sum / static_cast<double>(alignment.frames.size());
        result.unalignedFrames = static_cast<int>(applied.unaligned.size());
    }
    result.firstFrame = project.firstFrame;
    result.lastFrame = project.lastFrame;

    if (Status status = SaveProject(project, (staged / ProductProjectName(name)).string()); !status.ok())
        return failWith(status);
    ExportPlanRequest request;
    request.pictureWidth = width;
    request.pictureHeight = height;
    request.templatePath = settings.viewerTemplate;
    request.directory = staged.string();
    request.ffmpegPath = settings.ffmpegPath;
    auto plan = std::make_shared<ExportPlan>();
    if (Status status = MakeExportPlan(project, request, *plan); !status.ok()) return failWith(status);
    const int total = plan->frameCount();
    ProductExport observer(stop, [&progress, total](int done) { progress(ProductStage::Exporting, done, total); });
    auto session = std::make_shared<ExportSession>(observer, plan);
    observer.attach(session.get());
    ExportOutcome outcome;
    {
        ExportPicture worker(session, {});
        worker.Start();
        outcome = worker.Wait();
    }
    result.framesWritten = outcome.written;
    if (outcome.end == ExportOutcome::End::Stopped || stop.cancelled()) return stopped();
    if (outcome.end == ExportOutcome::End::Failed) return failWith(outcome.failure);
    if (!outcome.problems.empty())
        return fail(BatchFailure::BlankFrames,
                    {std::to_string(outcome.problems.size()), outcome.problems.front().source});
    if (!outcome.pageFailure.ok()) return failWith(outcome.pageFailure);
    if (!outcome.videoFailure.ok()) return failWith(outcome.videoFailure);

    result.state = ProductState::Done;
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    // The record is the last file of the product: without it the product is not done.
    if (Status status = WriteFileAtomically((staged / kRecordFileName).string(),
                                            WriteRecordText(result, print.value(), ProductFiles(staged.string())));
        !status.ok())
        return failWith(status);
    if (Status status = Publish(staged, target, aside); !status.ok()) return failWith(status);
    return result;
}

std::vector<ProductResult> RunBatch(const BatchSettings& settings, const std::vector<std::string>& folders,
                                    BatchObserver& observer, const CancelToken& stop, int only) {
    // Which products run, and the first folder that claimed each name.
    std::vector<int> chosen;
    std::map<std::string, int> owner;
    std::vector<std::string> names(folders.size());
    for (std::size_t i = 0; i < folders.size(); ++i) {
        names[i] = ProductName(folders[i]);
        owner.emplace(names[i], static_cast<int>(i));
        if (only < 0 || static_cast<int>(i) == only) chosen.push_back(static_cast<int>(i));
    }

    // A job holds about five decoded photos at once (the export's steady state plus the frames in
    // flight): four bytes a pixel of the first product's first photo.
    long long bytesPerJob = 0;
    for (const int i : chosen) {
        std::vector<std::string> photos;
        int w = 0, h = 0;
        if (ListPhotos(folders[static_cast<std::size_t>(i)], photos).ok() && !photos.empty() &&
            ReadPictureSize(photos.front(), w, h).ok()) {
            bytesPerJob = 5LL * 4 * w * h;
            break;
        }
    }
    const int jobs = std::min(FitJobs(settings.jobs, bytesPerJob), std::max(1, static_cast<int>(chosen.size())));

    std::vector<ProductResult> results(chosen.size());
    std::mutex lock;
    observer.batchStarted(static_cast<int>(chosen.size()), jobs);
    std::atomic<int> next{0};
    auto lane = [&] {
        for (int k = next++; k < static_cast<int>(chosen.size()); k = next++) {
            const int i = chosen[static_cast<std::size_t>(k)];
            const std::string& folder = folders[static_cast<std::size_t>(i)];
            const std::string& name = names[static_cast<std::size_t>(i)];
            ProductResult& result = results[static_cast<std::size_t>(k)];
            result.folder = folder;
            result.name = name;
            {
                std::lock_guard hold(lock);
                observer.productStarted(i, name);
            }
            if (name.empty()) {
                result.state = ProductState::Failed;
                result.failure = BatchFailure::Error;
                result.details = {Status::Error(folder, "a folder without a name of its own").message()};
            } else if (owner[name] != i) {
                result.state = ProductState::Failed;
                result.failure = BatchFailure::SameName;
                result.details = {folders[static_cast<std::size_t>(owner[name])]};
            } else if (stop.cancelled()) {
                result.state = ProductState::Stopped;
            } else {
                try {
                    result = RunProduct(settings, folder, name, stop, [&](ProductStage stage, int done, int total) {
                        std::lock_guard hold(lock);
                        observer.productProgress(i, stage, done, total);
                    });
                } catch (const std::bad_alloc&) {
                    result.state = ProductState::Failed;
                    result.failure = BatchFailure::Error;
                    result.details = {"not enough memory"};
                } catch (const std::exception& e) {
                    result.state = ProductState::Failed;
                    result.failure = BatchFailure::Error;
                    result.details = {std::string("unexpected failure: ") + e.what()};
                }
            }
            if (result.state == ProductState::Failed)
                result.message = settings.describe ? settings.describe(result.failure, result.details)
                                                   : PlainWords(result.failure, result.details);
            std::lock_guard hold(lock);
            observer.productEnded(i, result);
        }
    };
    std::vector<std::unique_ptr<DedicatedThread>> lanes;
    for (int j = 1; j < jobs; ++j) {
        auto thread = std::make_unique<DedicatedThread>();
        if (thread->start("running a product of the batch", lane)) lanes.push_back(std::move(thread));
    }
    lane();
    for (auto& thread : lanes) thread->join();
    // An empty staging folder is not left behind.
    std::error_code ec;
    fs::remove(fs::path(settings.root) / kStagingFolder, ec);
    return results;
}

bool AllSucceeded(const std::vector<ProductResult>& results) {
    return std::all_of(results.begin(), results.end(), [](const ProductResult& r) {
        return r.state == ProductState::Done || r.state == ProductState::Skipped;
    });
}

}  // namespace turnlet
