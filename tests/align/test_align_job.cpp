// SPDX-License-Identifier: MIT
// The alignment job on a real worker thread: progress and the hand-over reach the owner, and a
// cancel asked from the owner's side ends the run early, for both tasks.
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "align/align_job.h"
#include "align_test_support.h"
#include "codecs/image_files.h"
#include "temp_folder.h"

namespace turnlet {
namespace {

using testing::TempFolder;

struct Outcome {
    bool presented = false, cancelled = false, ok = false;
    int frames = 0;
    int maxDone = 0;
};

TEST(AlignJobThreaded, RunsHandsOverAndCancels) {
    TempFolder folder;
    ASSERT_TRUE(folder.ok());
    AlignSettings settings;
    for (int k = 0; k < 8; ++k) {
        settings.paths.push_back(folder.file(std::to_string(k) + ".png"));
        ASSERT_TRUE(
            SavePicture(testing::ShakenPhoto(200, 150, {k * 1.5, -k * 0.5, 0, 1}), settings.paths.back(), 90).ok());
    }
    struct Case {
        AlignTask task;
        bool cancelFirst;
    };
    for (const Case c : {Case{AlignTask::AutoAlign, false}, Case{AlignTask::AutoAlign, true},
                         Case{AlignTask::FindEnd, false}, Case{AlignTask::FindEnd, true}}) {
        SCOPED_TRACE(std::string(c.task == AlignTask::AutoAlign ? "align" : "find end") +
                     (c.cancelFirst ? ", cancelled" : ""));
        Outcome outcome;
        std::atomic<bool> handed{false};
        AlignJob job([&](const AlignJobResult& r) {
            outcome.presented = true;
            const bool align = r.request.task == AlignTask::AutoAlign;
            outcome.cancelled = align ? r.alignment.cancelled : r.end.cancelled;
            outcome.ok = align ? r.alignment.status.ok() : r.end.status.ok();
            outcome.frames = static_cast<int>(r.alignment.frames.size());
            outcome.maxDone = r.request.progress->done.load();
            handed = true;
        });
        RequestWorker<AlignJobRequest> worker([&](const AlignJobRequest& r, Worker& w) { return job(r, w); });
        AlignJobRequest request;
        request.task = c.task;
        request.settings = settings;
        request.progress = std::make_shared<AlignProgress>();
        request.progress->cancel = c.cancelFirst;
        ASSERT_TRUE(worker.tryWake(request));
        worker.waitIdle();
        ASSERT_TRUE(handed.load());
        EXPECT_TRUE(outcome.ok);
        EXPECT_EQ(outcome.cancelled, c.cancelFirst);
        if (!c.cancelFirst) {
            EXPECT_GT(outcome.maxDone, 0);
            if (c.task == AlignTask::AutoAlign) {
                EXPECT_EQ(outcome.frames, 8);
            }
        }
    }
}

}  // namespace
}  // namespace turnlet
