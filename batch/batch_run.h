// SPDX-License-Identifier: MIT
// Running a studio batch: each product made from the template, exported, and recorded once finished.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "base/status.h"
#include "base/tasks.h"
#include "batch/batch_record.h"
#include "project/project.h"

namespace turnlet {

// Where a product's work stands, for progress.
enum class ProductStage { FindingTurn, Aligning, Exporting };

// What a batch shows. Calls come from the batch's threads, one at a time (never two at once).
class BatchObserver {
  public:
    virtual ~BatchObserver() = default;
    // Before the first product: how many products this run takes, on how many lanes.
    virtual void batchStarted(int products, int jobs) {}
    virtual void productStarted(int index, const std::string& name) {}
    // done of total steps of the stage (frames handed out while exporting).
    virtual void productProgress(int index, ProductStage stage, int done, int total) {}
    virtual void productEnded(int index, const ProductResult& result) {}
};

struct BatchSettings {
    Project templateProject;
    std::string templateText;  // the template as its file would be: a product made from another is redone
    std::string root;          // the output root: each product in ROOT/<folder name>/
    std::string viewerTemplate;
    std::string ffmpegPath;  // for a template that asks for an MP4 of the turn; empty: ffmpeg on the PATH
    bool align = false;
    bool findLast = false;
    bool force = false;  // redo products finished earlier
    int jobs = 1;        // products side by side (lowered to the cores and the memory)
    // Words a failure for the report; without it, its kind and details as plain text.
    std::function<std::string(BatchFailure, const std::vector<std::string>&)> describe;
};

// Reads the template project (its photos may be gone: only its set-up is used).
Status LoadBatchTemplate(const std::string& path, BatchSettings& settings);

// The folder where products are put together before they appear under the root, and the file name
// of a product's project there.
inline constexpr const char* kStagingFolder = ".turnlet-batch";
std::string ProductProjectName(const std::string& name);

// Products side by side: what was asked, at most one per core and as many as the available memory
// holds at bytesPerJob each (at least one).
int FitJobs(int asked, long long bytesPerJob);

// One product. A product counts as done only once its folder under the root holds the export, its
// project and its record: they are put together in the staging folder and moved into place in one
// rename, so the root never holds part of a product; a failed or stopped product leaves nothing.
ProductResult RunProduct(const BatchSettings& settings, const std::string& folder, const std::string& name,
                         const CancelToken& stop, const std::function<void(ProductStage, int, int)>& progress);

// The products of folders (or only the one at index only, when only >= 0), on settings.jobs lanes;
// a product that fails is reported and the rest go on. Folders with one name: all but the first fail.
// Returns a row for each product run, in the folders' order.
std::vector<ProductResult> RunBatch(const BatchSettings& settings, const std::vector<std::string>& folders,
                                    BatchObserver& observer, const CancelToken& stop, int only = -1);

// Whether every row is done or skipped.
bool AllSucceeded(const std::vector<ProductResult>& results);

}  // namespace turnlet
