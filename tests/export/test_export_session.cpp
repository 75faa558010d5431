// SPDX-License-Identifier: MIT
// Export sessions: the frame limit, Stop at any counter, failures as a Status, restart and shutdown on a real owner
// thread.
#include <atomic>
#include <climits>
#include <filesystem>
#include <memory>
#include <new>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

#include "export/export_engine.h"
#include "export/export_runner.h"
#include "export_test_support.h"
#include "codecs/image_files.h"

namespace turnlet {
namespace {

using testing::EvenPlan;
using testing::FakeObserver;
using testing::FreshTempDir;
using testing::OwnerThread;

std::shared_ptr<const ExportPlan> Shared(ExportPlan plan) {
    return std::make_shared<const ExportPlan>(std::move(plan));
}

std::vector<std::string> MakeSources(const std::filesystem::path& dir, int m) {
    std::vector<std::string> sources;
    for (int i = 0; i < m; ++i) {
        Picture p(40 + i, 30);
        p.fill(0x00102030u * static_cast<Color>(i + 1));
        sources.push_back((dir / ("src" + std::to_string(i) + ".png")).string());
        EXPECT_TRUE(SavePicture(p, sources.back(), 90).ok());
    }
    return sources;
}

int FilesIn(const std::filesystem::path& dir) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) count += entry.is_regular_file();
    return count;
}

TEST(ExportFrames, CountsBeyondTheLimitAreRefusedNamingTheValueAndNeverOverflow) {
    const struct {
        int n;
        bool ok;
    } cases[] = {{INT_MIN, false},
                 {-5, false},
                 {0, false},
                 {1, true},
                 {1000, true},
                 {kMaxExportFrames, true},
                 {kMaxExportFrames + 1, false},
                 {INT_MAX, false}};
    for (const auto& c : cases) {
        const Status status = CheckExportFrames(c.n);
        EXPECT_EQ(status.ok(), c.ok) << c.n;
        if (!c.ok) {
            EXPECT_NE(status.message().find(std::to_string(c.n)), std::string::npos) << status.message();
        }
    }
}

TEST(ExportFrames, StopEndsTheExportWhereverItStands) {
    const struct {
        int n;
        int handedOut;
    } cases[] = {{4, 1}, {4, 4}, {kMaxExportFrames, 1}};
    const std::vector<std::string> sources{"/s/0.png", "/s/1.png"};
    for (const auto& c : cases) {
        FakeObserver host;
        ExportSession session(host, Shared(EvenPlan(sources, c.n, "/out")));
        Picture output;
        ExportParams params;
        for (int i = 0; i < c.handedOut; ++i) session.HandOver(output, params);
        session.Stop();
        for (int i = 0; i < 2; ++i) {
            session.HandOver(output, params);
            EXPECT_TRUE(params.SourcePath.empty()) << c.n;
        }
        EXPECT_EQ(session.ExportCounter(), c.handedOut);
        EXPECT_TRUE(host.outcomes.empty());
    }
}

TEST(ExportFrames, UpcomingPlansThisSourceAndTheNextDifferentOnes) {
    FakeObserver host;
    const std::vector<std::string> sources{"/s/0.png", "/s/1.png", "/s/2.png", "/s/3.png"};
    ExportSession session(host, Shared(EvenPlan(sources, 8, "/out")));  // 0 0 0 1 1 2 2 3
    const std::vector<std::vector<std::string>> expected = {{"/s/0.png", "/s/1.png", "/s/2.png"},
                                                            {"/s/0.png", "/s/1.png", "/s/2.png"},
                                                            {"/s/0.png", "/s/1.png", "/s/2.png"},
                                                            {"/s/1.png", "/s/2.png", "/s/3.png"},
                                                            {"/s/1.png", "/s/2.png", "/s/3.png"},
                                                            {"/s/2.png", "/s/3.png"},
                                                            {"/s/2.png", "/s/3.png"},
                                                            {"/s/3.png"}};
    Picture output;
    ExportParams params;
    for (const auto& paths : expected) {
        session.HandOver(output, params);
        std::vector<std::string> planned;
        for (const SourcePlan& plan : params.Upcoming) planned.push_back(plan.path);
        EXPECT_EQ(planned, paths) << params.SourcePath;
    }
}

// Exceptions inside the worker's run (here thrown by the owner's side of a hand-over) end the export
// with a Status that reaches the owner; the next export runs normally.
TEST(ExportRun, FailuresInsideTheWorkerReachTheOwnerAsAStatus) {
    const std::filesystem::path dir = FreshTempDir("src");
    const std::vector<std::string> sources = MakeSources(dir, 2);
    const struct {
        bool outOfMemory;
        bool viaRunner;
        const char* reason;
    } cases[] = {{true, true, "not enough memory"},
                 {false, true, "unexpected failure: the dialog went away"},
                 {false, false, "unexpected failure: the dialog went away"}};
    int index = 0;
    for (const auto& c : cases) {
        const std::filesystem::path out = FreshTempDir("out" + std::to_string(index++));
        const auto plan = Shared(EvenPlan(sources, 4, out.string()));
        FakeObserver host;
        bool armed = true;
        host.onFrameHandedOut = [&](int frame) {
            if (!armed || frame != 3) return;
            if (c.outOfMemory) throw std::bad_alloc();
            throw std::runtime_error("the dialog went away");
        };
        if (!c.viaRunner) {
            auto session = std::make_shared<ExportSession>(host, plan);
            ExportPicture worker(session, {});
            worker.Start();
            const ExportOutcome outcome = worker.Wait();
            EXPECT_EQ(outcome.end, ExportOutcome::End::Failed);
            EXPECT_EQ(outcome.failure.reason(), c.reason);
            ASSERT_EQ(host.outcomes.size(), 1u);
            continue;
        }
        OwnerThread owner;
        std::unique_ptr<ExportRunner> runner;
        owner.Run([&] {
            runner = std::make_unique<ExportRunner>(host, owner.poster());
            runner->Start(plan);
        });
        ASSERT_TRUE(owner.RunUntil([&] { return !runner->running(); }));
        owner.Run([&] {
            ASSERT_EQ(host.outcomes.size(), 1u);
            EXPECT_EQ(host.outcomes[0].failure.reason(), c.reason);
            EXPECT_TRUE(std::filesystem::exists(out / "0002.png"));
            armed = false;
            runner->Start(plan);
        });
        ASSERT_TRUE(owner.RunUntil([&] { return !runner->running(); }));
        owner.Run([&] {
            ASSERT_EQ(host.outcomes.size(), 2u);
            EXPECT_TRUE(host.outcomes[1].succeeded());
            EXPECT_EQ(FilesIn(out), 4);
            runner.reset();
        });
    }
}

// "Export result images" pressed during an export: the old worker finishes its frame in hand and
// ends; the new export starts only then, on its own table and counter.
TEST(ExportRun, RestartEndsTheOldWorkerBeforeTheNewExportWrites) {
    const std::filesystem::path dir = FreshTempDir("src");
    const std::vector<std::string> sources = MakeSources(dir, 3);
    const struct {
        const char* name;
        bool oldHandOverQueued;  // the old worker already waits in a hand-over behind the click
        bool stopAfterRestart;
    } cases[] = {{"while-rendering", false, false}, {"hand-over-queued", true, false}, {"then-stop", true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::filesystem::path outA = FreshTempDir(std::string(c.name) + "-a");
        const std::filesystem::path outB = FreshTempDir(std::string(c.name) + "-b");
        OwnerThread owner;
        std::atomic<int> posts{0};
        PostToOwner post = [&](std::function<void()> fn) {
            owner.Post(std::move(fn));
            ++posts;
        };
        // Large JPEG frames for the old export: slow to finish, and on disk only once complete.
        ExportPlan planA = EvenPlan(sources, 100, outA.string());
        planA.typeIndex = 0;
        planA.outputWidth = planA.outputHeight = 1200;
        ExportPlan planB = EvenPlan(sources, 5, outB.string());
        planB.outputWidth = planB.outputHeight = 20;
        FakeObserver host;  // owner thread only
        bool restarted = false;
        std::unique_ptr<ExportRunner> runner;
        bool oldFrameDoneAtNewStart = false;
        host.onFrameHandedOut = [&](int frame) {
            if (restarted && frame == 1) oldFrameDoneAtNewStart = std::filesystem::exists(outA / "0003.jpg");
            if (restarted || frame != 3) return;
            const int before = posts.load();
            owner.Post([&, before] {  // the click, queued behind this hand-over
                if (c.oldHandOverQueued) {
                    while (posts.load() == before) std::this_thread::yield();
                }
                restarted = true;
                runner->Start(Shared(planB));
                if (c.stopAfterRestart) runner->Stop();
            });
        };
        owner.Run([&] {
            runner = std::make_unique<ExportRunner>(host, post);
            runner->Start(Shared(planA));
        });
        ASSERT_TRUE(owner.RunUntil([&] { return restarted && !runner->running(); }));
        owner.Run([&] {
            EXPECT_EQ(FilesIn(outA), 3);
            EXPECT_TRUE(std::filesystem::exists(outA / "0003.jpg"));
            if (c.stopAfterRestart) {
                EXPECT_EQ(FilesIn(outB), 0);
                EXPECT_EQ(host.previewsShown, 3);
                ASSERT_EQ(host.outcomes.size(), 1u);  // the new one, stopped before it began
                EXPECT_EQ(host.outcomes[0].end, ExportOutcome::End::Stopped);
                EXPECT_EQ(host.outcomes[0].written, 0);
            } else {
                EXPECT_TRUE(oldFrameDoneAtNewStart);
                EXPECT_EQ(FilesIn(outB), 5);
                EXPECT_EQ(host.previewsShown, 3 + 5);  // no frame handed out twice or to the old worker
                ASSERT_EQ(host.outcomes.size(), 1u);   // the replaced export says nothing
                EXPECT_TRUE(host.outcomes[0].succeeded());
                EXPECT_EQ(runner->session()->ExportCounter(), 5);
            }
            runner.reset();
        });
    }
}

// The dialog going away mid-export (program exit): the worker finishes its frame, and nothing
// reaches the dialog afterwards.
TEST(ExportRun, EndingTheRunnerMidExportLeavesNoLateNotices) {
    const std::filesystem::path dir = FreshTempDir("src");
    const std::vector<std::string> sources = MakeSources(dir, 2);
    const std::filesystem::path out = FreshTempDir("out");
    OwnerThread owner;
    FakeObserver host;
    std::unique_ptr<ExportRunner> runner;
    host.onFrameHandedOut = [&](int frame) {
        if (frame == 2) owner.Post([&] { runner.reset(); });
    };
    owner.Run([&] {
        runner = std::make_unique<ExportRunner>(host, owner.poster());
        runner->Start(Shared(EvenPlan(sources, 50, out.string())));
    });
    ASSERT_TRUE(owner.RunUntil([&] { return runner == nullptr; }));
    std::size_t events = 0;
    owner.Run([&] { events = host.events.size(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    owner.Run([&] {
        EXPECT_EQ(host.events.size(), events);
        EXPECT_TRUE(std::filesystem::exists(out / "0002.png"));
        EXPECT_FALSE(std::filesystem::exists(out / "0003.png"));
        EXPECT_TRUE(host.outcomes.empty());
    });
}

}  // namespace
}  // namespace turnlet
